// The window as laid out: every control at its place, size, font, colour and
// tab order, the hidden ones present but never shown, and both timers.
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStyleOptionComboBox>
#include <QStyledItemDelegate>
#include <QTimer>
#include <algorithm>
#include <string_view>
#include <vector>

#include "frontend/main_window_layout.h"
#include "gui/main_window.h"

namespace comflash {
namespace {

// Sizes are character heights in pixels, as the layout gives them, so that
// every caption fits its fixed-size control whatever the screen's dpi.
QFont LayoutFont(int pixelSize, bool bold) {
    // Where the layout's font is missing, the sans serifs closest to it in
    // width stand in before fontconfig's general choice.
    static const bool substitutesRegistered = [] {
        QFont::insertSubstitutions(
            QString::fromLatin1(layout::kFontFamily),
            {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
             QStringLiteral("Arimo"), QStringLiteral("Arial"), QStringLiteral("Helvetica")});
        return true;
    }();
    (void)substitutesRegistered;

    QFont font(QString::fromLatin1(layout::kFontFamily));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void SetTextColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

class FixedHeightItems final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(layout::kPortItemHeight);
        return size;
    }
};

// The layout's sizes hold their captions in the layout's own font. A stand-in
// may be wider (DejaVu Sans Bold, the usual Linux sans, sets "COM32" about a
// fifth wider than the Arial family), so each control is measured in the font
// it actually got: the width its widest caption needs, as the style draws it.
QString ToQt(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

int WidestText(const QFont& font, const QStringList& texts) {
    const QFontMetrics metrics(font);
    int widest = 0;
    for (const QString& text : texts)
        widest = std::max(widest, metrics.horizontalAdvance(text));
    return widest;
}

int ButtonWidthFor(const QPushButton* button, const QStringList& captions) {
    const QStyle* style = button->style();
    const int margins = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
                        style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    return 2 * margins + WidestText(button->font(), captions);
}

// The frame and the arrow keep their width; the edit field must hold the
// longest port name plus the pixel the style keeps clear on either side.
int ComboWidthFor(const QComboBox* combo) {
    QStyleOptionComboBox option;
    option.initFrom(combo);
    const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                       QStyle::SC_ComboBoxEditField, combo);
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return combo->width() - field.width() + 2 + WidestText(combo->font(), items);
}

// Grows `control` to `width` where it is narrower, never shrinks or moves it;
// returns the right edge the window needs to show the caption whole.
int GrowTo(QWidget* control, int width) {
    if (control->width() < width)
        control->resize(width, control->height());
    return control->x() + width;
}

// Places `control` as the table lays it out: position and size, first
// caption, font, text colour, and whether it is ever shown.
template <typename Widget>
Widget* Laid(Widget* control, std::string_view name) {
    const layout::Control& laid = layout::ControlNamed(name);
    control->setObjectName(ToQt(name));
    control->setGeometry(laid.left, laid.top, laid.width, laid.height);
    if (laid.fontPixels != 0)
        control->setFont(LayoutFont(laid.fontPixels, laid.bold));
    if (laid.colour != layout::kNoColour) {
        const QColor colour(QRgb(laid.colour));
        SetTextColour(control, QPalette::ButtonText, colour);
        SetTextColour(control, QPalette::WindowText, colour);
        SetTextColour(control, QPalette::Text, colour);
    }
    if (!laid.visible)
        control->hide();
    return control;
}

QPushButton* Button(std::string_view name, QWidget* parent) {
    return Laid(new QPushButton(ToQt(layout::ControlNamed(name).caption), parent), name);
}

QCheckBox* CheckBox(std::string_view name, QWidget* parent) {
    auto* box = Laid(new QCheckBox(ToQt(layout::ControlNamed(name).caption), parent), name);
    box->setChecked(layout::ControlNamed(name).checked);
    return box;
}

QLabel* Label(std::string_view name, QWidget* parent) {
    auto* label = Laid(new QLabel(ToQt(layout::ControlNamed(name).caption), parent), name);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QLineEdit* Edit(std::string_view name, QWidget* parent) {
    auto* edit = Laid(new QLineEdit(ToQt(layout::ControlNamed(name).caption), parent), name);
    // Edit1 shows the next number (a write takes the store's, never the
    // field's); Edit2 the read-back.
    edit->setReadOnly(true);
    return edit;
}

}  // namespace

void TForm1::CreateControls() {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(layout::kClientWidth, layout::kClientHeight);
    setFont(LayoutFont(layout::kWindowFontPixels, false));

    Memo1 = Laid(new QPlainTextEdit(this), "Memo1");
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setTabChangesFocus(true);

    ComboBox1 = Laid(new QComboBox(this), "ComboBox1");
    ComboBox1->setItemDelegate(new FixedHeightItems(ComboBox1));
    for (int port = 1; port <= layout::kPortCount; ++port)
        ComboBox1->addItem(QStringLiteral("COM%1").arg(port));
    ComboBox1->setCurrentIndex(0);
    ComboBox1->installEventFilter(this);

    Button1 = Button("Button1", this);
    Timer1 = new QTimer(this);
    Timer1->setInterval(static_cast<int>(kTimer1Period.count()));
    Button2 = Button("Button2", this);
    CheckBox1 = CheckBox("CheckBox1", this);

    TrackBar1 = Laid(new QSlider(Qt::Horizontal, this), "TrackBar1");
    TrackBar1->setRange(0, 100);
    TrackBar1->setSingleStep(2);
    TrackBar1->setPageStep(2);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setTickInterval(10);

    BitBtn2 = Button("BitBtn2", this);
    BitBtn2->setEnabled(false);
    BitBtn3 = Button("BitBtn3", this);
    BitBtn3->setEnabled(false);
    Edit1 = Edit("Edit1", this);
    Edit2 = Edit("Edit2", this);
    SelAuto = CheckBox("SelAuto", this);
    Label1 = Label("Label1", this);
    Label2 = Label("Label2", this);
    Timer2 = new QTimer(this);
    Timer2->setInterval(static_cast<int>(kTimer2Period.count()));
    Timer2->setTimerType(Qt::PreciseTimer);
    CheckBox3 = CheckBox("CheckBox3", this);

    // The tab order of the table; the first control holds the focus.
    std::vector<const layout::Control*> tabbed;
    for (const layout::Control& control : layout::Controls()) {
        if (control.tabOrder >= 0)
            tabbed.push_back(&control);
    }
    std::sort(tabbed.begin(), tabbed.end(),
              [](const auto* a, const auto* b) { return a->tabOrder < b->tabOrder; });
    const auto widget = [this](const layout::Control* control) {
        return findChild<QWidget*>(ToQt(control->name), Qt::FindDirectChildrenOnly);
    };
    for (std::size_t i = 1; i < tabbed.size(); ++i)
        setTabOrder(widget(tabbed[i - 1]), widget(tabbed[i]));
    widget(tabbed.front())->setFocus();

    FitCaptionsToFonts();
    Timer1->start();
    Timer2->start();
}

void TForm1::FitCaptionsToFonts() {
    // The controls that grow are in the right-hand column, one above the
    // other: growing to the right they meet nothing but the window's edge,
    // which moves out with them, and the track bar still spans the window.
    const int right =
        std::max({width(),
                  GrowTo(Button1, ButtonWidthFor(Button1, {ToQt(layout::kOpenCaptions[0]),
                                                           ToQt(layout::kOpenCaptions[1])})),
                  GrowTo(ComboBox1, ComboWidthFor(ComboBox1)),
                  GrowTo(Button2, ButtonWidthFor(Button2, {"Clear"})),
                  GrowTo(SelAuto, SelAuto->sizeHint().width()),
                  GrowTo(Label1, WidestText(Label1->font(), {ToQt(layout::kWidestOk)})),
                  GrowTo(Label2, WidestText(Label2->font(), {ToQt(layout::kWidestError)}))});
    if (right > width()) {
        TrackBar1->resize(TrackBar1->width() + right - width(), TrackBar1->height());
        setFixedSize(right, height());
    }
}

void TForm1::CentreOnScreen() {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

}  // namespace comflash

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

#include "gui/main_window.h"

namespace comflash {
namespace {

constexpr int kClientWidth = 376;
constexpr int kClientHeight = 287;
constexpr int kPortCount = 32;
constexpr int kPortItemHeight = 16;

const QColor kBlue(0x00, 0x00, 0xFF);
const QColor kRed(0xFF, 0x00, 0x00);
const QColor kGreen(0x00, 0x80, 0x00);

// Sizes are character heights in pixels, as the layout gives them, so that
// every caption fits its fixed-size control whatever the screen's dpi.
QFont LayoutFont(int pixelSize, bool bold) {
    // Where the layout's font is missing, the sans serifs closest to it in
    // width stand in before fontconfig's general choice.
    static const bool substitutesRegistered = [] {
        QFont::insertSubstitutions(
            QStringLiteral("MS Sans Serif"),
            {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
             QStringLiteral("Arimo"), QStringLiteral("Arial"), QStringLiteral("Helvetica")});
        return true;
    }();
    (void)substitutesRegistered;

    QFont font(QStringLiteral("MS Sans Serif"));
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
        size.setHeight(kPortItemHeight);
        return size;
    }
};

// The widest texts the counters show: five-digit counts, a long day's batch.
constexpr char kWidestOk[] = "Ok:99999";
constexpr char kWidestError[] = "Err:99999";

// The layout's sizes hold their captions in the layout's own font. A stand-in
// may be wider (DejaVu Sans Bold, the usual Linux sans, sets "COM32" about a
// fifth wider than the Arial family), so each control is measured in the font
// it actually got: the width its widest caption needs, as the style draws it.
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

template <typename Control>
Control* Place(Control* control, int left, int top, int width, int height) {
    control->setGeometry(left, top, width, height);
    return control;
}

QPushButton* BoldButton(const char* caption, QWidget* parent) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setFont(LayoutFont(13, true));
    return button;
}

QLabel* CounterLabel(const char* text, const QColor& colour, QWidget* parent) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setFont(LayoutFont(13, true));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    SetTextColour(label, QPalette::WindowText, colour);
    return label;
}

QLineEdit* SerialNumberEdit(const QColor& colour, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setFont(LayoutFont(16, true));
    SetTextColour(edit, QPalette::Text, colour);
    return edit;
}

}  // namespace

void TForm1::CreateControls() {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kClientWidth, kClientHeight);
    setFont(LayoutFont(11, false));

    Memo1 = Place(new QPlainTextEdit(this), 0, 0, 289, 249);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setTabChangesFocus(true);

    ComboBox1 = Place(new QComboBox(this), 296, 56, 73, 24);
    ComboBox1->setFont(LayoutFont(13, true));
    ComboBox1->setItemDelegate(new FixedHeightItems(ComboBox1));
    for (int port = 1; port <= kPortCount; ++port)
        ComboBox1->addItem(QStringLiteral("COM%1").arg(port));
    ComboBox1->setCurrentIndex(0);
    ComboBox1->installEventFilter(this);

    Button1 = Place(BoldButton("Open", this), 296, 16, 75, 25);
    SetTextColour(Button1, QPalette::ButtonText, kBlue);

    Timer1 = new QTimer(this);
    Timer1->setInterval(static_cast<int>(kTimer1Period.count()));

    Button2 = Place(BoldButton("Clear", this), 296, 96, 73, 25);

    CheckBox1 = Place(new QCheckBox(QStringLiteral("Fast"), this), 312, 128, 97, 17);
    CheckBox1->setChecked(true);
    CheckBox1->hide();

    TrackBar1 = Place(new QSlider(Qt::Horizontal, this), 0, 256, 377, 33);
    TrackBar1->setRange(0, 100);
    TrackBar1->setSingleStep(2);
    TrackBar1->setPageStep(2);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setTickInterval(10);

    BitBtn2 = Place(new QPushButton(QStringLiteral("Read SN"), this), 290, 299, 78, 28);
    SetTextColour(BitBtn2, QPalette::ButtonText, kBlue);
    BitBtn2->setEnabled(false);
    BitBtn2->hide();
    BitBtn3 = Place(new QPushButton(QStringLiteral("Write SN"), this), 290, 336, 78, 28);
    SetTextColour(BitBtn3, QPalette::ButtonText, kGreen);
    BitBtn3->setEnabled(false);
    BitBtn3->hide();

    Edit1 = Place(SerialNumberEdit(kRed, this), 16, 336, 249, 28);
    Edit1->setText(QStringLiteral("3037810629"));
    // It shows the next number; a write takes the store's, never the field's.
    Edit1->setReadOnly(true);
    Edit1->hide();
    Edit2 = Place(SerialNumberEdit(kBlue, this), 16, 299, 249, 28);
    Edit2->setReadOnly(true);
    Edit2->hide();

    SelAuto = Place(new QCheckBox(QStringLiteral("Auto"), this), 312, 152, 97, 17);
    SelAuto->setChecked(true);

    Label1 = Place(CounterLabel("OK", kBlue, this), 296, 192, 81, 21);
    Label2 = Place(CounterLabel("Error", kRed, this), 296, 232, 81, 21);

    Timer2 = new QTimer(this);
    Timer2->setInterval(static_cast<int>(kTimer2Period.count()));
    Timer2->setTimerType(Qt::PreciseTimer);

    CheckBox3 = Place(new QCheckBox(QStringLiteral("L3"), this), 16, 176, 97, 17);
    CheckBox3->hide();

    setTabOrder(Button1, Memo1);
    setTabOrder(Memo1, ComboBox1);
    setTabOrder(ComboBox1, Button2);
    setTabOrder(Button2, TrackBar1);
    setTabOrder(TrackBar1, SelAuto);
    Button1->setFocus();

    FitCaptionsToFonts();
    Timer1->start();
    Timer2->start();
}

void TForm1::FitCaptionsToFonts() {
    // The controls that grow are in the right-hand column, one above the
    // other: growing to the right they meet nothing but the window's edge,
    // which moves out with them, and the track bar still spans the window.
    const int right =
        std::max({width(), GrowTo(Button1, ButtonWidthFor(Button1, {"Open", "Close"})),
                  GrowTo(ComboBox1, ComboWidthFor(ComboBox1)),
                  GrowTo(Button2, ButtonWidthFor(Button2, {"Clear"})),
                  GrowTo(SelAuto, SelAuto->sizeHint().width()),
                  GrowTo(Label1, WidestText(Label1->font(), {kWidestOk})),
                  GrowTo(Label2, WidestText(Label2->font(), {kWidestError}))});
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

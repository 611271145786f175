// The window as laid out: fixed client size, every visible control at its
// place and size, hidden controls never shown, fonts, colours, tab order,
// and captions that fit their controls.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>
#include <functional>

#include "tests/gui/window_fixture.h"

namespace comflash::guitest {
namespace {

using Control = std::function<QWidget*(TForm1&)>;

struct PlaceCase {
    const char* name;
    Control control;
    QRect geometry;
};

class ControlPlace : public WindowTest, public ::testing::WithParamInterface<PlaceCase> {};

TEST_P(ControlPlace, IsVisibleAtItsPositionAndSize) {
    TForm1& window = Start();
    window.show();
    QWidget* control = GetParam().control(window);
    EXPECT_EQ(control->geometry(), GetParam().geometry);
    EXPECT_TRUE(control->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Window, ControlPlace,
    ::testing::Values(
        PlaceCase{"Button1", [](TForm1& w) { return w.Button1; }, QRect(296, 16, 75, 25)},
        PlaceCase{"Memo1", [](TForm1& w) { return w.Memo1; }, QRect(0, 0, 289, 249)},
        PlaceCase{"ComboBox1", [](TForm1& w) { return w.ComboBox1; }, QRect(296, 56, 73, 24)},
        PlaceCase{"Button2", [](TForm1& w) { return w.Button2; }, QRect(296, 96, 73, 25)},
        PlaceCase{"TrackBar1", [](TForm1& w) { return w.TrackBar1; }, QRect(0, 256, 377, 33)},
        PlaceCase{"SelAuto", [](TForm1& w) { return w.SelAuto; }, QRect(312, 152, 97, 17)},
        PlaceCase{"Label1", [](TForm1& w) { return w.Label1; }, QRect(296, 192, 81, 21)},
        PlaceCase{"Label2", [](TForm1& w) { return w.Label2; }, QRect(296, 232, 81, 21)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, ClientAreaIsFixedWithoutMaximiseAndCentred) {
    TForm1& window = Start();
    window.show();
    EXPECT_EQ(window.size(), QSize(376, 287));
    EXPECT_EQ(window.minimumSize(), QSize(376, 287));
    EXPECT_EQ(window.maximumSize(), QSize(376, 287));
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowSystemMenuHint));

    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    const QPoint offset = window.geometry().center() - screenCentre;
    EXPECT_LE(offset.manhattanLength(), 40) << "centre off by " << offset.x() << "," << offset.y();
}

TEST_F(WindowTest, HiddenControlsArePresentButNeverShown) {
    TForm1& window = Start();
    window.show();
    PseudoTerminal device;
    MapPort("COM1", device.PortPath());
    window.Button1->click();  // enables the serial-number buttons
    ASSERT_TRUE(window.PortOpen());

    for (QWidget* hidden :
         {static_cast<QWidget*>(window.CheckBox1), static_cast<QWidget*>(window.CheckBox3),
          static_cast<QWidget*>(window.BitBtn2), static_cast<QWidget*>(window.BitBtn3),
          static_cast<QWidget*>(window.Edit1), static_cast<QWidget*>(window.Edit2)}) {
        EXPECT_FALSE(hidden->isVisible()) << hidden->metaObject()->className();
    }
    EXPECT_EQ(window.CheckBox1->text(), "Fast");
    EXPECT_EQ(window.CheckBox3->text(), "L3");
    EXPECT_EQ(window.BitBtn2->text(), "Read SN");
    EXPECT_EQ(window.BitBtn3->text(), "Write SN");
    EXPECT_EQ(window.BitBtn2->geometry(), QRect(290, 299, 78, 28));
    EXPECT_EQ(window.BitBtn3->geometry(), QRect(290, 336, 78, 28));
    EXPECT_EQ(window.Edit1->geometry(), QRect(16, 336, 249, 28));
    EXPECT_EQ(window.Edit2->geometry(), QRect(16, 299, 249, 28));
    EXPECT_TRUE(window.Edit2->isReadOnly());
}

TEST_F(WindowTest, FontsAndColoursAreAsLaidOut) {
    TForm1& window = Start();
    const QColor blue(0, 0, 255);
    const QColor red(255, 0, 0);

    EXPECT_EQ(window.font().pixelSize(), 11);
    EXPECT_FALSE(window.font().bold());
    EXPECT_EQ(window.Memo1->font().pixelSize(), 11);
    EXPECT_EQ(window.SelAuto->font().pixelSize(), 11);
    for (QWidget* bold :
         {static_cast<QWidget*>(window.Button1), static_cast<QWidget*>(window.Button2),
          static_cast<QWidget*>(window.ComboBox1), static_cast<QWidget*>(window.Label1),
          static_cast<QWidget*>(window.Label2)}) {
        EXPECT_EQ(bold->font().pixelSize(), 13) << bold->metaObject()->className();
        EXPECT_TRUE(bold->font().bold()) << bold->metaObject()->className();
    }
    EXPECT_EQ(window.Edit1->font().pixelSize(), 16);
    EXPECT_TRUE(window.Edit1->font().bold());

    EXPECT_EQ(window.Button1->palette().color(QPalette::ButtonText), blue);
    EXPECT_EQ(window.Label1->palette().color(QPalette::WindowText), blue);
    EXPECT_EQ(window.Label2->palette().color(QPalette::WindowText), red);
    EXPECT_EQ(window.BitBtn2->palette().color(QPalette::ButtonText), blue);
    EXPECT_EQ(window.BitBtn3->palette().color(QPalette::ButtonText), QColor(0, 128, 0));
    EXPECT_EQ(window.Edit1->palette().color(QPalette::Text), red);
    EXPECT_EQ(window.Edit2->palette().color(QPalette::Text), blue);
    EXPECT_TRUE(window.Label1->alignment().testFlag(Qt::AlignVCenter));
}

TEST_F(WindowTest, CaptionsFitTheirControls) {
    TForm1& window = Start();
    window.show();
    const auto fits = [](QWidget* control, const QString& text, int room) {
        const QFontMetrics metrics(control->font());
        return metrics.horizontalAdvance(text) <= room && metrics.height() <= control->height();
    };
    const auto buttonRoom = [](QPushButton* button) {
        const QStyle* style = button->style();
        return button->width() - 2 * style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) -
               2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    };
    EXPECT_TRUE(fits(window.Button1, "Close", buttonRoom(window.Button1)));
    EXPECT_TRUE(fits(window.Button1, "Open", buttonRoom(window.Button1)));
    EXPECT_TRUE(fits(window.Button2, "Clear", buttonRoom(window.Button2)));
    EXPECT_TRUE(fits(window.Label1, "Ok:9999", window.Label1->width()));
    EXPECT_TRUE(fits(window.Label2, "Err:9999", window.Label2->width()));

    // The combo box needs room for its arrow; the check box for its square
    // inside the part of it that lies within the window.
    window.ComboBox1->setCurrentIndex(31);
    QStyleOptionComboBox option;
    option.initFrom(window.ComboBox1);
    const QRect field = window.ComboBox1->style()->subControlRect(
        QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, window.ComboBox1);
    EXPECT_TRUE(fits(window.ComboBox1, "COM32", field.width()))
        << "edit field " << field.width() << " px";
    EXPECT_LE(window.SelAuto->sizeHint().width(), window.width() - window.SelAuto->x());
    EXPECT_LE(window.SelAuto->sizeHint().height(), window.SelAuto->height() + 2);
}

TEST_F(WindowTest, PortListTrackBarAndLogAreSetUpAsLaidOut) {
    TForm1& window = Start();
    ASSERT_EQ(window.ComboBox1->count(), 32);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(window.ComboBox1->itemText(i), QStringLiteral("COM%1").arg(i + 1));
    EXPECT_FALSE(window.ComboBox1->isEditable());
    const QModelIndex first = window.ComboBox1->model()->index(0, 0);
    EXPECT_EQ(window.ComboBox1->view()->sizeHintForIndex(first).height(), 16);

    EXPECT_EQ(window.TrackBar1->minimum(), 0);
    EXPECT_EQ(window.TrackBar1->maximum(), 100);
    EXPECT_EQ(window.TrackBar1->singleStep(), 2);
    EXPECT_EQ(window.TrackBar1->value(), 0);
    window.TrackBar1->setValue(250);
    EXPECT_EQ(window.TrackBar1->value(), 100);

    EXPECT_TRUE(window.Memo1->isReadOnly());
    EXPECT_EQ(window.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    window.AppendLog("one\r\ntwo");
    EXPECT_EQ(LogLines(), (QStringList{"Firmware Update Tools", "one", "two"}));
}

TEST_F(WindowTest, TabOrderRunsFromOpenAndOpenHoldsTheFocus) {
    TForm1& window = Start();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_EQ(QApplication::focusWidget(), window.Button1);

    const QList<QWidget*> laidOut = {window.Button1, window.Memo1,     window.ComboBox1,
                                     window.Button2, window.TrackBar1, window.SelAuto};
    QList<QWidget*> chain;
    QWidget* next = window.Button1;
    do {
        if (laidOut.contains(next) && !chain.contains(next))
            chain << next;
        next = next->nextInFocusChain();
    } while (next != window.Button1);
    EXPECT_EQ(chain, laidOut);
}

}  // namespace
}  // namespace comflash::guitest

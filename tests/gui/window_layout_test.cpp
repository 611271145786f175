// The window as laid out: fixed client size, every visible control at its
// place and size, hidden controls never shown, fonts, colours, tab order,
// and captions that fit their controls in whatever font the machine has.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "tests/gui/window_fixture.h"

namespace comflash::guitest {
namespace {

using Control = std::function<QWidget*(TForm1&)>;
// Whether the control, `width` pixels of it inside the window, holds its
// widest caption in the font it got; empty for controls without one.
using HoldsCaptions = std::function<bool(QWidget*, int width)>;

// The window's laid-out client width; the layout fonts fit it.
constexpr int kLaidOutWidth = 376;

bool TextFits(QWidget* control, const QStringList& texts, int room) {
    const QFontMetrics metrics(control->font());
    for (const QString& text : texts) {
        if (metrics.horizontalAdvance(text) > room)
            return false;
    }
    return metrics.height() <= control->height();
}

// The style draws a button's caption inside its frame and margins.
HoldsCaptions ButtonCaptions(QStringList captions) {
    return [captions](QWidget* control, int width) {
        const QStyle* style = control->style();
        const int margins = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, control) +
                            style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, control);
        return TextFits(control, captions, width - 2 * margins);
    };
}

// The port list draws the chosen name in its edit field, one pixel in from
// either side, beside the arrow; every name must fit there.
bool PortNamesFit(QWidget* control, int width) {
    auto* combo = qobject_cast<QComboBox*>(control);
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.rect.setWidth(width);
    const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                       QStyle::SC_ComboBoxEditField, combo);
    QStringList names;
    for (int i = 0; i < combo->count(); ++i)
        names << combo->itemText(i);
    return names.contains("COM32") && TextFits(combo, names, field.width() - 2);
}

// The counters show five-digit counts whole.
HoldsCaptions CounterText(QString widest) {
    return [widest](QWidget* control, int width) { return TextFits(control, {widest}, width); };
}

bool CheckBoxFits(QWidget* control, int width) {
    const QSize needed = control->sizeHint();
    return needed.width() <= width && needed.height() <= control->height() + 2;
}

struct PlaceCase {
    const char* name;
    Control control;
    QRect laidOut;
    HoldsCaptions holdsCaptions;
    bool spansWindow = false;
};

void PrintTo(const PlaceCase& place, std::ostream* out) {
    *out << place.name;
}

const std::vector<PlaceCase> kVisibleControls = {
    {"Button1", [](TForm1& w) { return w.Button1; }, QRect(296, 16, 75, 25),
     ButtonCaptions({"Open", "Close"})},
    {"Memo1", [](TForm1& w) { return w.Memo1; }, QRect(0, 0, 289, 249), nullptr},
    {"ComboBox1", [](TForm1& w) { return w.ComboBox1; }, QRect(296, 56, 73, 24), PortNamesFit},
    {"Button2", [](TForm1& w) { return w.Button2; }, QRect(296, 96, 73, 25),
     ButtonCaptions({"Clear"})},
    {"TrackBar1", [](TForm1& w) { return w.TrackBar1; }, QRect(0, 256, 377, 33), nullptr, true},
    {"SelAuto", [](TForm1& w) { return w.SelAuto; }, QRect(312, 152, 97, 17), CheckBoxFits},
    {"Label1", [](TForm1& w) { return w.Label1; }, QRect(296, 192, 81, 21),
     CounterText("Ok:99999")},
    {"Label2", [](TForm1& w) { return w.Label2; }, QRect(296, 232, 81, 21),
     CounterText("Err:99999")},
};

// The part of `geometry` that lies within a window `windowWidth` wide.
int VisibleWidth(const QRect& geometry, int windowWidth) {
    return std::min(geometry.right() + 1, windowWidth) - geometry.left();
}

bool HoldsCaptionsAt(const PlaceCase& place, QWidget* control, const QRect& geometry,
                     int windowWidth) {
    return !place.holdsCaptions ||
           place.holdsCaptions(control, VisibleWidth(geometry, windowWidth));
}

// Whether the captions of every control fit their laid-out sizes, as with
// the fonts the layout was drawn with.
bool LaidOutSizesHoldCaptions(TForm1& window) {
    return std::all_of(kVisibleControls.begin(), kVisibleControls.end(), [&](const auto& place) {
        return HoldsCaptionsAt(place, place.control(window), place.laidOut, kLaidOutWidth);
    });
}

std::string FontOf(const QWidget* control) {
    const QFontInfo font(control->font());
    return font.family().toStdString() + " " + std::to_string(font.pixelSize()) + " px" +
           (font.bold() ? " bold" : "");
}

class ControlPlace : public WindowTest, public ::testing::WithParamInterface<PlaceCase> {};

// Where the captions fit, exactly as laid out; where the font is wider, the
// control keeps its place and height and grows no wider than its caption
// needs, and the window shows it whole.
TEST_P(ControlPlace, IsVisibleAtItsPositionAndSize) {
    TForm1& window = Start();
    window.show();
    const PlaceCase& place = GetParam();
    QWidget* control = place.control(window);
    EXPECT_TRUE(control->isVisible());
    const int windowGrowth = window.width() - kLaidOutWidth;
    if (place.spansWindow) {
        EXPECT_EQ(control->geometry(), place.laidOut.adjusted(0, 0, windowGrowth, 0));
    } else if (HoldsCaptionsAt(place, control, place.laidOut, kLaidOutWidth)) {
        EXPECT_EQ(control->geometry(), place.laidOut) << FontOf(control);
    } else {
        const QRect grown = control->geometry();
        EXPECT_EQ(grown.topLeft(), place.laidOut.topLeft()) << FontOf(control);
        EXPECT_EQ(grown.height(), place.laidOut.height());
        EXPECT_GT(grown.width(), place.laidOut.width());
        EXPECT_LE(grown.right() + 1, window.width());
        EXPECT_FALSE(HoldsCaptionsAt(place, control, grown.adjusted(0, 0, -1, 0), window.width()))
            << "grew wider than " << FontOf(control) << " needs: " << grown.width() << " px";
    }
}

INSTANTIATE_TEST_SUITE_P(Window, ControlPlace, ::testing::ValuesIn(kVisibleControls),
                         [](const auto& info) { return std::string(info.param.name); });

// Every visible control holds its captions in the part of it inside the
// window, and no two visible controls overlap.
void ExpectCaptionsFitWithoutOverlap(TForm1& window) {
    for (const PlaceCase& place : kVisibleControls) {
        QWidget* control = place.control(window);
        EXPECT_TRUE(HoldsCaptionsAt(place, control, control->geometry(), window.width()))
            << place.name << " in " << FontOf(control) << ": " << control->width() << " px, "
            << VisibleWidth(control->geometry(), window.width()) << " inside the window";
        for (const PlaceCase& other : kVisibleControls) {
            if (&other < &place) {
                EXPECT_FALSE(control->geometry().intersects(other.control(window)->geometry()))
                    << place.name << " overlaps " << other.name;
            }
        }
    }
}

TEST_F(WindowTest, ClientAreaIsFixedWithoutMaximiseAndCentred) {
    TForm1& window = Start();
    window.show();
    EXPECT_EQ(window.height(), 287);
    if (LaidOutSizesHoldCaptions(window)) {
        EXPECT_EQ(window.width(), kLaidOutWidth);
    } else {
        // Wider only as far as a grown control needs.
        EXPECT_GE(window.width(), kLaidOutWidth);
        const bool needsEveryPixel = std::any_of(
            kVisibleControls.begin(), kVisibleControls.end(), [&](const PlaceCase& place) {
                QWidget* control = place.control(window);
                return !HoldsCaptionsAt(place, control, control->geometry(), window.width() - 1);
            });
        EXPECT_TRUE(window.width() == kLaidOutWidth || needsEveryPixel) << window.width();
    }
    EXPECT_EQ(window.minimumSize(), window.size());
    EXPECT_EQ(window.maximumSize(), window.size());
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
    ExpectCaptionsFitWithoutOverlap(window);

    // The log wraps its lines, a long unbroken one included, so nothing of
    // them runs out of sight.
    EXPECT_EQ(window.Memo1->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    window.AppendLog("Open " + std::string(120, '7') + " failed: the device is gone");
    QCoreApplication::processEvents();
    EXPECT_EQ(window.Memo1->horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(window.Memo1->document()->lastBlock().layout()->lineCount(), 2);
}

// Whatever the machine's fonts: made wider still than any stand-in (wider
// letter spacing, same height), the captions grow their controls and the
// window, and nothing overlaps.
TEST_F(WindowTest, WiderCaptionsGrowTheirControlsAndTheWindow) {
    TForm1& window = Start();
    window.show();
    for (QWidget* control :
         {static_cast<QWidget*>(window.Button1), static_cast<QWidget*>(window.ComboBox1),
          static_cast<QWidget*>(window.Label1), static_cast<QWidget*>(window.Label2)}) {
        QFont wider = control->font();
        wider.setLetterSpacing(QFont::AbsoluteSpacing, 8);
        control->setFont(wider);
    }
    window.FitCaptionsToFonts();
    const QSize grown = window.size();
    window.FitCaptionsToFonts();  // fitted once is fitted
    EXPECT_EQ(window.size(), grown);

    EXPECT_GT(window.width(), kLaidOutWidth);
    EXPECT_EQ(window.height(), 287);
    EXPECT_EQ(window.maximumSize(), window.size());
    ExpectCaptionsFitWithoutOverlap(window);
    for (const PlaceCase& place : kVisibleControls) {
        const QRect now = place.control(window)->geometry();
        EXPECT_EQ(now.topLeft(), place.laidOut.topLeft()) << place.name;
        EXPECT_EQ(now.height(), place.laidOut.height()) << place.name;
        EXPECT_GE(now.width(), place.laidOut.width()) << place.name;
    }
    EXPECT_EQ(window.TrackBar1->width(), window.width() + 1) << "the track bar spans the window";
}

// The fonts the window resolved to, in the test's output; a run made with a
// chosen set of fonts names the family it must resolve to, so that it cannot
// pass on some other font.
TEST_F(WindowTest, LayoutFontsResolveToTheFamilyOfThisRun) {
    TForm1& window = Start();
    const std::vector<QWidget*> fonts = {&window, window.ComboBox1, window.Edit1};
    for (const QWidget* control : fonts)
        std::cout << "layout font: " << FontOf(control) << "\n";
    const char* expected = std::getenv("COMFLASH_TEST_FONT_FAMILY");
    if (expected == nullptr)
        GTEST_SKIP() << "no font family named for this run; resolved to " << FontOf(&window);
    for (const QWidget* control : fonts) {
        EXPECT_EQ(QFontInfo(control->font()).family().toStdString(), expected)
            << "this run's fonts.conf lists a folder without " << expected
            << " (scripts/install-deps installs the fonts the tests use)";
    }
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

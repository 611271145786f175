// Line settings reach the port when opened and at once on a change while open;
// a setter given the value it already has touches nothing.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "serial/posix/line_settings_posix.h"
#include "tests/serial/comm_fixture.h"
#include "tests/serial/line_speed.h"

namespace comflash::test {
namespace {

class BaudRateTest : public CommTest, public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(BaudRateTest, ReachesTheLineAtOpenAndAtOnceWhileOpen) {
    comm.SetBaudRate(GetParam());
    comm.OpenPort();
    EXPECT_EQ(LineBaudRate(pty.Master()), GetParam());
    comm.SetBaudRate(9600);
    EXPECT_EQ(LineBaudRate(pty.Master()), 9600u);
    comm.SetBaudRate(GetParam());
    EXPECT_EQ(LineBaudRate(pty.Master()), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Rates, BaudRateTest,
                         ::testing::Values(38400u, 115200u, 921600u, 250000u, 31250u),
                         [](const auto& info) { return std::to_string(info.param); });

// The device end changes the speed behind the component's back; a setter
// that re-applies the line settings puts the component's speed back, one
// that must not leaves it.
struct SetterCase {
    const char* name;
    std::function<void(TComm&)> set;
    bool reapplies_line_settings;
};

class SetterTest : public CommTest, public ::testing::WithParamInterface<SetterCase> {};

TEST_P(SetterTest, ReappliesOnlyOnAChangeOfALineSetting) {
    comm.OpenPort();
    termios changed = pty.LineAttributes();
    cfsetospeed(&changed, B4800);
    cfsetispeed(&changed, B4800);
    pty.SetLineAttributes(changed);
    ASSERT_EQ(LineBaudRate(pty.Master()), 4800u);

    GetParam().set(comm);
    EXPECT_EQ(LineBaudRate(pty.Master()),
              GetParam().reapplies_line_settings ? comm.BaudRate() : 4800u);
}

INSTANTIATE_TEST_SUITE_P(
    Setters, SetterTest,
    ::testing::Values(
        SetterCase{"SameBaudRate", [](TComm& c) { c.SetBaudRate(9600); }, false},
        SetterCase{"OtherBaudRate", [](TComm& c) { c.SetBaudRate(19200); }, true},
        SetterCase{"SameDtrControl", [](TComm& c) { c.SetDtrControl(TDtrControl::DtrDisable); },
                   false},
        SetterCase{"OtherDtrControl", [](TComm& c) { c.SetDtrControl(TDtrControl::DtrEnable); },
                   true},
        SetterCase{"OtherStopBits", [](TComm& c) { c.SetStopBits(TStopBits::_2); }, true},
        SetterCase{"OtherXonLimit", [](TComm& c) { c.SetXonLimit(100); }, true},
        SetterCase{"OtherReplacedChar", [](TComm& c) { c.SetReplacedChar('?'); }, true},
        SetterCase{"ParityIsOnlyStored", [](TComm& c) { c.SetParity(TParity::Even); }, false},
        SetterCase{"CommNameIsOnlyStored", [](TComm& c) { c.SetCommName("COM9"); }, false},
        SetterCase{"TimeoutsLeaveTheLineAlone", [](TComm& c) { c.SetReadIntervalTimeout(5); },
                   false}),
    [](const auto& info) { return std::string(info.param.name); });

// What a terminal keeps of each setting, seen from the device end.
struct LineFlagCase {
    const char* name;
    std::function<void(TComm&)> set;
    std::function<bool(const termios&)> holds;
};

class LineFlagTest : public CommTest, public ::testing::WithParamInterface<LineFlagCase> {};

TEST_P(LineFlagTest, ReachesTheTerminal) {
    comm.OpenPort();
    EXPECT_FALSE(GetParam().holds(pty.LineAttributes()));
    GetParam().set(comm);
    EXPECT_TRUE(GetParam().holds(pty.LineAttributes()));
}

INSTANTIATE_TEST_SUITE_P(
    Flags, LineFlagTest,
    ::testing::Values(LineFlagCase{"TwoStopBits", [](TComm& c) { c.SetStopBits(TStopBits::_2); },
                                   [](const termios& t) { return (t.c_cflag & CSTOPB) != 0; }},
                      LineFlagCase{"CtsFlow", [](TComm& c) { c.SetOutx_CtsFlow(true); },
                                   [](const termios& t) { return (t.c_cflag & CRTSCTS) != 0; }},
                      LineFlagCase{"RtsHandshake",
                                   [](TComm& c) { c.SetRtsControl(TRtsControl::RtsHandshake); },
                                   [](const termios& t) { return (t.c_cflag & CRTSCTS) != 0; }},
                      LineFlagCase{"XonXoffOnOutput", [](TComm& c) { c.SetOutx_XonXoffFlow(true); },
                                   [](const termios& t) { return (t.c_iflag & IXON) != 0; }},
                      LineFlagCase{"XonXoffOnInput", [](TComm& c) { c.SetInx_XonXoffFlow(true); },
                                   [](const termios& t) { return (t.c_iflag & IXOFF) != 0; }},
                      LineFlagCase{"XonChar", [](TComm& c) { c.SetXonChar(0x21); },
                                   [](const termios& t) { return t.c_cc[VSTART] == 0x21; }},
                      LineFlagCase{"XoffChar", [](TComm& c) { c.SetXoffChar(0x23); },
                                   [](const termios& t) { return t.c_cc[VSTOP] == 0x23; }},
                      LineFlagCase{"ParityCheck", [](TComm& c) { c.SetParityCheck(true); },
                                   [](const termios& t) { return (t.c_iflag & INPCK) != 0; }}),
    [](const auto& info) { return std::string(info.param.name); });

// A terminal forces 8N1 back, so framing is checked on the termios the
// component builds.
struct FramingCase {
    const char* name;
    TByteSize byte_size;
    TParity parity;
    tcflag_t expected;
};

class FramingTest : public ::testing::TestWithParam<FramingCase> {};

TEST_P(FramingTest, MapsDataBitsAndParity) {
    LineSettings settings;
    settings.ByteSize = GetParam().byte_size;
    settings.Parity = GetParam().parity;
    termios attributes{};
    attributes.c_cflag = CSIZE | PARENB | PARODD | CMSPAR;  // stale bits must go
    FillTermios(attributes, settings);
    EXPECT_EQ(attributes.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Framing, FramingTest,
    ::testing::Values(
        FramingCase{"EightNone", TByteSize::_8, TParity::None, CS8},
        FramingCase{"SevenEven", TByteSize::_7, TParity::Even, CS7 | PARENB},
        FramingCase{"SevenOdd", TByteSize::_7, TParity::Odd, CS7 | PARENB | PARODD},
        FramingCase{"SixMark", TByteSize::_6, TParity::Mark, CS6 | PARENB | CMSPAR | PARODD},
        FramingCase{"FiveSpace", TByteSize::_5, TParity::Space, CS5 | PARENB | CMSPAR}),
    [](const auto& info) { return std::string(info.param.name); });

// A pseudo-terminal stores any rate but forces its framing back to 8 data
// bits without parity, as a driver puts in what its hardware can do: the
// component says what did not take, through OnSettingRefused and never by
// raising, and the port goes on.
struct RefusalCase {
    const char* name;
    std::function<void(TComm&)> set;
    // What may be said, by kernel (newer ones refuse the call outright, older
    // ones put in 8 bits); none: the line takes it.
    std::vector<std::string> said;
};

class RefusedSettingTest : public CommTest, public ::testing::WithParamInterface<RefusalCase> {
protected:
    RefusedSettingTest() {
        comm.OnSettingRefused = [this](TComm&, const std::string& what) { said.push_back(what); };
    }
    std::vector<std::string> said;
};

TEST_P(RefusedSettingTest, IsSaidOnceAndThePortGoesOn) {
    comm.OpenPort();
    GetParam().set(comm);
    GetParam().set(comm);  // the same value again touches nothing
    if (GetParam().said.empty()) {
        EXPECT_TRUE(said.empty()) << said.front();
    } else {
        ASSERT_EQ(said.size(), 1u);
        const auto& allowed = GetParam().said;
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), said.front()), allowed.end())
            << said.front();
    }
    EXPECT_TRUE(comm.IsOpen());
    pty.Write({0x5A, 0xA5});
    EXPECT_TRUE(ReceiveBytes(2));
    const std::uint8_t reply[] = {0x11, 0x13};
    ASSERT_TRUE(comm.SendData(reply, 2));
    EXPECT_EQ(pty.Read(2, kPatience), (std::vector<std::uint8_t>{0x11, 0x13}));
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, RefusedSettingTest,
    ::testing::Values(RefusalCase{"StandardRate", [](TComm& c) { c.SetBaudRate(38400); }, {}},
                      RefusalCase{"OtherRate", [](TComm& c) { c.SetBaudRate(250000); }, {}},
                      RefusalCase{"SevenDataBits",
                                  [](TComm& c) { c.SetByteSize(TByteSize::_7); },
                                  {"the driver runs the line at 8N1 instead of 7N1",
                                   "the line settings were refused (Invalid argument)"}},
                      RefusalCase{"EvenParity",
                                  [](TComm& c) {
                                      c.SetParity(
                                          TParity::Even);  // stored; applied with the next change
                                      c.SetParityCheck(true);
                                  },
                                  {"the driver runs the line at 8N1 instead of 8E1",
                                   "the line settings were refused (Invalid argument)"}},
                      RefusalCase{
                          "TwoStopBits", [](TComm& c) { c.SetStopBits(TStopBits::_2); }, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommTest, ASettingRefusedWhileClosedIsOnlyStored) {
    int refusals = 0;
    comm.OnSettingRefused = [&](TComm&, const std::string&) { ++refusals; };
    comm.SetByteSize(TByteSize::_7);
    EXPECT_EQ(refusals, 0);
    EXPECT_EQ(comm.ByteSize(), TByteSize::_7);
}

}  // namespace
}  // namespace comflash::test

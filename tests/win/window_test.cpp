// comflash.exe under Wine, driven as an operator would drive it, against
// comflash-sim on the pseudo-terminal the harness mapped to COM1: what the
// window shows and asks, what the devices end up holding, and what the
// registry keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "tests/win/window_driver.h"
#include "winui/control_ids.h"

namespace comflash::wintest {
namespace {

using winui::ControlId;

// The window's log, a line each.
std::vector<std::string> LogLines(HWND window) {
    std::vector<std::string> lines;
    const std::string text = Text(GetDlgItem(window, ControlId("Memo1")));
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

std::size_t Matching(const std::vector<std::string>& lines, const std::regex& pattern) {
    std::size_t count = 0;
    for (const auto& line : lines)
        count += std::regex_match(line, pattern) ? 1 : 0;
    return count;
}

class WindowUnderWine : public ::testing::Test {
protected:
    WindowUnderWine() {
        ClearSettings();
        Store("COM", "0");  // COM1, where the harness put the simulator
    }

    // The program with its window up.
    HWND Start(const std::vector<std::string>& arguments = {}) {
        program_.emplace(Setting("COMFLASH_WINDOW_EXE"), arguments);
        const HWND window = program_->Window("comflash-window");
        EXPECT_NE(window, nullptr) << "no window came up";
        return window;
    }
    HWND Control(HWND window, std::string_view name) { return GetDlgItem(window, ControlId(name)); }
    // Answers every box that comes up until `done` holds, as the operator
    // would with `answer`; the boxes seen, in order.
    std::vector<Box> AnsweringUntil(const std::function<bool()>& done, int answer = IDOK) {
        std::vector<Box> seen;
        WaitFor([&] {
            if (const auto box = FindBox(program_->Id())) {
                seen.push_back(*box);
                Answer(*box, answer);
            }
            return done();
        });
        return seen;
    }

    std::optional<Program> program_;
};

TEST_F(WindowUnderWine, OpenWithAutoUpdatesDevicesOfEveryVersion) {
    Store("Auto", "1");
    Sim sim(1, {"--devices", "3", "--version", "1,2,3"});
    const HWND window = Start();
    EXPECT_EQ(Text(window), "FW Update For QL42V1.31-N-20090724");
    Click(Control(window, "Button1"));
    ASSERT_TRUE(WaitFor([&] { return Text(Control(window, "Label1")) == "Ok:3"; }))
        << Text(Control(window, "Memo1"));

    EXPECT_EQ(Text(Control(window, "Label2")), "Err:0");
    EXPECT_EQ(Text(Control(window, "Button1")), "Close");
    const auto lines = LogLines(window);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Firmware Update Tools");
    const std::regex start(
        R"(\d{1,4}[/.-]\d{1,2}[/.-]\d{1,4}/\d{1,2}:\d{2}:\d{2}( [AP]M)? Start\.\.\.)");
    const std::regex end(
        R"(\d{1,4}[/.-]\d{1,2}[/.-]\d{1,4}/\d{1,2}:\d{2}:\d{2}( [AP]M)? \.\.\.End)");
    EXPECT_EQ(Matching(lines, start), 3u) << Text(Control(window, "Memo1"));
    EXPECT_EQ(Matching(lines, end), 3u);
    for (const auto& device : sim.Report(3)) {
        EXPECT_EQ(device["outcome"], "updated") << device.dump();
        EXPECT_TRUE(device["image_equal"].get<bool>()) << device.dump();
        EXPECT_EQ(device["wrong_speed_frames"], 0) << device.dump();
    }
    EXPECT_TRUE(FindBox(program_->Id()) == std::nullopt) << "Auto asks nothing";
}

TEST_F(WindowUnderWine, WithoutAutoANoLeavesTheDeviceAlone) {
    Store("Auto", "0");
    Sim sim(1, {"--devices", "1"});
    const HWND window = Start();
    Click(Control(window, "Button1"));
    const auto box = WaitForBox(program_->Id());
    ASSERT_TRUE(box);
    EXPECT_EQ(box->title, "Notice");
    EXPECT_EQ(box->text, "Ready Update?");
    Answer(*box, IDNO);

    const auto report = sim.Report(1);
    ASSERT_EQ(report.size(), 1u);
    EXPECT_EQ(report[0]["blocks"], 0) << "nothing written after the No";
    EXPECT_EQ(Text(Control(window, "Label1")), "Ok:0");
    for (const auto& line : LogLines(window))
        EXPECT_EQ(line.find("Start..."), std::string::npos) << line;
}

TEST_F(WindowUnderWine, RefusedBlockAndBadChecksumAreCountedAndSaid) {
    Store("Auto", "1");
    Sim sim(1, {"--devices", "2", "--fault", "1:block-refused:256", "--fault", "2:wrong-checksum",
                "--host-timeout", "10500"});
    const HWND window = Start();
    Click(Control(window, "Button1"));
    const auto boxes = AnsweringUntil([&] { return Text(Control(window, "Label2")) == "Err:2"; });

    ASSERT_EQ(Text(Control(window, "Label2")), "Err:2") << Text(Control(window, "Memo1"));
    EXPECT_EQ(Text(Control(window, "Label1")), "Ok:0");
    const auto lines = LogLines(window);
    EXPECT_EQ(Matching(lines, std::regex("Write 256 Err!")), 1u) << Text(Control(window, "Memo1"));
    EXPECT_EQ(Matching(lines, std::regex("Write Err")), 1u);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.front().text, "Command Overtimer!")
        << "the refused block's run ends by time-out";
    EXPECT_EQ(boxes.front().title, "Notice");
}

TEST_F(WindowUnderWine, CloseInTheMiddleOfATransferStopsItAndKeepsTheCounters) {
    Store("Auto", "1");
    Sim sim(1, {"--devices", "1", "--wire"});
    const HWND window = Start();
    HWND open = Control(window, "Button1");
    Click(open);
    ASSERT_TRUE(WaitFor([&] { return Position(Control(window, "TrackBar1")) >= 10; }))
        << Text(Control(window, "Memo1"));
    Click(open);
    ASSERT_TRUE(WaitFor([&] { return Text(open) == "Open"; }));

    EXPECT_EQ(Position(Control(window, "TrackBar1")), 0);
    EXPECT_EQ(Text(Control(window, "Label1")), "Ok:0");
    EXPECT_EQ(Text(Control(window, "Label2")), "Err:0");
    const auto report = sim.Report(1);
    ASSERT_EQ(report.size(), 1u);
    EXPECT_NE(report[0]["outcome"], "updated");
}

// --screenshot: once the batch is counted, the window's own picture as a PNG
// as large as its client area, and the program ends by itself.
TEST_F(WindowUnderWine, ScreenshotAfterTheBatchIsAPictureOfTheWindow) {
    Sim sim(1, {"--devices", "2"});
    const std::string picture = Setting("COMFLASH_TEST_DIR") + "/window.png";
    const HWND window = Start({"--port", "COM1", "--auto", "--open", "--screenshot",
                               WindowsPath(picture), "--screenshot-after", "2"});
    RECT client{};
    ASSERT_TRUE(GetClientRect(window, &client));
    ASSERT_EQ(program_->Wait(), DWORD{0});

    std::ifstream in(WindowsPath(picture), std::ios::binary);
    std::vector<unsigned char> head(24);
    ASSERT_TRUE(in.read(reinterpret_cast<char*>(head.data()), 24)) << "no picture at " << picture;
    const std::vector<unsigned char> signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(std::equal(signature.begin(), signature.end(), head.begin()));
    const auto bigEndian = [&](std::size_t at) {
        return static_cast<LONG>(head[at] << 24 | head[at + 1] << 16 | head[at + 2] << 8 |
                                 head[at + 3]);
    };
    EXPECT_EQ(bigEndian(16), client.right);   // IHDR width
    EXPECT_EQ(bigEndian(20), client.bottom);  // IHDR height
    EXPECT_EQ(sim.Report(2).size(), 2u);
}

TEST_F(WindowUnderWine, SettingsOutliveARestart) {
    Store("COM", "3");
    Store("Auto", "yes");  // anything but "1" is off, and written back as "0"
    {
        const HWND window = Start();
        EXPECT_EQ(Selected(Control(window, "ComboBox1")), 3);
        EXPECT_EQ(CheckState(Control(window, "SelAuto")), BST_UNCHECKED);
        EXPECT_EQ(Stored("Auto"), "0");
        Click(Control(window, "SelAuto"));
        ASSERT_TRUE(WaitFor([&] { return Stored("Auto") == "1"; }));
        PostMessageA(window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(program_->Wait());
    }
    const HWND window = Start();
    EXPECT_EQ(Selected(Control(window, "ComboBox1")), 3);
    EXPECT_EQ(CheckState(Control(window, "SelAuto")), BST_CHECKED);
}

// The hidden Write SN button writes into the device in session: one that was
// greeted and identified, whose update the operator declined.
TEST_F(WindowUnderWine, WriteSerialNumberAsksWritesAndAdvances) {
    Store("SN", "AB12000345");
    Sim sim(1, {"--devices", "1", "--quiet-end", "20000"});
    const HWND window = Start();
    EXPECT_EQ(Text(Control(window, "Edit1")), "AB12000345");
    Click(Control(window, "Button1"));
    const auto ready = WaitForBox(program_->Id());
    ASSERT_TRUE(ready);
    EXPECT_EQ(ready->text, "Ready Update?");
    Answer(*ready, IDNO);
    Press(window, ControlId("BitBtn3"));

    const auto asked = WaitForBox(program_->Id());
    ASSERT_TRUE(asked);
    EXPECT_EQ(asked->text, "Readlly Write SN?");
    Answer(*asked, IDYES);
    const auto done = WaitForBox(program_->Id());
    ASSERT_TRUE(done);
    EXPECT_EQ(done->title, "Completed");
    EXPECT_EQ(done->text, "Write SN Completed!");
    Answer(*done, IDOK);

    ASSERT_TRUE(WaitFor([&] { return Text(Control(window, "Edit1")) == "AB12000346"; }));
    EXPECT_EQ(Stored("SN"), "AB12000346");
    const auto report = sim.Report(1);
    ASSERT_EQ(report.size(), 1u);
    EXPECT_EQ(report[0]["serial_record"], "AB12000345#");
}

TEST_F(WindowUnderWine, WriteSerialNumberRefusesATooShortNumber) {
    Store("SN", "12345");
    Sim sim(1, {"--devices", "1"});
    const HWND window = Start();
    Click(Control(window, "Button1"));
    ASSERT_TRUE(WaitFor([&] { return Text(Control(window, "Button1")) == "Close"; }));
    Press(window, ControlId("BitBtn3"));
    const auto box = WaitForBox(program_->Id());
    ASSERT_TRUE(box);
    EXPECT_EQ(box->title, "Notice");
    EXPECT_EQ(box->text, "Write SN Disable!");
    Answer(*box, IDOK);
    EXPECT_EQ(Stored("SN"), "12345");
}

}  // namespace
}  // namespace comflash::wintest

// Opening, closing and the failures of OpenPort on real pseudo-terminals.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "tests/serial/comm_fixture.h"
#include "tests/support/test_paths.h"

extern char** environ;

namespace comflash::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

std::optional<std::string> OpenFailure(TComm& comm) {
    try {
        comm.OpenPort();
    } catch (const ECommsError& error) {
        return error.what();
    }
    return std::nullopt;
}

// Why the open failed, as the system says it; empty when it did not fail.
std::string OpenReason(TComm& comm) {
    try {
        comm.OpenPort();
    } catch (const ECommsError& error) {
        return error.Reason();
    }
    comm.ClosePort();
    return {};
}

// The other process's verdict on opening `port`: its exit status.
int OpenInAnotherProcess(const std::string& port) {
    const std::string probe = testing::TestPath("COMFLASH_OPEN_PROBE");
    char* const argv[] = {const_cast<char*>(probe.c_str()), const_cast<char*>(port.c_str()),
                          nullptr};
    pid_t child = 0;
    if (::posix_spawn(&child, probe.c_str(), nullptr, nullptr, argv, environ) != 0)
        return -1;
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(CommTest, OpensClosesAndReopensTheSamePort) {
    for (int round = 0; round < 3; ++round) {
        comm.OpenPort();
        ASSERT_TRUE(comm.IsOpen());
        const std::size_t before = events.BytesReceived();
        pty.Write({0x01, 0x02, static_cast<std::uint8_t>(round)});
        ASSERT_TRUE(ReceiveBytes(before + 3)) << "round " << round;
        comm.ClosePort();
        EXPECT_FALSE(comm.IsOpen());
        comm.ClosePort();  // closing a closed component does nothing
    }
}

TEST_F(CommTest, OpeningAnOpenComponentFailsAndLeavesThePortRunning) {
    comm.OpenPort();
    EXPECT_EQ(OpenFailure(comm), "This serial port already opened");
    EXPECT_TRUE(comm.IsOpen());
    pty.Write({0x42});
    EXPECT_TRUE(ReceiveBytes(1));
}

TEST_F(CommTest, DestroyingAnOpenComponentClosesItsPort) {
    auto doomed = std::make_unique<TComm>(loop);
    doomed->SetCommName(pty.SlavePath());
    doomed->OnReceiveData = [](TComm&, const std::uint8_t*, std::uint16_t) { FAIL(); };
    doomed->OpenPort();
    pty.Write(Pattern(600));
    doomed.reset();
    loop.RunFor(milliseconds(200));
    // The port was released with it.
    comm.OpenPort();
    EXPECT_TRUE(comm.IsOpen());
}

// The port stays exclusive: a second component, here or in another process,
// cannot open it, and opens it as soon as the first lets go (so the refusal
// was the lock, not a bad path). CI runs as root, whom TIOCEXCL alone would
// let through.
TEST_F(CommTest, APortHeldByOneComponentCannotBeOpenedByAnother) {
    TComm second(loop);
    second.SetCommName(pty.SlavePath());
    comm.OpenPort();

    EXPECT_EQ(OpenFailure(second), "Error opening serial port");
    // The holder is this very process, and the reason says so.
    EXPECT_EQ(OpenReason(second).rfind("busy: another program holds " + pty.SlavePath(), 0), 0u)
        << OpenReason(second);
    EXPECT_NE(OpenReason(second).find("process " + std::to_string(::getpid())), std::string::npos)
        << OpenReason(second);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(OpenInAnotherProcess(pty.SlavePath()), 3);

    comm.ClosePort();
    EXPECT_EQ(OpenInAnotherProcess(pty.SlavePath()), 0);
    EXPECT_EQ(OpenFailure(second), std::nullopt);
}

struct OpenFailureCase {
    const char* name;
    // The port name to open, given a scratch folder.
    std::function<std::string(const fs::path& scratch)> port;
    const char* message;
    // The start of the reason, {scratch} standing for the scratch folder;
    // empty: none is given.
    std::string reason;
};

class OpenFailureTest : public CommTest, public ::testing::WithParamInterface<OpenFailureCase> {
protected:
    void SetUp() override {
        scratch = fs::temp_directory_path() / ("comflash-open-" + std::to_string(::getpid()));
        fs::create_directories(scratch);
    }
    void TearDown() override { fs::remove_all(scratch); }
    fs::path scratch;
};

TEST_P(OpenFailureTest, RaisesItsTextAndLeavesTheComponentClosedAndReopenable) {
    // The application names the map; this one lists nothing.
    comm.SetPortMap(scratch / "ports");
    comm.SetCommName(GetParam().port(scratch));
    EXPECT_EQ(OpenFailure(comm), GetParam().message);
    EXPECT_FALSE(comm.IsOpen());
    std::string reason = GetParam().reason;
    if (const auto at = reason.find("{scratch}"); at != std::string::npos)
        reason.replace(at, 9, scratch.string());
    const std::string given = OpenReason(comm);
    if (reason.empty())
        EXPECT_EQ(given, "");
    else
        EXPECT_EQ(given.substr(0, reason.size()), reason) << given;

    comm.SetCommName(pty.SlavePath());
    ASSERT_EQ(OpenFailure(comm), std::nullopt);
    pty.Write({0x07});
    EXPECT_TRUE(ReceiveBytes(1));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, OpenFailureTest,
    ::testing::Values(
        OpenFailureCase{"MissingDevice",
                        [](const fs::path& scratch) { return (scratch / "ttyUSB9").string(); },
                        "Error opening serial port", "no such device {scratch}/ttyUSB9"},
        OpenFailureCase{"UnlistedComNameWithoutDevice",
                        [](const fs::path&) { return std::string("COM32000"); },
                        "Error opening serial port",
                        "no such device /dev/ttyS31999 (COM32000 is not in the port map "
                        "{scratch}/ports, so it opens /dev/ttyS31999"},
        OpenFailureCase{"NameThatIsNoPort", [](const fs::path&) { return std::string("printer"); },
                        "Error opening serial port", "'printer' is neither a port name"},
        OpenFailureCase{"NoName", [](const fs::path&) { return std::string(); },
                        "Error opening serial port", "no port selected"},
        OpenFailureCase{"Directory", [](const fs::path& scratch) { return scratch.string(); },
                        "Error opening serial port", "{scratch}: Is a directory"},
        OpenFailureCase{"RegularFile",
                        [](const fs::path& scratch) {
                            std::ofstream(scratch / "not-a-tty") << "data";
                            return (scratch / "not-a-tty").string();
                        },
                        "File handle is not a comm handle ",
                        "{scratch}/not-a-tty is not a serial device (Inappropriate ioctl"},
        OpenFailureCase{"CharacterDeviceThatIsNoTerminal",
                        [](const fs::path&) { return std::string("/dev/null"); },
                        "File handle is not a comm handle ",
                        "/dev/null is not a serial device (Inappropriate ioctl"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comflash::test

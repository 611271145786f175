// Why a port did not open, as comflash-cli tells it: on real files, a real
// pseudo-terminal taken away from the user, and a port another comflash-cli
// holds.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "cli_fixture.h"
#include "tests/serial/pty_pair.h"

namespace comflash::testing {
namespace {

namespace fs = std::filesystem;

// The fixed text comes first, the reason after it, on one line.
constexpr char kFixedText[] = "Error opening serial port: ";

// `text` with every "{dir}" standing for `folder`.
std::string WithFolder(std::string text, const std::string& folder) {
    constexpr std::string_view kMark = "{dir}";
    for (auto at = text.find(kMark); at != std::string::npos;
         at = text.find(kMark, at + folder.size()))
        text.replace(at, kMark.size(), folder);
    return text;
}

std::string GroupOf(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return "?";
    const group* entry = ::getgrgid(status.st_gid);
    return entry != nullptr ? entry->gr_name : std::to_string(status.st_gid);
}

// Whether process `pid` holds a lock of its own on the file `path`: the
// moment another opener must be refused.
bool HoldsLock(pid_t pid, const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return false;
    std::ifstream locks("/proc/locks");
    const std::string holder = " " + std::to_string(pid) + " ";
    const std::string inode = ":" + std::to_string(status.st_ino) + " ";
    for (std::string line; std::getline(locks, line);) {
        if (line.find(holder) != std::string::npos && line.find(inode) != std::string::npos)
            return true;
    }
    return false;
}

class CliOpenErrors : public CliTest {
protected:
    // comflash-cli as an unprivileged user: a copy of it in a folder every
    // user may enter, started through setpriv. Root is refused nothing, so
    // only another user can meet a device it may not use.
    CliResult RunAsNobody(const std::vector<std::string>& arguments) {
        const fs::path folder = dir / "for-nobody";
        fs::create_directories(folder);
        fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
        fs::permissions(dir.Path(), fs::perms::others_exec | fs::perms::group_exec,
                        fs::perm_options::add);
        const fs::path copy = folder / "comflash-cli";
        fs::copy_file(CliPath(), copy, fs::copy_options::overwrite_existing);
        std::vector<std::string> words = {"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                          copy.string()};
        words.insert(words.end(), arguments.begin(), arguments.end());
        ChildProcess cli("/usr/bin/setpriv", words, dir.Path(), "nobody");
        return {cli.Wait(kCliPatience), cli.Stdout(), cli.Stderr()};
    }
};

struct OpenErrorRow {
    const char* name;
    // Sets the scene; returns the --port value.
    std::function<std::string(CliOpenErrors& test, const fs::path& folder)> port;
    // What the reason says, each piece as given or with {path} as the port's path.
    std::vector<std::string> says;
};

class CliOpenErrorTable : public CliOpenErrors,
                          public ::testing::WithParamInterface<OpenErrorRow> {};

TEST_P(CliOpenErrorTable, StatusTwoAndTheReasonAfterTheFixedText) {
    const std::string port = GetParam().port(*this, dir.Path());
    const CliResult cli = RunCli({"--port", port});
    EXPECT_EQ(cli.status, 2);
    ASSERT_TRUE(cli.ErrHas(kFixedText)) << cli.err;
    for (const std::string& piece : GetParam().says) {
        const std::string expected = piece == "{map}"
                                         ? (dir / "config" / "Norvane" / "FW" / "ports").string()
                                         : WithFolder(piece, dir.Path().string());
        EXPECT_TRUE(cli.ErrHas(expected)) << "missing: " << expected << "\n" << cli.err;
    }
    EXPECT_EQ(Lines(cli.err).size(), 1u) << cli.err;
}

void WritePortMap(const fs::path& folder, const std::string& line) {
    fs::create_directories(folder / "config" / "Norvane" / "FW");
    std::ofstream(folder / "config" / "Norvane" / "FW" / "ports") << line << "\n";
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, CliOpenErrorTable,
    ::testing::Values(
        OpenErrorRow{
            "path_that_does_not_exist",
            [](CliOpenErrors&, const fs::path& folder) { return (folder / "ttyUSB7").string(); },
            {"no such device {dir}/ttyUSB7"}},
        OpenErrorRow{
            "com_name_mapped_to_a_missing_device",
            [](CliOpenErrors&, const fs::path& folder) {
                WritePortMap(folder, "COM4=" + (folder / "ttyACM3").string());
                return std::string("COM4");
            },
            {"no such device {dir}/ttyACM3", "COM4 leads there through the port map", "{map}"}},
        OpenErrorRow{"name_that_is_no_port",
                     [](CliOpenErrors&, const fs::path&) { return std::string("printer"); },
                     {"'printer' is neither a port name"}}),
    [](const auto& info) { return std::string(info.param.name); });

// A device the user may not use: the reason names the device's group and
// says the user is not in it, with the command that adds it. As root, the
// device is given to a group of its own kind (dialout where it exists) and
// comflash-cli runs as nobody; as anyone else, the mode is taken away.
TEST_F(CliOpenErrors, PortTheUserMayNotUseNamesItsGroup) {
    test::PtyPair device;
    const std::string path = device.SlavePath();
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(path.c_str(), 0), 0);
        const CliResult cli = RunCli({"--port", path});
        EXPECT_EQ(cli.status, 2) << cli.err;
        EXPECT_TRUE(cli.ErrHas(kFixedText + std::string("permission denied on ") + path))
            << cli.err;
        EXPECT_TRUE(cli.ErrHas("mode ---------")) << cli.err;
        return;
    }
    const group* dialout = ::getgrnam("dialout");
    ASSERT_EQ(::chown(path.c_str(), 0, dialout != nullptr ? dialout->gr_gid : 20), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0660), 0);
    const std::string group = GroupOf(path);

    const CliResult cli = RunAsNobody({"--port", path});
    EXPECT_EQ(cli.status, 2) << cli.err;
    EXPECT_TRUE(cli.ErrHas(kFixedText + std::string("permission denied on ") + path +
                           " (owner root, group " + group + ", mode rw-rw----)"))
        << cli.err;
    EXPECT_TRUE(cli.ErrHas("user nobody is not in group " + group +
                           ": add it with 'sudo usermod -aG " + group +
                           " nobody' and log in again"))
        << cli.err;
}

// A port another comflash-cli holds: the reason says so and names it.
TEST_F(CliOpenErrors, PortHeldByAnotherComflashCliNamesIt) {
    test::PtyPair device;
    const std::string path = device.SlavePath();
    ChildProcess holder(CliPath(), {"--port", path}, dir.Path(), "holder");
    const auto deadline = std::chrono::steady_clock::now() + simtest::kPatience;
    while (!HoldsLock(holder.Pid(), path) && !holder.Poll() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(HoldsLock(holder.Pid(), path)) << holder.Stderr();

    const CliResult cli = RunCli({"--port", path});
    EXPECT_EQ(cli.status, 2);
    EXPECT_TRUE(cli.ErrHas(kFixedText + std::string("busy: another program holds ") + path))
        << cli.err;
    EXPECT_TRUE(cli.ErrHas("process " + std::to_string(holder.Pid()) + " comflash-cli")) << cli.err;
}

}  // namespace
}  // namespace comflash::testing

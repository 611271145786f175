// The settings store when things go wrong around it: a settings file that was
// cut short or overwritten with garbage, a folder that cannot be written, a
// full disk, and two writers at the same moment. Real files in a scratch
// XDG_CONFIG_HOME; read-only folders and full disks are real mounts where the
// process may mount (root in CI, where permission bits do not stop writes).
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <latch>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/settings_store.h"
#include "child_process.h"
#include "session_fixture.h"

namespace comflash::testing {
namespace {

namespace fs = std::filesystem;

const std::string kFailedSn = "Failed to set data for 'SN'";

// Whether a new file in `folder` can take `size` bytes; errno tells why not.
bool CanWriteFile(const fs::path& folder, std::size_t size) {
    const fs::path probe = folder / "probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const std::string bytes(size, 'p');
    std::size_t written = 0;
    ssize_t n = 0;
    while (written < size && (n = ::write(fd, bytes.data() + written, size - written)) > 0)
        written += static_cast<std::size_t>(n);
    const int error = errno;
    ::close(fd);
    ::unlink(probe.c_str());
    errno = error;
    return written == size;
}

// A file system mounted over `target` for the life of the object. Mounting
// needs privileges: Mounted() says whether it happened.
class ScopedMount {
public:
    ScopedMount(const fs::path& target, const char* source, const char* type, unsigned long flags,
                const char* options)
        : target_(target) {
        mounted_ = ::mount(source, target.c_str(), type, flags, options) == 0;
        error_ = mounted_ ? 0 : errno;
    }
    ~ScopedMount() {
        if (mounted_)
            ::umount2(target_.c_str(), MNT_DETACH);
    }
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;

    bool Mounted() const { return mounted_; }
    std::string Why() const { return std::strerror(error_); }

private:
    fs::path target_;
    bool mounted_ = false;
    int error_ = 0;
};

// Makes an existing folder refuse writes, as a read-only bind mount over
// itself; a process that may not mount is not root either, and for it the
// permission bits do.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const fs::path& folder)
        : folder_(folder), bind_(folder, folder.c_str(), nullptr, MS_BIND, nullptr) {
        if (bind_.Mounted()) {
            ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr);
        } else {
            fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        }
    }
    ~ReadOnlyFolder() {
        std::error_code ignored;
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    std::string How() const {
        return bind_.Mounted() ? "read-only bind mount"
                               : "permission bits (mount: " + bind_.Why() + ")";
    }

private:
    fs::path folder_;
    ScopedMount bind_;
};

// A file-size limit for this process (RLIMIT_FSIZE), with SIGXFSZ ignored so
// that an oversized write fails with EFBIG instead of ending the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = SIG_DFL;
};

class SettingsRobustness : public ::testing::Test {
protected:
    fs::path Folder() const { return scratch.Folder() / "Norvane" / "FW"; }
    fs::path File() const { return Folder() / "settings"; }

    void WriteFile(const std::string& text) const {
        fs::create_directories(Folder());
        std::ofstream(File(), std::ios::binary) << text;
    }

    void StoreThreeValues() const {
        store.WriteSetting("SN", "AB12000345");
        store.WriteSetting("COM", "2");
        store.WriteSetting("Auto", "1");
    }
    void ExpectThreeValues() const {
        EXPECT_EQ(store.ReadSetting("SN"), "AB12000345");
        EXPECT_EQ(store.ReadSetting("COM"), "2");
        EXPECT_EQ(store.ReadSetting("Auto"), "1");
    }

    // What a failed write could leave behind: anything in the folder but the
    // settings file, its lock and the names given.
    std::vector<std::string> Leftovers(std::vector<std::string> expected = {}) const {
        expected.push_back("settings");
        expected.push_back("settings.lock");
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(Folder())) {
            const std::string name = entry.path().filename().string();
            if (std::find(expected.begin(), expected.end(), name) == expected.end())
                left.push_back(name);
        }
        return left;
    }

    void ExpectWriteFails(const std::string& name, const std::string& value,
                          const std::string& message) const {
        try {
            store.WriteSetting(name, value);
            ADD_FAILURE() << "writing " << name << " succeeded";
        } catch (const ERegistryException& e) {
            EXPECT_EQ(e.what(), message);
        }
    }

    ScratchSettings scratch;
    SettingsStore store;
};

// ---------------------------------------------------------------------------
// A damaged file: the store names it and leaves it exactly as it is.

std::string RandomBytes(std::size_t size, bool withNewlines) {
    std::mt19937 random(2026);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        do {
            c = static_cast<char>(random());
        } while (!withNewlines && c == '\n');
    }
    return bytes;
}

struct DamageCase {
    const char* name;
    std::function<std::string()> content;
};

class DamagedSettingsFile : public SettingsRobustness,
                            public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedSettingsFile, IsAnErrorNamingTheFileAndIsKeptAsItIs) {
    const std::string damaged = GetParam().content();
    WriteFile(damaged);

    try {
        store.ReadSetting("SN");
        ADD_FAILURE() << "a damaged file must not read as empty";
    } catch (const ERegistryException& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find(File().string()), std::string::npos) << message.substr(0, 300);
        EXPECT_NE(message.find("line "), std::string::npos) << message.substr(0, 300);
    }
    EXPECT_THROW(store.WriteSetting("SN", "AB12000346"), ERegistryException);
    EXPECT_THROW(store.WriteSetting("COM", "3"), ERegistryException);

    EXPECT_TRUE(ReadWholeFile(File()) == damaged) << "the damaged file was changed";
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

const std::string kToolHeader = "# comflash settings (\\software\\Norvane\\FW)\n";

INSTANTIATE_TEST_SUITE_P(
    Damage, DamagedSettingsFile,
    ::testing::Values(
        DamageCase{"cut_in_a_name", [] { return kToolHeader + "Auto=1\nCOM=2\nS"; }},
        DamageCase{"cut_in_an_escape", [] { return kToolHeader + "Auto=1\nSN=AB\\"; }},
        DamageCase{"binary", [] { return RandomBytes(4096, true); }},
        DamageCase{"huge_line", [] { return std::string(8 << 20, 'x') + "\nSN=AB12000345\n"; }},
        DamageCase{"binary_without_newline", [] { return RandomBytes(64 << 10, false); }},
        DamageCase{
            "nul_inside_the_tools_file",
            [] { return kToolHeader + "Auto=1\nCOM=2\nSN=AB12" + std::string(1, '\0') + "45\n"; }}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// A folder that cannot be written.

TEST_F(SettingsRobustness, ReadOnlyFolderFailsWithTheFixedTextAndKeepsTheValues) {
    StoreThreeValues();
    const std::string before = ReadWholeFile(File());
    {
        ReadOnlyFolder readOnly(Folder());
        ASSERT_FALSE(CanWriteFile(Folder(), 1))
            << "the folder still takes writes (" << readOnly.How() << ")";

        ExpectWriteFails("SN", "AB12000346", kFailedSn);
        ExpectThreeValues();
    }
    EXPECT_EQ(ReadWholeFile(File()), before);
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

// ---------------------------------------------------------------------------
// A full disk: a small file system filled to the last block, or, where the
// process may not mount one, a file-size limit below the new file.

class FullDisk : public SettingsRobustness, public ::testing::WithParamInterface<const char*> {
protected:
    // Fills the file system of `folder` with the file `filler` until no byte fits.
    static void Fill(const fs::path& filler) {
        const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0) << std::strerror(errno);
        const std::string block(4096, 'f');
        for (std::size_t size = block.size(); size > 0;) {
            if (::write(fd, block.data(), size) < 0)
                size /= 2;
        }
        ::close(fd);
    }
};

TEST_P(FullDisk, FailedWriteRaisesTheFixedTextAndLosesNoValue) {
    std::optional<ScopedMount> small;
    if (std::string(GetParam()) == "tmpfs") {
        small.emplace(scratch.Folder(), "tmpfs", "tmpfs", 0, "size=64k,mode=0700");
        if (!small->Mounted())
            std::cout << "tmpfs not mounted (" << small->Why() << "): a file-size limit instead\n";
    }
    StoreThreeValues();
    const std::string before = ReadWholeFile(File());
    const std::string longer = "AB12000346 " + std::string(200, 'x');
    {
        std::optional<FileSizeLimit> limit;
        if (small && small->Mounted()) {
            Fill(Folder() / "filler");
            ASSERT_FALSE(CanWriteFile(Folder(), 1)) << "the file system still has room";
            EXPECT_EQ(errno, ENOSPC);
        } else {
            limit.emplace(before.size());
            ASSERT_FALSE(CanWriteFile(Folder(), before.size() + 1)) << "the limit does not hold";
            EXPECT_EQ(errno, EFBIG);
        }

        ExpectWriteFails("SN", longer, kFailedSn);
        ExpectWriteFails("Auto", "0" + std::string(200, ' '), "Failed to set data for 'Auto'");
        ExpectThreeValues();
        EXPECT_EQ(ReadWholeFile(File()), before);
        EXPECT_EQ(Leftovers({"filler"}), std::vector<std::string>{});
    }

    // With room again, the next write goes through.
    fs::remove(Folder() / "filler");
    EXPECT_TRUE(store.WriteSetting("SN", longer));
    EXPECT_EQ(store.ReadSetting("SN"), longer);
    EXPECT_EQ(store.ReadSetting("COM"), "2");
}

INSTANTIATE_TEST_SUITE_P(Limits, FullDisk, ::testing::Values("tmpfs", "file_size_limit"),
                         [](const auto& info) { return std::string(info.param); });

// ---------------------------------------------------------------------------
// Two writers at once, and a reader beside them.

TEST_F(SettingsRobustness, TwoWritersAtOnceLoseNeitherValue) {
    constexpr int kWrites = 40;
    std::latch start(3);
    std::atomic<bool> writing = true;
    std::string snError;
    std::string comError;
    std::string readError;

    auto writer = [&](const std::string& name, std::string& error) {
        start.arrive_and_wait();
        try {
            for (int i = 0; i < kWrites; ++i)
                store.WriteSetting(name, name + std::to_string(i));
        } catch (const std::exception& e) {
            error = e.what();
        }
    };
    std::thread sn(writer, "SN", std::ref(snError));
    std::thread com(writer, "COM", std::ref(comError));
    std::thread reader([&] {
        start.arrive_and_wait();
        try {
            // Every write replaces the whole file at once: a reader sees the
            // old file or the new one, never half of one.
            while (writing) {
                const std::string sn = store.ReadSetting("SN");
                if (!sn.empty() && sn.rfind("SN", 0) != 0)
                    readError = "read '" + sn + "'";
            }
        } catch (const std::exception& e) {
            readError = e.what();
        }
    });
    sn.join();
    com.join();
    writing = false;
    reader.join();

    EXPECT_EQ(snError, "");
    EXPECT_EQ(comError, "");
    EXPECT_EQ(readError, "");
    EXPECT_EQ(store.ReadSetting("SN"), "SN" + std::to_string(kWrites - 1));
    EXPECT_EQ(store.ReadSetting("COM"), "COM" + std::to_string(kWrites - 1));
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

}  // namespace
}  // namespace comflash::testing

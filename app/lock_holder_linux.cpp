// The holder of a flock, from /proc/locks: its lines name the process and
// the locked file's device and inode.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "app/lock_holder.h"

namespace comflash {
namespace {

std::string ProcessName(const std::string& pid) {
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

}  // namespace

std::string LockHolder(const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0)
        return {};
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%llu", major(info.st_dev),
                  minor(info.st_dev), static_cast<unsigned long long>(info.st_ino));
    // "1: FLOCK  ADVISORY  WRITE 1234 08:01:123456 0 EOF"; a line of a lock
    // that is waited for starts with "->" and names no holder.
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream words(line);
        std::string number, kind, mode, access, pid, where;
        words >> number >> kind >> mode >> access >> pid >> where;
        if (number == "->" || kind != "FLOCK" || where != wanted)
            continue;
        const std::string name = ProcessName(pid);
        return "process " + pid + (name.empty() ? "" : " (" + name + ")");
    }
    return {};
}

}  // namespace comflash

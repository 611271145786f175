// On Linux every process's open files are links under /proc/PID/fd: the
// holders of a device are the processes with a link to it.
#include <filesystem>
#include <fstream>
#include <system_error>

#include "serial/posix/port_holders.h"

namespace comflash {
namespace {

namespace fs = std::filesystem;

bool IsProcessFolder(const fs::path& folder) {
    const std::string name = folder.filename().string();
    return !name.empty() && name.find_first_not_of("0123456789") == std::string::npos;
}

bool HasOpen(const fs::path& process, const fs::path& device) {
    std::error_code error;
    for (const auto& fd : fs::directory_iterator(process / "fd", error)) {
        std::error_code linkError;
        if (fs::read_symlink(fd.path(), linkError) == device)
            return true;
    }
    return false;
}

std::string ProgramName(const fs::path& process) {
    std::ifstream in(process / "comm");
    std::string name;
    std::getline(in, name);
    return name;
}

}  // namespace

std::vector<PortHolder> ProcessesHolding(const std::string& path) {
    std::vector<PortHolder> holders;
    std::error_code error;
    // A link such as /tmp/comflash-port is known to the processes by its target.
    const fs::path device = fs::canonical(path, error);
    if (error)
        return holders;
    for (const auto& process : fs::directory_iterator("/proc", error)) {
        if (!IsProcessFolder(process.path()) || !HasOpen(process.path(), device))
            continue;
        holders.push_back({static_cast<pid_t>(std::stol(process.path().filename().string())),
                           ProgramName(process.path())});
    }
    return holders;
}

}  // namespace comflash

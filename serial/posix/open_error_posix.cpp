// The reasons a terminal device does not open, as the operator meets them:
// the device is not there, the user may not use it (on Linux almost always the
// dialout group), or another program holds it.
#include "serial/posix/open_error_posix.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <vector>

#include "serial/posix/port_holders.h"

namespace comflash {
namespace {

std::string Quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

// How the name led to the path, for a device that is not there.
std::string RouteNote(std::string_view name, const ResolvedPort& port,
                      const std::filesystem::path& portMap) {
    const std::string map = portMap.string();
    switch (port.route) {
        case PortRoute::PortMap:
            return " (" + std::string(name) + " leads there through the port map " + map + ")";
        case PortRoute::DefaultPath:
            if (map.empty())
                return " (" + std::string(name) + " opens " + port.path + ")";
            return " (" + std::string(name) + " is not in the port map " + map + ", so it opens " +
                   port.path + "; a line such as " + std::string(name) +
                   "=/dev/ttyUSB0 there names its device)";
        case PortRoute::DevicePath:
        case PortRoute::NotAPort:
            break;
    }
    return {};
}

std::string GroupName(gid_t gid) {
    std::vector<char> scratch(16384);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, scratch.data(), scratch.size(), &found) == 0 && found != nullptr)
        return found->gr_name;
    return std::to_string(gid);
}

struct User {
    std::string name;
    gid_t primaryGroup = 0;
};

User CurrentUser() {
    std::vector<char> scratch(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, scratch.data(), scratch.size(), &found) == 0 &&
        found != nullptr) {
        return {found->pw_name, found->pw_gid};
    }
    return {"uid " + std::to_string(::geteuid()), ::getegid()};
}

// The groups this process runs with: those the user had at log-in.
bool ProcessInGroup(gid_t gid) {
    if (::getegid() == gid)
        return true;
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    const int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
    groups.resize(static_cast<std::size_t>(std::max(count, 0)));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// The groups the user database gives the user now, which a session started
// before the user was added does not have yet.
bool ListedInGroup(const User& user, gid_t gid) {
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(user.name.c_str(), user.primaryGroup, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(user.name.c_str(), user.primaryGroup, groups.data(), &count) < 0)
            return false;
    }
    groups.resize(static_cast<std::size_t>(count));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

std::string ModeText(mode_t mode) {
    std::string text;
    for (const mode_t bit :
         {S_IRUSR, S_IWUSR, S_IXUSR, S_IRGRP, S_IWGRP, S_IXGRP, S_IROTH, S_IWOTH, S_IXOTH}) {
        text += (mode & bit) == 0 ? '-' : "rwx"[text.size() % 3];
    }
    return text;
}

std::string UserName(uid_t uid) {
    std::vector<char> scratch(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, scratch.data(), scratch.size(), &found) == 0 && found != nullptr)
        return found->pw_name;
    return "uid " + std::to_string(uid);
}

// On Linux serial devices belong to a group (dialout on Debian) whose
// members may use them; the usual fault is a user outside it.
std::string PermissionReason(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return "permission denied on " + path;
    const std::string group = GroupName(status.st_gid);
    const User user = CurrentUser();
    const std::string reason = "permission denied on " + path + " (owner " +
                               UserName(status.st_uid) + ", group " + group + ", mode " +
                               ModeText(status.st_mode) + "): ";
    constexpr mode_t kReadWrite = S_IRUSR | S_IWUSR;
    if (status.st_uid == ::geteuid())
        return reason + "its mode does not let even its owner " + user.name + " read and write it";
    if ((status.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) {
        return reason + "its mode lets only its owner read and write it" +
               ((status.st_mode & kReadWrite) == kReadWrite ? "" : ", if anyone") +
               ": a udev rule can give such devices to group dialout";
    }
    if (ProcessInGroup(status.st_gid)) {
        return reason + "user " + user.name + " is in group " + group +
               ", yet the system refuses it (an access list or a security module?)";
    }
    if (ListedInGroup(user, status.st_gid)) {
        return reason + "user " + user.name + " was added to group " + group +
               " after this session began: log out and in again";
    }
    return reason + "user " + user.name + " is not in group " + group + ": add it with " +
           Quoted("sudo usermod -aG " + group + " " + user.name) + " and log in again";
}

std::string BusyReason(const std::string& path) {
    std::string reason = "busy: another program holds " + path;
    const std::vector<PortHolder> holders = ProcessesHolding(path);
    if (holders.empty())
        return reason + " (the system does not say which)";
    reason += " (";
    for (std::size_t i = 0; i < holders.size(); ++i) {
        reason += (i == 0 ? "process " : ", process ") + std::to_string(holders[i].pid) + " " +
                  holders[i].program;
        if (holders[i].pid == ::getpid())
            reason += ", this program";
    }
    return reason + ")";
}

}  // namespace

std::string OpenFailureReason(std::string_view name, const ResolvedPort& port,
                              const std::filesystem::path& portMap, int error) {
    if (name.empty())
        return "no port selected";
    if (port.route == PortRoute::NotAPort) {
        return Quoted(name) + " is neither a port name (COM1, COM2, ...) nor a device path";
    }
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return "no such device " + port.path + RouteNote(name, port, portMap);
        case ENXIO:
        case ENODEV:
            return "no such device " + port.path + " (the system lists it, but nothing answers)" +
                   RouteNote(name, port, portMap);
        case EACCES:
        case EPERM:
            return PermissionReason(port.path);
        case EBUSY:
        case EWOULDBLOCK:
            return BusyReason(port.path);
        default:
            return port.path + ": " + std::generic_category().message(error);
    }
}

bool IsNoTerminal(int error) {
    return error == ENOTTY || error == EINVAL;
}

std::string NoLineReason(std::string_view name, const ResolvedPort& port,
                         const std::filesystem::path& portMap, int error) {
    const std::string system = std::generic_category().message(error);
    if (IsNoTerminal(error))
        return port.path + " is not a serial device (" + system + ")";
    if (error == EIO) {
        return "no serial hardware behind " + port.path + " (" + system + ")" +
               RouteNote(name, port, portMap);
    }
    return port.path + ": its line settings cannot be read (" + system + ")";
}

std::string SetupFailureReason(const ResolvedPort& port, const std::string& what) {
    return port.path + ": " + what;
}

}  // namespace comflash

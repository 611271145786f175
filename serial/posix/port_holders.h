// Which processes have a device open, where the system can tell.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace comflash {

struct PortHolder {
    pid_t pid = 0;
    std::string program;  // the process's name as the system keeps it
};

// Every process (that this user may look at) with `path` open; empty when
// the system cannot say.
std::vector<PortHolder> ProcessesHolding(const std::string& path);

}  // namespace comflash

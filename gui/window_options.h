// The command line of the comflash program. Without options it is the plain
// window; the options act as the operator would right after start-up, for
// demonstrations and for the picture in the documentation.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace comflash {

class WindowOptionError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

struct WindowOptions {
    std::optional<int> portIndex;           // --port COMn: index in the port list
    bool tickAuto = false;                  // --auto
    bool open = false;                      // --open
    std::optional<std::string> screenshot;  // --screenshot FILE
    unsigned screenshotAfter = 0;           // --screenshot-after N devices
    bool quickTurnaround = false;           // --quick-turnaround
    bool version = false;                   // --version: the tool and its built-in image
    bool help = false;
};

// Arguments without the program name. Those that do not start with "--" are
// the toolkit's (-platform offscreen, -style Fusion) and are passed over.
// Throws WindowOptionError with a message for the operator.
WindowOptions ParseWindowOptions(const std::vector<std::string>& arguments);

std::string WindowUsage();

}  // namespace comflash

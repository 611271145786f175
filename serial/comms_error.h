// The one error the serial component raises, with its fixed texts.
#pragma once

#include <stdexcept>
#include <string>

namespace comflash {

// Raised only by TComm::OpenPort. what() is always one of the fixed texts
// below, which the window shows as they are; Reason() adds, when the system
// can say, why the port did not open ("no such device /dev/ttyUSB0 ...",
// "permission denied ...", "busy: held by ..."), for the command line and
// the window's log.
class ECommsError : public std::runtime_error {
public:
    explicit ECommsError(const std::string& message, std::string reason = {})
        : std::runtime_error(message), reason_(std::move(reason)) {}
    const std::string& Reason() const { return reason_; }
    // The fixed text followed by the reason, when there is one.
    std::string TextWithReason() const {
        std::string text = what();
        if (reason_.empty())
            return text;
        // One fixed text ends in a space, which would stand before the colon.
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        return text + ": " + reason_;
    }

private:
    std::string reason_;
};

namespace comm_error_text {
inline constexpr char kAlreadyOpen[] = "This serial port already opened";
inline constexpr char kCannotOpen[] = "Error opening serial port";
inline constexpr char kNotCommHandle[] = "File handle is not a comm handle ";
inline constexpr char kCannotSetupBuffer[] = "Cannot setup comm buffer";
inline constexpr char kCannotCreateEvent[] = "Unable to create event";
inline constexpr char kCannotCreateReadThread[] = "Unable to create read thread";
inline constexpr char kCannotCreateWriteThread[] = "Unable to create write thread";
}  // namespace comm_error_text

}  // namespace comflash

// The one error the serial component raises, with its fixed texts.
#pragma once

#include <stdexcept>

namespace comflash {

// Raised only by TComm::OpenPort.
class ECommsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
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

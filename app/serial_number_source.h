// Where serial numbers come from. A number is marked used, durably, before it
// is handed out; it goes back only when the device certainly holds nothing
// and no later number was taken since; it is never handed out twice. A gap
// in the series is acceptable, two devices with one number never are.
#pragma once

#include <stdexcept>
#include <string>

namespace comflash {

// Raised by a source that cannot answer for the moment (a line database that
// went away): provisioning leaves the device for a later hello instead of
// stopping, as it does with hellos while the source is not Available.
class SerialSourceAway : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What became of a number that was taken for a device. One table for every
// front end, the production record and the exit status.
enum class SerialFate {
    Written,      // acknowledged with status 1: counts good
    Refused,      // acknowledged with another status: counts failed, number given back
    Unconfirmed,  // record sent, no acknowledgement understood: counts failed, number used up
    NotSent,      // taken, the record never left: counts neither, number given back
};

// "written", "refused", "unconfirmed", "not-sent".
const char* SerialFateName(SerialFate fate);

// The device certainly holds nothing of the number.
inline bool DeviceHoldsNothing(SerialFate fate) {
    return fate == SerialFate::Refused || fate == SerialFate::NotSent;
}

class SerialNumberSource {
public:
    virtual ~SerialNumberSource() = default;

    // The number the next Take would hand out, for showing; empty when there
    // is none yet. Raises as the store does.
    virtual std::string Next() const = 0;

    // Takes the next number of the series for a device on `port`, never one
    // behind `atLeast` (a number the caller wants to start from; may be
    // empty). The number is marked used durably before this returns. Raises
    // SerialNumberError for a number that cannot be written, the store's
    // error when it cannot be marked, and SerialSourceAway when the source
    // cannot answer for the moment (no number was handed out).
    virtual std::string Take(const std::string& port, const std::string& atLeast) = 0;

    // False while numbers cannot be taken for a while (a line database that
    // does not answer): hellos then go unanswered, and provisioning resumes by
    // itself once this is true again. Never waits.
    virtual bool Available() { return true; }

    // The number's fate is known. A number the device certainly does not hold
    // goes back to the series, unless a later one has been taken since (then
    // it is a gap). Raises as the store does, and SerialSourceAway when a
    // number of an earlier run cannot be confirmed for the moment.
    virtual void Settle(const std::string& number, SerialFate fate) = 0;

    // True for a number taken whose fate is still unknown (its record may
    // have left unanswered, in this run or an earlier one): a device that
    // comes back holding it confirms it (Settle with Written). Raises
    // SerialSourceAway when the source cannot tell for the moment.
    virtual bool Unconfirmed(const std::string& number) const = 0;
};

}  // namespace comflash

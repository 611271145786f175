// Where serial numbers come from. A number is marked taken, durably, before
// it is handed out; it goes back only when the device certainly holds nothing
// and no later number was taken since; it is never handed out twice. A gap in
// the series is acceptable when it is named, two devices with one number
// never are.
//
// A number moves along these steps only:
//
//   taken       -> written      the device acknowledged it
//               -> refused      the device refused it (goes back when it still can)
//               -> not-sent     it never left (goes back when it still can, else skipped)
//               -> unconfirmed  its record left, no answer was understood
//   unconfirmed -> written      a device came back holding it
//
// Any other step is an error (SerialStepError), never a second give-back.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace comflash {

// Raised by a source that cannot answer for the moment (a line database that
// went away): provisioning leaves the device for a later hello instead of
// stopping, as it does with hellos while the source is not Available.
class SerialSourceAway : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A step the number's life does not allow: settling a number twice, giving
// back one that may be in a device, or settling one that was never taken.
class SerialStepError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// What became of a number that was taken for a device. One table for every
// front end, the production record and the exit status.
enum class SerialFate {
    Written,      // acknowledged with status 1: counts good
    Refused,      // acknowledged with another status: counts failed, number given back
    Unconfirmed,  // record sent, no acknowledgement understood: counts failed, number used up
    NotSent,      // taken, the record never left: counts neither, number given back
    Skipped,      // taken, never sent, and it could not go back: a named gap, counts neither
};

// "written", "refused", "unconfirmed", "not-sent", "skipped".
const char* SerialFateName(SerialFate fate);

// A number handed out, and the numbers passed over on the way to it because
// they were still taken or unconfirmed (after the series was set back with
// --force): their devices are the ones to check.
struct TakenNumber {
    std::string number;
    std::vector<std::string> passedOver;
};

class SerialNumberSource {
public:
    virtual ~SerialNumberSource() = default;

    // The number the next Take would hand out, for showing; empty when there
    // is none yet. Raises as the store does.
    virtual std::string Next() const = 0;

    // Takes the next number of the series for a device on `port`. The number
    // is marked taken durably before this returns. Raises SerialNumberError
    // for a number that cannot be written, the store's error when it cannot
    // be marked, and SerialSourceAway when the source cannot answer for the
    // moment (no number was handed out).
    virtual TakenNumber Take(const std::string& port) = 0;

    // False while numbers cannot be taken for a while (a line database that
    // does not answer): hellos then go unanswered, and provisioning resumes by
    // itself once this is true again. Never waits.
    virtual bool Available() { return true; }

    // One step of the number's life (see the top of this file); returns the
    // fate it ends with: Skipped for a not-sent number that could not go back
    // because a later one was taken meanwhile, else `fate`. Raises
    // SerialStepError for a step the number's life does not allow, as the
    // store does, and SerialSourceAway when a number of an earlier run cannot
    // be confirmed for the moment.
    virtual SerialFate Settle(const std::string& number, SerialFate fate) = 0;

    // True for a number whose record left without an understood answer, in
    // this run or an earlier one: a device that comes back holding it
    // confirms it (Settle with Written). Raises SerialSourceAway when the
    // source cannot tell for the moment.
    virtual bool Unconfirmed(const std::string& number) const = 0;
};

}  // namespace comflash

// Serial-number provisioning shared by every port of a process. One port at a
// time serves a device, from its answered hello to the end of its run, so the
// number it took is the only one in flight; and a tally of what became of
// every number, for the end of the run.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "app/serial_number_source.h"

namespace comflash {

class SerialProvisioning {
public:
    explicit SerialProvisioning(SerialNumberSource& source) : source_(source) {}

    SerialNumberSource& Source() { return source_; }

    // True when `port` may serve a device now; it keeps the turn until EndTurn.
    bool TryTurn(const void* port);
    void EndTurn(const void* port);

    // Notes a settled number for the summary.
    void Note(const std::string& number, SerialFate fate);

    // "serial numbers written: A to B (n); refused: r; unconfirmed: X, Y
    // (set these devices aside)"; empty when no number was taken.
    std::string Summary() const;
    bool AnyUnconfirmed() const { return !unconfirmed_.empty(); }

    // A device that already holds `number` and is left alone: true the first
    // time it is seen in this run, so it is said and recorded once however
    // often it says hello again.
    bool FirstSighting(const std::string& number) { return sighted_.insert(number).second; }

private:
    SerialNumberSource& source_;
    const void* turn_ = nullptr;
    std::vector<std::string> written_;
    std::vector<std::string> unconfirmed_;
    int refused_ = 0;
    int notSent_ = 0;
    std::set<std::string> sighted_;
};

}  // namespace comflash

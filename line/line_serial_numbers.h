// Serial numbers from the line database, through the same interface as the
// settings store, so that several stations share one series per prefix and
// never hand out one number twice.
//
// The series is the one of the station's stored number ("SN"); the station
// joins it with every reservation (its next number becomes the higher of the
// line's and the station's own), and the stored number then follows the line,
// so the station can carry on from it if the line is ever given up. The
// station's settings remember each series it provisioned through the line
// (see line_marks.h).
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "app/serial_number_source.h"
#include "app/settings_store.h"
#include "line/line_database.h"

namespace comflash::line {

class LineSerialNumbers final : public SerialNumberSource {
public:
    LineSerialNumbers(LineDatabase& line, const SettingsStore& settings);

    // The number the next Take would hand out. Raises LineUnreachable while
    // the line is away.
    std::string Next() const override;

    // False while the line is away (see LineDatabase::Available).
    bool Available() override { return line_.Available(); }

    // Reserves the next number of the series for `port`, in one transaction,
    // before the number goes anywhere. Raises SerialSourceAway at once while
    // the line is away or when the connection breaks during the request
    // (nothing was reserved, or the reservation's outcome is unknown and its
    // number is a gap), SerialNumberError when the station's number cannot
    // start a series or the series is used up, the line's error when the
    // server refuses the request, and the store's error when the station's
    // settings cannot follow (the number then goes back).
    TakenNumber Take(const std::string& port) override;

    // A number this station took: its fate, kept in the spool at once and
    // written to the server when it answers. A number the device does not
    // hold goes back to the series and out again before any new one (so it
    // is never skipped); a number it may hold never goes out again. A number
    // of an earlier run or another station that its device confirms
    // (Written) is written at once, or raises SerialSourceAway while the
    // line is away. Any other step raises SerialStepError.
    SerialFate Settle(const std::string& number, SerialFate fate) override;

    // From the line: a number reserved or unconfirmed. Raises
    // SerialSourceAway while the line is away: a device holding it then
    // waits for a later hello rather than being judged without the line.
    bool Unconfirmed(const std::string& number) const override;

    // Joins the series of the station's stored number without taking one (a
    // front end's start, to show where the series stands); returns its next
    // new number. Raises as Take does, but LineUnreachable while the line is
    // away.
    std::string Join();

private:
    // The station's number to start from, checked as a write checks it.
    std::string StartingNumber() const;
    void FollowLine(const std::string& prefix, int lineNext);

    LineDatabase& line_;
    const SettingsStore& settings_;
    std::mutex mutex_;
    std::map<std::string, Reservation> open_;  // numbers taken whose fate is not known yet
    std::set<std::string> marked_;             // series marked as provisioned through the line
    std::set<std::string> confirmInDoubt_;     // confirmed when the connection broke
};

}  // namespace comflash::line

// The one owner of serial numbers in a process: it takes them from the
// source, hands each port the number for its next device, settles every
// number by what its device did, and keeps the tally the end of a run shows.
// The controller only says what the device did; front ends only show it.
//
// Each port takes its own number when a device says hello and it holds
// none, so ports provision in parallel and no port's hello waits on another
// port's device. The source is asked on a thread of its own (NumberDesk):
// the thread that serves the ports never waits for a store lock or the line
// database. A number a port took and never sent (its device held one
// already) stays that port's for its next device; at Close it goes back when
// it still can, and is otherwise recorded as skipped.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/number_desk.h"
#include "app/serial_number_source.h"
#include "protocol/identity_reply.h"
#include "serial/dispatcher.h"

namespace comflash {

class PortView;

// A number taken for a device and what became of it.
struct SettledNumber {
    std::string number;
    SerialFate fate;
};

// What the device did with the record it was sent.
enum class SerialAnswer {
    Acknowledged,     // status 1 (and, when read back, the device holds it)
    Refused,          // another status
    Unanswered,       // no answer understood: the device may hold it
    ReadBackDiffers,  // acknowledged, yet the device holds something else
};

// What provisioning does with a device once it has said what it holds.
enum class Verdict {
    Write,       // it holds no number (or --overwrite-sn): the port's number goes to it
    Confirmed,   // it holds a number whose fate was unknown: that number is written; good
    LeaveAlone,  // it holds another number: neither written nor counted
    Unreadable,  // its number cannot be read: not written, counted failed
    PutOff,      // the source cannot tell now: not written, not counted; its next hello
};

struct Judgement {
    Verdict verdict = Verdict::Write;
    std::string why;  // Unreadable, PutOff: the reason
};

class SerialNumbers {
public:
    // Numbers come from `source`; answers of the desk run on `owner`'s thread.
    SerialNumbers(SerialNumberSource& source, Dispatcher& owner);
    SerialNumbers(const SerialNumbers&) = delete;
    SerialNumbers& operator=(const SerialNumbers&) = delete;

    SerialNumberSource& Source() { return source_; }

    // A number that ended without a device and could not go back (held by
    // a port at its Close while a later one was taken): where its record
    // goes, so that the gap is named. Set before ports open.
    using UnusedNumberRecord = std::function<void(const std::string& port, const SettledNumber&)>;
    void OnUnusedNumber(UnusedNumberRecord record) { unusedRecord_ = std::move(record); }
    // A rule every write obeys beside the number's own checks (the line's
    // standalone guard); raises SerialNumberError. Set before ports open.
    using WriteGuard = std::function<void(const std::string& number)>;
    void GuardWrites(WriteGuard guard) { guard_ = std::move(guard); }

    // The stored next number, checked as a write needs it: raises
    // SerialNumberError for one that cannot be written, with what to do.
    std::string CheckedNext() const;

    // The number the next take would hand out, asked of the source on the
    // desk's thread (the line database is a round trip away); `then` gets it,
    // or the error's text, on the owner's thread.
    void FetchNext(std::function<void(const std::string& next, const std::string& error)> then);

    // "serial numbers written: A to B (n); refused: r; unconfirmed: X, Y
    // (set these devices aside); skipped: Z (gaps, never handed out)"; only
    // numbers still unconfirmed at the end; empty when none was taken.
    std::string Summary() const;
    bool AnyUnconfirmed() const { return !unconfirmed_.empty(); }

    // The end of a run: every change handed to the source has been made and
    // its answer run (records of numbers given back at Close included).
    void Finish() { desk_.Finish(); }

private:
    friend class PortNumbers;

    void Note(const SettledNumber& settled);
    // A device that already holds `number` and is left alone: true the first
    // time in this run, so it is said and recorded once.
    bool FirstSighting(const std::string& number) { return sighted_.insert(number).second; }
    // Gives a number that never left back to the source; one that cannot go
    // back is skipped, and goes to the record of unused numbers.
    void GiveBack(const std::string& port, const std::string& number);

    SerialNumberSource& source_;
    UnusedNumberRecord unusedRecord_;
    WriteGuard guard_;
    std::vector<std::string> written_;
    std::vector<std::string> unconfirmed_;
    std::vector<std::string> skipped_;
    int refused_ = 0;
    int notSent_ = 0;
    std::set<std::string> sighted_;
    // Last: its thread ends before anything it may touch.
    NumberDesk desk_;
};

// One port's part: the number it holds for its next device, the one on its
// way to the device, and the number and fate of the device being served.
class PortNumbers {
public:
    PortNumbers(SerialNumbers& owner, PortView& view);
    ~PortNumbers();
    PortNumbers(const PortNumbers&) = delete;
    PortNumbers& operator=(const PortNumbers&) = delete;

    // The port opens and closes. At Close a number held goes back when it
    // still can, and is skipped otherwise; either way it is recorded.
    void Opened(std::string port);
    void Closed();

    // Writing serial numbers into every device instead of updating it.
    void SetProvisioning(bool on) { provisioning_ = on; }
    bool Provisioning() const { return provisioning_; }

    // A device said hello. True when it may be answered: always when not
    // provisioning, else once the port holds a number. Otherwise a number is
    // asked for (unless the source is away: then the hello just goes
    // unanswered), and `whenHeld` runs once it is there.
    bool ReadyForDevice(std::function<void()> whenHeld);

    // The device said what it holds; `then` gets what to do with it, on the
    // owner's thread (the source may have to be asked). With `overwrite`, a
    // device holding a number not known to the source is written all the
    // same.
    void Judge(const DeviceSerial& device, bool overwrite, std::function<void(Judgement)> then);

    // The window's Write SN: the port's number for a write started by hand,
    // taken now when it holds none; `send` runs on the owner's thread once
    // the port holds it (and sends it with SendHeld).
    void TakeForWrite(std::function<void()> send);

    // The number held goes to the device now.
    std::string SendHeld();
    // What the device did with the number sent; settles it and returns its fate.
    SerialFate Answered(SerialAnswer answer);
    // A device left alone holds `number`: said and recorded once per run.
    bool FirstSighting(const std::string& number) { return owner_.FirstSighting(number); }

    // The device's run is over: the number it got and its fate, if any.
    std::optional<SettledNumber> EndDevice();

    SerialNumbers& Owner() { return owner_; }
    const std::string& Held() const { return held_; }
    const std::string& Sent() const { return sent_; }

private:
    void AskForNumber();
    void OnTaken(const TakenNumber& taken);

    SerialNumbers& owner_;
    PortView& view_;
    std::string port_;
    bool open_ = false;
    bool provisioning_ = false;
    bool taking_ = false;
    std::string held_;  // taken, not sent: for the next device
    std::string sent_;  // on its way to the device
    std::optional<SettledNumber> settled_;
    std::function<void()> whenHeld_;
    // Answers of the desk that come back after the port is gone do nothing.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace comflash

#include "app/serial_numbers.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "app/port_view.h"
#include "app/serial_number.h"

namespace comflash {
namespace {

std::string Joined(const std::vector<std::string>& numbers) {
    std::string text;
    for (const auto& number : numbers)
        text += (text.empty() ? "" : ", ") + number;
    return text;
}

SerialFate FateOf(SerialAnswer answer) {
    switch (answer) {
        case SerialAnswer::Acknowledged:
            return SerialFate::Written;
        case SerialAnswer::Refused:
            return SerialFate::Refused;
        case SerialAnswer::Unanswered:
        case SerialAnswer::ReadBackDiffers:
            return SerialFate::Unconfirmed;
    }
    return SerialFate::Unconfirmed;
}

// Runs a step on the owner's thread; an error it raised reaches the view.
std::function<void()> ReportFailure(std::weak_ptr<bool> alive, PortView* view,
                                    std::exception_ptr error) {
    return [alive = std::move(alive), view, error] {
        if (alive.expired() || view == nullptr)
            return;
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            view->StepFailed(e);
        }
    };
}

}  // namespace

const char* SerialFateName(SerialFate fate) {
    switch (fate) {
        case SerialFate::Written:
            return "written";
        case SerialFate::Refused:
            return "refused";
        case SerialFate::Unconfirmed:
            return "unconfirmed";
        case SerialFate::NotSent:
            return "not-sent";
        case SerialFate::Skipped:
            return "skipped";
    }
    return "unknown";
}

SerialNumbers::SerialNumbers(SerialNumberSource& source, Dispatcher& owner)
    : source_(source), desk_(owner) {}

std::string SerialNumbers::CheckedNext() const {
    const std::string next = source_.Next();
    CheckStoredSerialNumber(next);
    if (guard_)
        guard_(next);
    return next;
}

void SerialNumbers::FetchNext(
    std::function<void(const std::string& next, const std::string& error)> then) {
    desk_.Run([this, then = std::move(then)]() -> std::function<void()> {
        std::string next;
        std::string error;
        try {
            next = source_.Next();
        } catch (const std::exception& e) {
            error = e.what();
        }
        return [then, next, error] { then(next, error); };
    });
}

void SerialNumbers::Note(const SettledNumber& settled) {
    switch (settled.fate) {
        case SerialFate::Written:
            written_.push_back(settled.number);
            // Confirmed in this run: no longer a device to set aside.
            std::erase(unconfirmed_, settled.number);
            break;
        case SerialFate::Refused:
            ++refused_;
            break;
        case SerialFate::Unconfirmed:
            unconfirmed_.push_back(settled.number);
            break;
        case SerialFate::NotSent:
            ++notSent_;
            break;
        case SerialFate::Skipped:
            skipped_.push_back(settled.number);
            break;
    }
}

std::string SerialNumbers::Summary() const {
    if (written_.empty() && unconfirmed_.empty() && skipped_.empty() && refused_ == 0 &&
        notSent_ == 0)
        return {};
    // Ports write at once: the numbers finish in any order.
    std::vector<std::string> written = written_;
    std::sort(written.begin(), written.end());
    std::string text = "serial numbers written: ";
    if (written.empty())
        text += "none";
    else if (written.size() == 1)
        text += written.front();
    else
        text += written.front() + " to " + written.back();
    text += " (" + std::to_string(written.size()) + "); refused: " + std::to_string(refused_);
    if (!unconfirmed_.empty())
        text += "; unconfirmed: " + Joined(unconfirmed_) + " (set these devices aside)";
    if (!skipped_.empty())
        text += "; skipped: " + Joined(skipped_) + " (gaps: never in a device)";
    return text;
}

void SerialNumbers::GiveBack(const std::string& port, const std::string& number) {
    desk_.Run([this, port, number]() -> std::function<void()> {
        SerialFate fate = SerialFate::Skipped;
        try {
            fate = source_.Settle(number, SerialFate::NotSent);
        } catch (const std::exception&) {
            // Not given back, whatever went wrong: a gap, named as one.
        }
        return [this, port, settled = SettledNumber{number, fate}] {
            Note(settled);
            // A number back in the series is recorded when it goes out
            // again; one that could not go back is a gap, named here.
            if (settled.fate == SerialFate::Skipped && unusedRecord_)
                unusedRecord_(port, settled);
        };
    });
}

PortNumbers::PortNumbers(SerialNumbers& owner, PortView& view) : owner_(owner), view_(view) {}

PortNumbers::~PortNumbers() {
    *alive_ = false;
}

void PortNumbers::Opened(std::string port) {
    port_ = std::move(port);
    open_ = true;
}

void PortNumbers::Closed() {
    open_ = false;
    whenHeld_ = nullptr;
    if (!held_.empty())
        owner_.GiveBack(port_, std::exchange(held_, {}));
}

bool PortNumbers::ReadyForDevice(std::function<void()> whenHeld) {
    if (!provisioning_ || !held_.empty())
        return true;
    whenHeld_ = std::move(whenHeld);
    AskForNumber();
    return false;
}

void PortNumbers::TakeForWrite(std::function<void()> send) {
    whenHeld_ = std::move(send);
    if (!held_.empty()) {
        std::exchange(whenHeld_, nullptr)();
        return;
    }
    AskForNumber();
}

void PortNumbers::AskForNumber() {
    if (taking_ || !owner_.Source().Available())
        return;
    taking_ = true;
    owner_.desk_.Run([this, alive = std::weak_ptr<bool>(alive_), owner = &owner_,
                      port = port_]() -> std::function<void()> {
        try {
            TakenNumber taken = owner->Source().Take(port);
            return [this, alive, owner, port, taken] {
                if (alive.expired()) {
                    // The port went while its number was being taken.
                    owner->GiveBack(port, taken.number);
                    return;
                }
                OnTaken(taken);
            };
        } catch (const SerialSourceAway&) {
            // A pause: the next hello asks again.
            return [this, alive] {
                if (!alive.expired())
                    taking_ = false;
            };
        } catch (...) {
            return [this, alive, error = std::current_exception()] {
                if (alive.expired())
                    return;
                taking_ = false;
                ReportFailure(alive, &view_, error)();
            };
        }
    });
}

void PortNumbers::OnTaken(const TakenNumber& taken) {
    taking_ = false;
    held_ = taken.number;
    for (const auto& number : taken.passedOver) {
        view_.Notice("SN " + number +
                     " passed over: it is still taken or unconfirmed, so a device may hold it; "
                     "check the device that got it");
    }
    if (!open_) {
        Closed();
        return;
    }
    if (whenHeld_)
        std::exchange(whenHeld_, nullptr)();
}

void PortNumbers::Judge(const DeviceSerial& device, bool overwrite,
                        std::function<void(Judgement)> then) {
    switch (device.kind) {
        case DeviceSerialKind::Unknown:
            then({Verdict::Unreadable, device.reason});
            return;
        case DeviceSerialKind::None:
            then({Verdict::Write, {}});
            return;
        case DeviceSerialKind::Number:
            break;
    }
    // A device holding a number whose fate was unknown is the device that
    // took it: it confirms it. The source may have to be asked.
    owner_.desk_.Run([this, alive = std::weak_ptr<bool>(alive_), owner = &owner_,
                      number = device.number, overwrite,
                      then = std::move(then)]() -> std::function<void()> {
        Judgement judgement{overwrite ? Verdict::Write : Verdict::LeaveAlone, {}};
        std::exception_ptr error;
        try {
            if (owner->Source().Unconfirmed(number)) {
                owner->Source().Settle(number, SerialFate::Written);
                judgement.verdict = Verdict::Confirmed;
            }
        } catch (const SerialSourceAway& away) {
            judgement = {Verdict::PutOff, away.what()};
        } catch (...) {
            error = std::current_exception();
        }
        return [this, alive, owner, number, judgement, error, then] {
            if (judgement.verdict == Verdict::Confirmed)
                owner->Note({number, SerialFate::Written});
            if (alive.expired())
                return;
            if (error) {
                ReportFailure(alive, &view_, error)();
                return;
            }
            if (judgement.verdict == Verdict::Confirmed)
                settled_ = SettledNumber{number, SerialFate::Written};
            then(judgement);
        };
    });
}

std::string PortNumbers::SendHeld() {
    sent_ = std::exchange(held_, {});
    return sent_;
}

SerialFate PortNumbers::Answered(SerialAnswer answer) {
    const SettledNumber settled{std::exchange(sent_, {}), FateOf(answer)};
    settled_ = settled;
    owner_.Note(settled);
    owner_.desk_.Run([this, alive = std::weak_ptr<bool>(alive_), owner = &owner_,
                      settled]() -> std::function<void()> {
        try {
            owner->Source().Settle(settled.number, settled.fate);
            return {};
        } catch (...) {
            return ReportFailure(alive, &view_, std::current_exception());
        }
    });
    return settled.fate;
}

std::optional<SettledNumber> PortNumbers::EndDevice() {
    return std::exchange(settled_, std::nullopt);
}

}  // namespace comflash

#include "app/serial_provisioning.h"

namespace comflash {
namespace {

std::string Joined(const std::vector<std::string>& numbers) {
    std::string text;
    for (const auto& number : numbers)
        text += (text.empty() ? "" : ", ") + number;
    return text;
}

}  // namespace

bool SerialProvisioning::TryTurn(const void* port) {
    if (turn_ != nullptr && turn_ != port)
        return false;
    turn_ = port;
    return true;
}

void SerialProvisioning::EndTurn(const void* port) {
    if (turn_ == port)
        turn_ = nullptr;
}

void SerialProvisioning::Note(const std::string& number, SerialFate fate) {
    switch (fate) {
        case SerialFate::Written:
            written_.push_back(number);
            break;
        case SerialFate::Refused:
            ++refused_;
            break;
        case SerialFate::Unconfirmed:
            unconfirmed_.push_back(number);
            break;
        case SerialFate::NotSent:
            ++notSent_;
            break;
    }
}

std::string SerialProvisioning::Summary() const {
    if (written_.empty() && unconfirmed_.empty() && refused_ == 0 && notSent_ == 0)
        return {};
    std::string text = "serial numbers written: ";
    if (written_.empty())
        text += "none";
    else if (written_.size() == 1)
        text += written_.front();
    else
        text += written_.front() + " to " + written_.back();
    text += " (" + std::to_string(written_.size()) + "); refused: " + std::to_string(refused_);
    if (!unconfirmed_.empty())
        text += "; unconfirmed: " + Joined(unconfirmed_) + " (set these devices aside)";
    return text;
}

}  // namespace comflash

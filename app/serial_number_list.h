// Lists of serial numbers kept in one settings value ("Taken", "Unconfirmed",
// "Series"): each number followed by a line break, so that every character a
// number may hold survives, a blank included. A value without a line break
// comes from an earlier version, which separated numbers with blanks.
#pragma once

#include <set>
#include <string>

namespace comflash {

using SerialNumberList = std::set<std::string>;

SerialNumberList ReadSerialNumberList(const std::string& value);
std::string SerialNumberListText(const SerialNumberList& numbers);

}  // namespace comflash

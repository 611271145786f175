#include "serial/dispatcher.h"

namespace comflash {

Dispatcher::~Dispatcher() = default;

}  // namespace comflash

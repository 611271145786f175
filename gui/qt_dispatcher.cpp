#include "gui/qt_dispatcher.h"

#include <QMetaObject>
#include <utility>

namespace comflash {

void QtDispatcher::Post(std::function<void()> task) {
    QMetaObject::invokeMethod(&receiver_, std::move(task), Qt::QueuedConnection);
}

}  // namespace comflash

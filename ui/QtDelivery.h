#pragma once

#include "platform/Delivery.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>

namespace quarnex {

// Posts calls into the Qt event loop of the thread that made it: the bus sessions' results and
// questions reach the windows as queued calls, handled between two events like a click. Calls
// still queued when it is destroyed are dropped with it.
class QtDelivery : public Delivery {
public:
    void Post(std::function<void()> call) override {
        QMetaObject::invokeMethod(&context_, std::move(call), Qt::QueuedConnection);
    }

private:
    QObject context_;
};

} // namespace quarnex

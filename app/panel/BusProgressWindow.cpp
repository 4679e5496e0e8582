#include "app/panel/BusProgressWindow.h"

#include "comm/ModbusMaster.h"
#include "platform/Clock.h"
#include "res/AppTextIds.h"
#include "res/Strings.h"

#include <QCoreApplication>

namespace quarnex {

BusProgressWindow::BusProgressWindow(ModbusMaster& bus, QWidget* owner, std::string text)
    : bus_(bus), previous_(bus.GetTrafficObserver()), owner_(owner), text_(std::move(text)),
      startedMs_(MonotonicMs()) {
    bus_.SetTrafficObserver(this);
}

BusProgressWindow::~BusProgressWindow() {
    if (bus_.GetTrafficObserver() == this)
        bus_.SetTrafficObserver(previous_);
    if (window_)
        window_->Close();
}

void BusProgressWindow::OnAttempt(const TrafficRecord& record) {
    if (previous_)
        previous_->OnAttempt(record);
    if (record.attempt == 1)
        ++requests_;
    // Only once the transaction is over: a retry still to come belongs to it.
    if (record.status != CommStatus::Ok || showAfterMs_ == kNever ||
        MonotonicMs() - startedMs_ < showAfterMs_)
        return;
    if (!window_) {
        window_ = std::make_unique<ProgressDialog>(ids::kBusWorkCaption);
        window_->SetUnknownLength();
        window_->SetText(text_);
        if (!window_->Create(owner_)) {
            window_.reset();
            return;
        }
    }
    window_->SetText(text_ + "\n" +
                     FormatText(Text(ids::kRequestsDone), {std::to_string(requests_)}));
    // Paint and window-system events only: a click waits until the operation is done, so
    // nothing new starts on the bus meanwhile.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace quarnex

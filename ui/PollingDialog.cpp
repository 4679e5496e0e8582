#include "ui/PollingDialog.h"

namespace quarnex {

void PollingDialog::done(int result) {
    StopPolling();
    QDialog::done(result);
}

} // namespace quarnex

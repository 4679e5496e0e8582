#pragma once

#include "ui/PollingWindow.h"

#include <QDialog>

namespace quarnex {

// A dialog that polls: its timer stops however the dialog closes (OK, Cancel, Escape, the title
// bar), so no tick reaches the bus after the window is gone.
class PollingDialog : public QDialog, public PollingWindow {
    Q_OBJECT
public:
    explicit PollingDialog(QWidget* parent = nullptr) : QDialog(parent) {}

public slots:
    void done(int result) override;
};

} // namespace quarnex

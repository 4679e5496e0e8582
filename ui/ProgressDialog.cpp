#include "ui/ProgressDialog.h"

#include "ui/UiText.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace quarnex {

ProgressDialog::ProgressDialog(int captionId) : QDialog(nullptr) {
    setWindowTitle(Ui(captionId));
    // The operation drives this window; closing it from its title bar would leave the owner
    // disabled, so it has no close button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    auto* layout = new QVBoxLayout(this);
    message_ = new QLabel(this);
    message_->setWordWrap(true);
    message_->setMinimumSize(320, 48);
    message_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(message_);
    percent_ = new QLabel(QStringLiteral(" 0 %"), this);
    percent_->setAlignment(Qt::AlignCenter);
    layout->addWidget(percent_);
    bar_ = new QProgressBar(this);
    bar_->setTextVisible(false);
    layout->addWidget(bar_);
}

ProgressDialog::~ProgressDialog() {
    GiveOwnerBack();
}

bool ProgressDialog::Create(QWidget* owner) {
    QWidget* top = owner ? owner->window() : nullptr;
    if (top && top->isEnabled()) {
        top->setEnabled(false);
        owner_ = top;
        disabledOwner_ = true;
    }
    ApplyRange();
    pos_ = low_;
    bar_->setValue(low_);
    // A window of its own rather than a child of the owner: a child window would be disabled
    // together with its owner.
    if (top) {
        adjustSize();
        const QRect o = top->frameGeometry();
        move(o.x() + (o.width() - width()) / 2, o.y() + (o.height() - height()) / 2);
    }
    show();
    if (!isVisible()) {
        GiveOwnerBack();
        return false;
    }
    return true;
}

void ProgressDialog::ApplyRange() {
    bar_->setRange(low_, high_ < low_ ? low_ : high_);
}

void ProgressDialog::SetRange(int low, int high) {
    low_ = low;
    high_ = high;
    ApplyRange();
}

void ProgressDialog::SetText(const std::string& text) {
    message_->setText(QString::fromStdString(text));
}

void ProgressDialog::SetPos(int pos) {
    QCoreApplication::processEvents();
    pos_ = pos;
    // The bar cannot show a position outside its range; it stops at the nearer end.
    const int shown = pos < bar_->minimum()   ? bar_->minimum()
                      : pos > bar_->maximum() ? bar_->maximum()
                                              : pos;
    bar_->setValue(shown);
    const QString text = QString::fromStdString(ProgressPercentText(pos, low_, high_));
    if (percent_->text() != text)
        percent_->setText(text);
}

void ProgressDialog::SetUnknownLength() {
    percent_->hide();
    bar_->setRange(0, 0);
}

void ProgressDialog::Close() {
    GiveOwnerBack();
    hide();
}

void ProgressDialog::GiveOwnerBack() {
    if (disabledOwner_ && owner_)
        owner_->setEnabled(true);
    disabledOwner_ = false;
    owner_ = nullptr;
}

QString ProgressDialog::PercentShown() const {
    return percent_->text();
}

QString ProgressDialog::MessageShown() const {
    return message_->text();
}

int ProgressDialog::BarValue() const {
    return bar_->value();
}

} // namespace quarnex

#include "app/edit/CValueEntryDlg.h"

#include "res/PanelTextIds.h"
#include "res/Strings.h"
#include "ui/DialogLayout.h"
#include "ui/UiText.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quarnex {

// ---- CHeaderDlg ----

CHeaderDlg::CHeaderDlg(const std::string& caption, const QString& initialText, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(caption.empty() ? Ui(ids::kHeaderCaption) : FromInstrument(caption));
    label_ = new QLabel(Ui(ids::kNewValueLabel), this);
    edit_ = new QLineEdit(initialText, this);
    ok_ = LayOutEntry(this, label_, edit_, &cancel_);
    edit_->setFocus();
    edit_->selectAll();
}

void CHeaderDlg::RefocusEdit(bool caretAtEnd) {
    edit_->setFocus();
    if (caretAtEnd)
        edit_->end(false);
    else
        edit_->selectAll();
}

bool CHeaderDlg::Finish(EntryResult result) {
    switch (result) {
    case EntryResult::Accepted:
        QDialog::accept();
        return true;
    case EntryResult::Rejected:
        QDialog::reject();
        return true;
    case EntryResult::StayOpen:
        break;
    }
    return false;
}

std::string CHeaderDlg::EditText() const {
    return edit_->text().toStdString();
}

// ---- CNumberDlg ----

CNumberDlg::CNumberDlg(NumericEntry& entry, QWidget* parent)
    : CHeaderDlg(entry.Caption(), QString::fromStdString(entry.InitialText()), parent),
      entry_(entry) {}

bool CNumberDlg::Run(NumericEntry& entry, QWidget* parent) {
    CNumberDlg dialog(entry, parent);
    return dialog.exec() == QDialog::Accepted;
}

void CNumberDlg::accept() {
    if (!Finish(entry_.Ok(EditText())))
        RefocusEdit();
}

void CNumberDlg::reject() {
    Finish(entry_.Cancel());
}

// ---- CTextDlg ----

CTextDlg::CTextDlg(TextEntry& entry, QWidget* parent)
    : CHeaderDlg(entry.Caption(), FromInstrument(entry.InitialText()), parent), entry_(entry) {
    edit_->setMaxLength(entry_.MaxLength());
}

bool CTextDlg::Run(TextEntry& entry, QWidget* parent) {
    CTextDlg dialog(entry, parent);
    return dialog.exec() == QDialog::Accepted;
}

void CTextDlg::accept() {
    if (!Finish(entry_.Ok(ToInstrument(edit_->text()))))
        RefocusEdit();
}

void CTextDlg::reject() {
    Finish(entry_.Cancel());
}

// ---- CAdjustDlg ----

CAdjustDlg::CAdjustDlg(AdjustmentEntry& entry, QWidget* parent)
    : CHeaderDlg(entry.Caption(), QString::number(entry.InitialValue()), parent), entry_(entry) {
    cancel_->setText(Ui(ids::kClose));
    apply_ = new QPushButton(Ui(ids::kApplyNow), this);
    apply_->setEnabled(false);
    apply_->setAutoDefault(false);
    AddBesideField(this, apply_);
    connect(apply_, &QPushButton::clicked, this, &CAdjustDlg::OnApply);
    connect(edit_, &QLineEdit::textEdited, this, [this] {
        entry_.Edited();
        apply_->setEnabled(entry_.ApplyEnabled());
    });
}

bool CAdjustDlg::Run(AdjustmentEntry& entry, QWidget* parent) {
    if (!entry.Create())
        return false;
    CAdjustDlg dialog(entry, parent);
    return dialog.exec() == QDialog::Accepted;
}

void CAdjustDlg::OnApply() {
    entry_.Apply(EditText());
    apply_->setEnabled(entry_.ApplyEnabled());
    RefocusEdit(true);
}

void CAdjustDlg::accept() {
    if (!Finish(entry_.Ok(EditText()))) {
        apply_->setEnabled(entry_.ApplyEnabled());
        RefocusEdit(true);
    }
}

void CAdjustDlg::reject() {
    Finish(entry_.Close());
}

// ---- CShuntDlg ----

CShuntDlg::CShuntDlg(ShuntEntry& entry, QWidget* parent)
    : CHeaderDlg(entry.Caption(), QString::fromStdString(entry.InitialText()), parent),
      entry_(entry) {
    connect_ = new QPushButton(Ui(ids::kConnectShunt), this);
    connect_->setAutoDefault(false);
    AddBesideField(this, connect_);
    connect(connect_, &QPushButton::clicked, this, &CShuntDlg::OnConnect);
}

bool CShuntDlg::Run(ShuntEntry& entry, QWidget* parent) {
    CShuntDlg dialog(entry, parent);
    dialog.StartTimer();
    return dialog.exec() == QDialog::Accepted;
}

void CShuntDlg::Render() {
    if (entry_.Measuring())
        edit_->setText(QString::fromStdString(entry_.MeasuredText()));
}

void CShuntDlg::OnConnect() {
    if (!entry_.Connect())
        return;
    connect_->setEnabled(false);
    edit_->setReadOnly(true);
    edit_->setText(QString::fromStdString(entry_.MeasuredText()));
    ok_->setFocus();
}

void CShuntDlg::accept() {
    const EntryResult result = entry_.Ok(EditText());
    if (result != EntryResult::StayOpen)
        StopPolling();
    if (!Finish(result) && !entry_.Measuring())
        RefocusEdit();
}

void CShuntDlg::reject() {
    StopPolling();
    Finish(entry_.Cancel());
}

// ---- CChoiceDlg ----

CChoiceDlg::CChoiceDlg(ChoiceEntry& entry, QWidget* parent) : QDialog(parent), entry_(entry) {
    setWindowTitle(entry.Caption().empty() ? Ui(ids::kChoiceCaption)
                                           : FromInstrument(entry.Caption()));
    auto* label = new QLabel(Ui(ids::kNewValueLabel), this);
    list_ = new QComboBox(this);
    for (const std::string& item : entry.Items())
        list_->addItem(FromInstrument(item));
    list_->setCurrentIndex(entry.Preselected());
    ok_ = LayOutEntry(this, label, list_);
    list_->setFocus();
}

bool CChoiceDlg::Run(ChoiceEntry& entry, QWidget* parent) {
    CChoiceDlg dialog(entry, parent);
    return dialog.exec() == QDialog::Accepted;
}

void CChoiceDlg::accept() {
    switch (entry_.Ok(list_->currentIndex())) {
    case EntryResult::Accepted:
        QDialog::accept();
        break;
    case EntryResult::Rejected:
        QDialog::reject();
        break;
    case EntryResult::StayOpen:
        list_->setFocus();
        break;
    }
}

void CChoiceDlg::reject() {
    entry_.Cancel();
    QDialog::reject();
}

// ---- CSelectInstrumentDlg ----

CSelectInstrumentDlg::CSelectInstrumentDlg(AddressEntry& entry, QWidget* parent)
    : QDialog(parent), entry_(entry) {
    setWindowTitle(Ui(ids::kSelectInstrumentCaption));
    auto* label = new QLabel(Ui(ids::kEnterAddressLabel), this);
    edit_ = new QLineEdit(this);
    edit_->setMaxLength(3);
    ok_ = LayOutEntry(this, label, edit_);
    edit_->setFocus();
}

bool CSelectInstrumentDlg::Run(AddressEntry& entry, QWidget* parent) {
    CSelectInstrumentDlg dialog(entry, parent);
    return dialog.exec() == QDialog::Accepted;
}

void CSelectInstrumentDlg::accept() {
    if (entry_.Ok(edit_->text().toStdString()) == EntryResult::Accepted) {
        QDialog::accept();
        return;
    }
    edit_->setFocus();
    edit_->selectAll();
}

void CSelectInstrumentDlg::reject() {
    entry_.Cancel();
    QDialog::reject();
}

} // namespace quarnex

#include "app/CInstrToViewPropSheet.h"

#include "app/CInstrumentSearchDlg.h"
#include "res/MonitorTextIds.h"
#include "ui/UiText.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <iterator>
#include <type_traits>

namespace quarnex {

CInstrToViewAddressPage::CInstrToViewAddressPage(int first, int last, QWidget* parent)
    : QWidget(parent), first_(first), last_(last) {
    auto* grid = new QGridLayout(this);
    for (int a = first; a <= last; ++a) {
        auto* box = new QCheckBox(QString::number(a), this);
        const int i = a - first;
        grid->addWidget(box, i % 10, i / 10); // columns of ten, as on a numbered board
        boxes_.push_back(box);
    }
    grid->setRowStretch(10, 1);
}

QCheckBox* CInstrToViewAddressPage::Box(int address) const {
    return address >= first_ && address <= last_ ? boxes_[static_cast<size_t>(address - first_)]
                                                 : nullptr;
}

void CInstrToViewAddressPage::Show(const InstrToViewSheet& sheet) {
    for (int a = first_; a <= last_; ++a)
        Box(a)->setChecked(sheet.Selected(a));
}

void CInstrToViewAddressPage::ReadBack(InstrToViewSheet& sheet) const {
    for (int a = first_; a <= last_; ++a)
        sheet.SetSelected(a, Box(a)->isChecked());
}

CInstrToViewPropPage4::CInstrToViewPropPage4(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    search_ = new QPushButton(Ui(ids::kSearchButton), this);
    auto* row = new QHBoxLayout;
    row->addWidget(search_);
    row->addStretch();
    layout->addLayout(row);
    auto* result = new QHBoxLayout;
    found_ = new QLineEdit(QStringLiteral("0"), this);
    found_->setReadOnly(true);
    found_->setMaximumWidth(60);
    found_->setAlignment(Qt::AlignRight);
    result->addWidget(found_);
    result->addWidget(new QLabel(Ui(ids::kFoundCountLabel), this));
    result->addStretch();
    layout->addLayout(result);
    layout->addStretch();
    connect(search_, &QPushButton::clicked, this, &CInstrToViewPropPage4::SearchRequested);
}

void CInstrToViewPropPage4::Show(const InstrToViewSheet& sheet) {
    found_->setText(QString::number(sheet.FoundCount()));
}

CInstrToViewPropSheet::CInstrToViewPropSheet(ModbusMaster& bus, const AddressFlags& selection,
                                             QWidget* parent)
    : QDialog(parent), bus_(bus), sheet_(selection) {
    setWindowTitle(Ui(ids::kInstrumentsToViewCaption));
    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    struct AddressRange {
        int first, last, title;
    };
    static constexpr AddressRange kRanges[] = {{1, 100, ids::kAddressPage1},
                                               {101, 200, ids::kAddressPage2},
                                               {201, 247, ids::kAddressPage3}};
    static_assert(std::size(kRanges) == std::extent_v<decltype(pages_)>);
    for (size_t i = 0; i < std::size(kRanges); ++i) {
        pages_[i] = new CInstrToViewAddressPage(kRanges[i].first, kRanges[i].last, this);
        tabs_->addTab(pages_[i], Ui(kRanges[i].title));
    }
    searchPage_ = new CInstrToViewPropPage4(this);
    tabs_->addTab(searchPage_, Ui(ids::kSearchPageTitle));
    layout->addWidget(tabs_);
    pages_[0]->Show(sheet_);
    searchPage_->Show(sheet_);
    connect(tabs_, &QTabWidget::currentChanged, this, &CInstrToViewPropSheet::PageChanged);
    connect(searchPage_, &CInstrToViewPropPage4::SearchRequested, this,
            &CInstrToViewPropSheet::RunSearch);

    // No Apply: the selection changes only with OK.
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(Ui(ids::kMonitorOk), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(Ui(ids::kMonitorCancel), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CInstrToViewPropSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CInstrToViewPropSheet::reject);
    layout->addWidget(buttons);
}

void CInstrToViewPropSheet::PageChanged(int index) {
    if (current_ < 3)
        pages_[current_]->ReadBack(sheet_);
    current_ = index;
    if (index < 3)
        pages_[index]->Show(sheet_);
    else
        searchPage_->Show(sheet_);
}

void CInstrToViewPropSheet::RunSearch() {
    CInstrumentSearchDlg dialog(bus_, this);
    if (profile_ && prompter_)
        dialog.OfferSettingsSearch(*profile_, *prompter_, sheet_.Selection());
    const bool handled = searchHook_ && searchHook_(dialog);
    const int result = handled ? dialog.result() : dialog.exec();
    if (result == QDialog::Accepted)
        sheet_.SearchStopped(dialog.Search());
    else
        sheet_.SearchCancelled();
    searchPage_->Show(sheet_);
}

void CInstrToViewPropSheet::accept() {
    if (current_ < 3)
        pages_[current_]->ReadBack(sheet_);
    QDialog::accept();
}

} // namespace quarnex

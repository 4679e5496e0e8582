#include "app/setup/CKelSetUpPropSheet.h"

#include "app/panel/CValueEntryDlg.h"
#include "edit/ValueEntry.h"
#include "res/PanelTextIds.h"
#include "ui/UiText.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace quarnex {

bool RunRowEditor(const EditRequest& request, ModbusMaster& bus, int address, Prompter& prompter,
                  QWidget* parent) {
    switch (request.editor) {
    case EditorKind::Choice: {
        ChoiceEntry entry(bus, address, request.reg, request.caption, request.firstChoice,
                          request.finalChoice, request.currentIndex, prompter);
        return CChoiceDlg::Run(entry, parent);
    }
    case EditorKind::Adjust: {
        AdjustmentEntry entry(bus, address, request.reg, request.endRegister, request.caption,
                              request.currentInteger, prompter);
        return CAdjustDlg::Run(entry, parent);
    }
    case EditorKind::Number:
    case EditorKind::Code:
    case EditorKind::Special:
        break;
    }
    NumericEntry entry(bus, address, request.reg, request.caption, request.currentText, prompter);
    return CNumberDlg::Run(entry, parent);
}

CKelSetUpPropSheet::CKelSetUpPropSheet(ModbusMaster& bus, int address, SheetMode mode,
                                       Prompter& prompter, QWidget* parent)
    : QDialog(parent), bus_(bus), prompter_(prompter), logic_(bus, address, mode, prompter) {
    editor_ = [this](const EditRequest& request, QWidget* owner) {
        return RunRowEditor(request, bus_, logic_.Address(), prompter_, owner);
    };
    // No close box: the sheet is left through OK or Cancel (a close request still runs the
    // Cancel check).
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QString::fromStdString(logic_.Caption()));

    tabs_ = new QTabWidget(this);
    ok_ = new QPushButton(Ui(ids::kOk), this);
    cancel_ = new QPushButton(Ui(ids::kCancel), this);
    ok_->setDefault(true);
    cancel_->setAutoDefault(false);
    cancel_->setVisible(logic_.CancelShown());
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_, 1);
    layout->addLayout(buttons);

    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

CKelSetUpPropSheet::~CKelSetUpPropSheet() {
    StopPages();
}

SheetMode CKelSetUpPropSheet::ModeOf(InstrumentPanel::SheetMode mode) {
    switch (mode) {
    case InstrumentPanel::SheetMode::ShowSetup:
        return {false, false, false};
    case InstrumentPanel::SheetMode::EditSetup:
        return {true, false, false};
    case InstrumentPanel::SheetMode::EditBatching:
        return {true, true, false};
    case InstrumentPanel::SheetMode::EditRecipes:
        return {true, false, true};
    }
    return {};
}

bool CKelSetUpPropSheet::Start() {
    if (!logic_.Create())
        return false;
    for (PageId id : logic_.Pages())
        tabs_->addTab(MakePage(id), Ui(SetupPage(id).title));
    setWindowTitle(QString::fromStdString(logic_.Caption()));
    connect(tabs_, &QTabWidget::currentChanged, this, &CKelSetUpPropSheet::OnTabChanged);
    if (tabs_->count() > 0)
        OnTabChanged(0);
    return true;
}

CKelSetUpPage* CKelSetUpPropSheet::MakePage(PageId id) {
    // Every page is the one widget with its descriptor's rows. A page with a live part is made
    // here by its own class derived from CKelSetUpPage.
    return new CKelSetUpPage(
        bus_, logic_.Setup(), SetupPage(id), logic_.Mode().edit, prompter_,
        [this](const EditRequest& request, QWidget* owner) { return editor_(request, owner); });
}

void CKelSetUpPropSheet::Run(QWidget* parent, ModbusMaster& bus, int address,
                             InstrumentPanel::SheetMode mode, Prompter& prompter) {
    CKelSetUpPropSheet sheet(bus, address, ModeOf(mode), prompter, parent);
    if (sheet.Start())
        sheet.exec();
}

CKelSetUpPage* CKelSetUpPropSheet::Page(int tab) const {
    return qobject_cast<CKelSetUpPage*>(tabs_->widget(tab));
}

CKelSetUpPage* CKelSetUpPropSheet::CurrentPage() const {
    return Page(tabs_->currentIndex());
}

void CKelSetUpPropSheet::OnTabChanged(int tab) {
    if (CKelSetUpPage* old = Page(activeTab_))
        old->Deactivate();
    activeTab_ = tab;
    if (CKelSetUpPage* page = Page(tab))
        page->Activate();
}

void CKelSetUpPropSheet::StopPages() {
    for (int i = 0; i < tabs_->count(); ++i)
        if (CKelSetUpPage* page = Page(i))
            page->Deactivate();
}

void CKelSetUpPropSheet::accept() {
    // The check's questions run event loops of their own: no page may poll meanwhile.
    CKelSetUpPage* current = CurrentPage();
    if (current)
        current->Deactivate();
    if (logic_.OkCheck()) {
        StopPages();
        QDialog::accept();
    } else if (current) {
        current->Activate();
    }
}

void CKelSetUpPropSheet::reject() {
    CKelSetUpPage* current = CurrentPage();
    if (current)
        current->Deactivate();
    if (logic_.CancelCheck()) {
        StopPages();
        QDialog::reject();
    } else if (current) {
        current->Activate();
    }
}

} // namespace quarnex

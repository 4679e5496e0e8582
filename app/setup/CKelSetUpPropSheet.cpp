#include "app/setup/CKelSetUpPropSheet.h"

#include "app/batching/CBatchingDlgs.h"
#include "app/panel/BusProgressWindow.h"
#include "app/panel/CValueEntryDlg.h"
#include "app/setup/CCalibrationPage.h"
#include "edit/ValueEntry.h"
#include "res/AppTextIds.h"
#include "res/PanelTextIds.h"
#include "res/Strings.h"
#include "ui/UiText.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

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
    if (!CreateWithProgress())
        return false;
    for (PageId id : logic_.Pages())
        tabs_->addTab(MakePage(id), Ui(SetupPage(id).title));
    setWindowTitle(QString::fromStdString(logic_.Caption()));
    connect(tabs_, &QTabWidget::currentChanged, this, &CKelSetUpPropSheet::OnTabChanged);
    if (tabs_->count() > 0)
        OnTabChanged(0);
    FitToScreen();
    return true;
}

// Reading the whole set-up takes seconds on a slow line: the requests are counted in a progress
// window and the program repaints between them.
bool CKelSetUpPropSheet::CreateWithProgress() {
    BusProgressWindow progress(bus_, parentWidget(), Text(ids::kReadingTheSetup));
    return logic_.Create();
}

// The sheet opens as large as its largest page and its whole row of tabs, so no page scrolls and
// no tab hides behind scroll arrows; on a smaller screen it takes what the screen has.
void CKelSetUpPropSheet::FitToScreen() {
    QSize want = sizeHint(); // every page at its full height: the tab widget takes the largest
    const QMargins margins = layout()->contentsMargins();
    const int frame = 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    want.setWidth(std::max(want.width(), tabs_->tabBar()->sizeHint().width() + margins.left() +
                                             margins.right() + frame + 8));
    if (const QScreen* screen = this->screen()) {
        // Room for the window's title bar and frame.
        const QSize room = screen->availableGeometry().size() - QSize(16, 48);
        want = want.boundedTo(room);
    }
    resize(want.expandedTo(minimumSizeHint()));
}

QWidget* CKelSetUpPropSheet::MakePage(PageId id) {
    // Every page but these is the one widget with its descriptor's rows: Calibration adds its
    // live part to it; the activity and recipe pages lead to their own dialogs.
    const bool edit = logic_.Mode().edit;
    switch (id) {
    case PageId::Calibration:
        return new CCalibrationPage(bus_, logic_.Setup(), edit, prompter_);
    case PageId::Activities1:
        return new CActivitiesPage(bus_, logic_.Setup(), 1, edit, prompter_);
    case PageId::Activities2:
        return new CActivitiesPage(bus_, logic_.Setup(), 2, edit, prompter_);
    case PageId::Recipes:
        return new CRecipesPage(bus_, logic_.Setup(), edit, prompter_);
    default:
        break;
    }
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

void CKelSetUpPropSheet::ActivateTab(int tab) {
    QWidget* widget = tabs_->widget(tab);
    if (auto* page = qobject_cast<CKelSetUpPage*>(widget))
        page->Activate();
    else if (auto* activities = qobject_cast<CActivitiesPage*>(widget))
        activities->Activate();
    else if (auto* recipes = qobject_cast<CRecipesPage*>(widget))
        recipes->Activate();
}

void CKelSetUpPropSheet::DeactivateTab(int tab) {
    QWidget* widget = tabs_->widget(tab);
    if (auto* page = qobject_cast<CKelSetUpPage*>(widget))
        page->Deactivate();
    else if (auto* activities = qobject_cast<CActivitiesPage*>(widget))
        activities->Deactivate();
    else if (auto* recipes = qobject_cast<CRecipesPage*>(widget))
        recipes->Deactivate();
}

void CKelSetUpPropSheet::OnTabChanged(int tab) {
    // Only the current tab polls.
    DeactivateTab(activeTab_);
    activeTab_ = tab;
    ActivateTab(tab);
}

void CKelSetUpPropSheet::StopPages() {
    for (int i = 0; i < tabs_->count(); ++i)
        DeactivateTab(i);
}

void CKelSetUpPropSheet::accept() {
    // The check's questions run event loops of their own: no page may poll meanwhile.
    const int current = tabs_->currentIndex();
    DeactivateTab(current);
    if (logic_.OkCheck()) {
        StopPages();
        QDialog::accept();
    } else {
        ActivateTab(current);
    }
}

void CKelSetUpPropSheet::reject() {
    const int current = tabs_->currentIndex();
    DeactivateTab(current);
    if (logic_.CancelCheck()) {
        StopPages();
        QDialog::reject();
    } else {
        ActivateTab(current);
    }
}

} // namespace quarnex

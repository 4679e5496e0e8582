#include "app/setup/CKelSetUpPropSheet.h"

#include "app/panel/BusProgressWindow.h"
#include "app/setup/CCalibrationPage.h"
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
#include <optional>

namespace quarnex {

CKelSetUpPropSheet::CKelSetUpPropSheet(ModbusMaster& bus, int address, SheetMode mode,
                                       Prompter& prompter, QWidget* parent)
    : CKelSetUpPropSheet(std::make_unique<KelSetUpSheet>(bus, address, mode, prompter), parent) {}

CKelSetUpPropSheet::CKelSetUpPropSheet(std::unique_ptr<SetupSheet> logic, QWidget* parent)
    : QDialog(parent), logic_(std::move(logic)) {
    // No close box: the sheet is left through OK or Cancel (a close request still runs the
    // Cancel check).
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QString::fromStdString(logic_->Caption()));

    tabs_ = new QTabWidget(this);
    ok_ = new QPushButton(Ui(ids::kOk), this);
    cancel_ = new QPushButton(Ui(ids::kCancel), this);
    // No default button: OK and Cancel command the instrument (save, discard, leave batch
    // set-up), so Return in the sheet never reaches them; a focused ">>" takes it instead.
    ok_->setAutoDefault(false);
    cancel_->setAutoDefault(false);
    cancel_->setVisible(logic_->CancelShown());
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

bool CKelSetUpPropSheet::Start() {
    if (!CreateWithProgress())
        return false;
    for (PageId id : logic_->Pages())
        tabs_->addTab(MakePage(id), Ui(SetupPage(id).title));
    setWindowTitle(QString::fromStdString(logic_->Caption()));
    connect(tabs_, &QTabWidget::currentChanged, this, &CKelSetUpPropSheet::OnTabChanged);
    if (tabs_->count() > 0)
        OnTabChanged(0);
    FitToScreen();
    return true;
}

template <class T> T* CKelSetUpPropSheet::Add(T* page) {
    pages_.push_back(page);
    return page;
}

// Reading the whole set-up takes seconds on a slow line: the requests are counted in a progress
// window and the program repaints between them.
bool CKelSetUpPropSheet::CreateWithProgress() {
    std::optional<BusProgressWindow> progress;
    if (ModbusMaster* bus = logic_->Source().Bus())
        progress.emplace(*bus, parentWidget(), Text(ids::kReadingTheSetup));
    return logic_->Create();
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
    // Every page is the one widget with its descriptor's rows; Calibration adds its live part.
    SetupSource& source = logic_->Source();
    const bool edit = logic_->EditMode();
    if (id == PageId::Calibration)
        return Add(new CCalibrationPage(source, edit));
    return Add(new CKelSetUpPage(source, SetupPage(id), edit));
}

void CKelSetUpPropSheet::Run(QWidget* parent, ModbusMaster& bus, int address, SheetMode mode,
                             Prompter& prompter) {
    CKelSetUpPropSheet sheet(bus, address, mode, prompter, parent);
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
    if (tab >= 0 && static_cast<size_t>(tab) < pages_.size())
        pages_[static_cast<size_t>(tab)]->Activate();
}

void CKelSetUpPropSheet::DeactivateTab(int tab) {
    if (tab >= 0 && static_cast<size_t>(tab) < pages_.size())
        pages_[static_cast<size_t>(tab)]->Deactivate();
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
    if (logic_->OkCheck()) {
        StopPages();
        QDialog::accept();
    } else {
        ActivateTab(current);
    }
}

void CKelSetUpPropSheet::reject() {
    const int current = tabs_->currentIndex();
    DeactivateTab(current);
    if (logic_->CancelCheck()) {
        StopPages();
        QDialog::reject();
    } else {
        ActivateTab(current);
    }
}

} // namespace quarnex

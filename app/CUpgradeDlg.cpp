#include "app/CUpgradeDlg.h"

#include "res/UpgradeTextIds.h"
#include "ui/DialogLayout.h"
#include "ui/ProgressDialog.h"
#include "ui/UiText.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

namespace quarnex {

namespace {

// The summaries keep the instrument's line ends (CR LF); the text fields want plain line feeds.
QString Lines(const std::string& text) {
    QString lines = FromInstrument(text);
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return lines;
}

QPlainTextEdit* InfoField(QWidget* parent) {
    auto* field = new QPlainTextEdit(parent);
    field->setReadOnly(true);
    LookReadOnly(field);
    field->setFocusPolicy(Qt::NoFocus);
    field->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Three summary lines of up to about 90 characters, with a line to spare.
    const QFontMetrics metrics = field->fontMetrics();
    const int margins =
        2 * (field->frameWidth() + static_cast<int>(field->document()->documentMargin()));
    field->setFixedHeight(4 * metrics.lineSpacing() + margins);
    field->setMinimumWidth(90 * metrics.averageCharWidth() + margins);
    return field;
}

} // namespace

// The progress window of one upgrade: it opens when the procedure sets its range, so the question
// and the checks before it still come over the dialog, and closes when the procedure ended.
class CUpgradeDlg::WindowProgress : public Progress {
public:
    explicit WindowProgress(CUpgradeDlg& dialog) : dialog_(dialog) {}

    void SetRange(int low, int high) override {
        ProgressDialog* window = Window();
        window->SetRange(low, high);
        window->SetPos(low);
    }
    void SetPos(int pos) override { Window()->SetPos(pos); }
    void SetText(const std::string& text) override { Window()->SetText(text); }
    bool CancelAsked() const override { return false; }

private:
    ProgressDialog* Window() {
        if (!dialog_.progress_) {
            dialog_.progress_ = std::make_unique<ProgressDialog>();
            dialog_.progress_->Create(&dialog_);
            dialog_.qtProcedurePrompter_.SetOwner(dialog_.progress_.get());
        }
        return dialog_.progress_.get();
    }

    CUpgradeDlg& dialog_;
};

CUpgradeDlg::CUpgradeDlg(ModbusMaster& bus, Prompter& prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter), logic_(bus, prompter), qtChooser_(this),
      chooser_(&qtChooser_), procedurePrompter_(&qtProcedurePrompter_) {
    setWindowTitle(Ui(ids::kUpgradeTitle));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    auto label = [this](int id, QWidget* buddy) {
        auto* l = new QLabel(Ui(id), this);
        l->setBuddy(buddy);
        return l;
    };

    path_ = new QLineEdit(this);
    path_->setReadOnly(true);
    LookReadOnly(path_); // "Select file" chooses it
    select_ = new QPushButton(Ui(ids::kUpgradeSelectFile), this);
    grid->addWidget(label(ids::kUpgradeFileLabel, path_), 0, 0, 1, 2);
    grid->addWidget(path_, 1, 0);
    grid->addWidget(select_, 1, 1);

    fileInfo_ = InfoField(this);
    grid->addWidget(label(ids::kUpgradeFileInfoLabel, fileInfo_), 2, 0, 1, 2);
    grid->addWidget(fileInfo_, 3, 0);
    start_ = new QPushButton(Ui(ids::kUpgradeStart), this);
    grid->addWidget(start_, 3, 1, Qt::AlignTop);

    instrumentInfo_ = InfoField(this);
    grid->addWidget(label(ids::kUpgradeInstrumentInfoLabel, instrumentInfo_), 4, 0, 1, 2);
    grid->addWidget(instrumentInfo_, 5, 0);
    getInfo_ = new QPushButton(Ui(ids::kUpgradeGetInfo), this);
    grid->addWidget(getInfo_, 5, 1, Qt::AlignTop);
    layout->addLayout(grid);

    auto* bottom = new QHBoxLayout;
    address_ = new QLineEdit(QString::number(SoftwareUpgrade::kDefaultAddress), this);
    address_->setMaximumWidth(address_->fontMetrics().averageCharWidth() * 8);
    bottom->addWidget(label(ids::kUpgradeAddressLabel, address_));
    bottom->addWidget(address_);
    bottom->addStretch();
    defaultSetup_ = new QPushButton(Ui(ids::kUpgradeDefaultSetup), this);
    close_ = new QPushButton(Ui(ids::kUpgradeClose), this);
    bottom->addWidget(defaultSetup_);
    bottom->addWidget(close_);
    layout->addLayout(bottom);

    for (QPushButton* b : {select_, getInfo_, start_, defaultSetup_, close_})
        b->setAutoDefault(false);

    logic_.SetProcedureEnded([this] {
        progress_.reset(); // gives the dialog back
        qtProcedurePrompter_.SetOwner(nullptr);
    });
    connect(address_, &QLineEdit::textEdited, this, &CUpgradeDlg::AddressEdited);
    connect(address_, &QLineEdit::editingFinished, this, &CUpgradeDlg::AddressLeft);
    connect(select_, &QPushButton::clicked, this, [this] { Busy([this] { OnSelectFile(); }); });
    connect(getInfo_, &QPushButton::clicked, this, [this] { Busy([this] { OnGetInfo(); }); });
    connect(start_, &QPushButton::clicked, this, [this] { Busy([this] { OnStartUpgrade(); }); });
    connect(defaultSetup_, &QPushButton::clicked, this,
            [this] { Busy([this] { OnDefaultSetup(); }); });
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    Render();
}

CUpgradeDlg::~CUpgradeDlg() = default;

void CUpgradeDlg::Run(ModbusMaster& bus, Prompter& prompter, QWidget* parent) {
    CUpgradeDlg dialog(bus, prompter, parent);
    dialog.exec();
}

void CUpgradeDlg::Render() {
    if (path_->text() != FromInstrument(logic_.Path())) {
        path_->setText(FromInstrument(logic_.Path()));
        path_->end(false); // the file name is the part worth seeing
    }
    if (fileInfo_->toPlainText() != Lines(logic_.FileText()))
        fileInfo_->setPlainText(Lines(logic_.FileText()));
    if (instrumentInfo_->toPlainText() != Lines(logic_.InstrumentText()))
        instrumentInfo_->setPlainText(Lines(logic_.InstrumentText()));
}

bool CUpgradeDlg::Address(int& address) {
    if (logic_.ReadAddress(ToInstrument(address_->text()), address))
        return true;
    focus_ = address_;
    return false;
}

void CUpgradeDlg::AddressEdited() {
    // Information read from one address must not stand beside another.
    logic_.ClearInstrument();
    Render();
}

void CUpgradeDlg::AddressLeft() {
    // The refusal's box takes the focus away again; that must not check a second time.
    if (checking_)
        return;
    checking_ = true;
    int address = 0;
    focus_ = nullptr;
    if (!Address(address)) {
        address_->setFocus();
        address_->selectAll();
    }
    checking_ = false;
}

void CUpgradeDlg::Busy(const std::function<void()>& work) {
    const QList<QWidget*> controls = {address_, select_, getInfo_, start_, defaultSetup_, close_};
    // The boxes of the work take the focus from the address field: that is no leaving to check.
    checking_ = true;
    focus_ = nullptr;
    for (QWidget* w : controls)
        w->setEnabled(false);
    work();
    for (QWidget* w : controls)
        w->setEnabled(true);
    Render();
    if (focus_) {
        focus_->setFocus();
        if (focus_ == address_)
            address_->selectAll();
    }
    checking_ = false;
}

void CUpgradeDlg::OnSelectFile() {
    const auto path = chooser_->AskOpen(logic_.FileRequest());
    if (!path)
        return;
    focus_ = logic_.SelectFile(*path) ? start_ : select_;
}

void CUpgradeDlg::OnGetInfo() {
    int address = 0;
    if (!Address(address))
        return;
    WaitCursor wait(prompter_);
    logic_.ReadInstrument(address);
}

void CUpgradeDlg::OnStartUpgrade() {
    int address = 0;
    if (!Address(address))
        return;
    WindowProgress progress(*this);
    logic_.StartUpgrade(address, progress, *procedurePrompter_);
    progress_.reset(); // also when the procedure never started
}

void CUpgradeDlg::OnDefaultSetup() {
    int address = 0;
    if (!Address(address))
        return;
    logic_.MakeDefaultSetup(address);
}

} // namespace quarnex

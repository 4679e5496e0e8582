#include "app/check/CCheckDlg.h"

#include "app/check/CCheckReport.h"
#include "platform/Prompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>

namespace quarnex {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

std::function<bool(const std::string&, std::string&)>& TestWeightsControl() {
    static std::function<bool(const std::string&, std::string&)> control;
    return control;
}

// The demo's stand-in for a stack of test weights: puts a load on a simulated scale, or moves
// it to the centre or a corner of the platform.
class CTestWeightsWnd : public QDialog {
public:
    CTestWeightsWnd(int address, double load, QWidget* parent) : QDialog(parent) {
        setWindowTitle("Test weights");
        auto* form = new QFormLayout(this);
        address_ = new QSpinBox(this);
        address_->setRange(1, 247);
        address_->setValue(address);
        load_ = new QDoubleSpinBox(this);
        load_->setRange(-1e6, 1e6);
        load_->setDecimals(3);
        load_->setValue(load);
        position_ = new QComboBox(this);
        position_->addItems({"centre", "corner 1", "corner 2", "corner 3", "corner 4"});
        auto* place = new QPushButton("&Put on the scale", this);
        errors_ = new QLineEdit(this);
        errors_->setPlaceholderText("e.g. nonlinearity=0.05,hysteresis=0.02 (in % of capacity)");
        auto* apply = new QPushButton("Give the scale these &errors", this);
        message_ = new QLabel(this);
        // Named for the tests that drive the demo.
        load_->setObjectName("load");
        place->setObjectName("place");
        errors_->setObjectName("errors");
        apply->setObjectName("applyErrors");
        message_->setObjectName("message");
        form->addRow("Address:", address_);
        form->addRow("Load:", load_);
        form->addRow("Position:", position_);
        form->addRow(place);
        form->addRow("Scale errors:", errors_);
        form->addRow(apply);
        form->addRow(message_);
        // Return in a field never places a load: only a click or its own shortcut does. Return in
        // the errors field applies the errors.
        for (QPushButton* b : {place, apply}) {
            b->setAutoDefault(false);
            b->setDefault(false);
        }
        const auto applyErrors = [this] {
            Send("errors " + std::to_string(address_->value()) + " " +
                 errors_->text().trimmed().toStdString());
        };
        connect(apply, &QPushButton::clicked, this, applyErrors);
        connect(errors_, &QLineEdit::returnPressed, this, applyErrors);
        connect(place, &QPushButton::clicked, this, [this] {
            Send("load " + std::to_string(address_->value()) + " " +
                 QString::number(load_->value(), 'g', 10).toStdString());
        });
        connect(position_, &QComboBox::currentIndexChanged, this, [this](int index) {
            Send("position " + std::to_string(address_->value()) + " " + std::to_string(index));
        });
    }
    // The step's load, and its place on the platform for an eccentricity step.
    void SetStep(double load, int position) {
        load_->setValue(load);
        if (position >= 0) {
            const QSignalBlocker block(position_); // the load is moved by the user, not here
            position_->setCurrentIndex(position);
        }
    }
    QDoubleSpinBox* LoadBox() const { return load_; }
    QLineEdit* ErrorsEdit() const { return errors_; }

private:
    void Send(const std::string& line) {
        std::string error;
        message_->setText(TestWeightsControl()(line, error) ? QString() : Q(error));
    }
    QSpinBox* address_;
    QDoubleSpinBox* load_;
    QComboBox* position_;
    QLineEdit* errors_;
    QLabel* message_;
};

} // namespace

void CCheckDlg::SetTestWeights(std::function<bool(const std::string&, std::string&)> control) {
    TestWeightsControl() = std::move(control);
}

CCheckDlg::CCheckDlg(ModbusMaster& bus, int address, Prompter& prompter, QWidget* parent)
    : QDialog(parent), bus_(bus), address_(address), prompter_(prompter),
      check_(bus, address, prompter) {
    setWindowTitle("Check with test weights, address " + QString::number(address));
    auto* layout = new QVBoxLayout(this);
    identity_ = new QLabel(this);
    layout->addWidget(identity_);
    pages_ = new QStackedWidget(this);
    auto* plan = new QWidget(pages_);
    auto* run = new QWidget(pages_);
    BuildPlanPage(plan);
    BuildCheckPage(run);
    pages_->addWidget(plan);
    pages_->addWidget(run);
    layout->addWidget(pages_, 1);
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &CCheckDlg::OnTick);
    resize(900, 640);
}

CCheckDlg::~CCheckDlg() = default;

void CCheckDlg::BuildPlanPage(QWidget* page) {
    auto* form = new QFormLayout(page);
    loads_ = new QLineEdit("0,250,500,750,1000", page);
    down_ = new QCheckBox("and coming &down through the same loads", page);
    down_->setChecked(true);
    repeat_ = new QLineEdit(page);
    repeat_->setPlaceholderText("LOAD:N, e.g. 500:3 (empty: none)");
    eccentric_ = new QLineEdit(page);
    eccentric_->setPlaceholderText("LOAD:4 or LOAD:5, e.g. 330:5 (empty: none)");
    rule_ = new QComboBox(page);
    rule_->addItems({"Class I", "Class II", "Class III", "Class IIII", "Tolerance",
                     "Tolerance in % of the load"});
    rule_->setCurrentIndex(2);
    e_ = new QLineEdit(page);
    e_->setPlaceholderText("the display step");
    inService_ = new QCheckBox("in service (errors twice those at verification)", page);
    tolerance_ = new QLineEdit(page);
    tolerance_->setEnabled(false);
    technician_ = new QLineEdit(page);
    nextCheck_ = new QLineEdit(page);
    nextCheck_->setPlaceholderText("e.g. 2027-06-01");
    notes_ = new QLineEdit(page);
    weights_ = new QLineEdit(page);
    weights_->setPlaceholderText("ID, class F1, certificate C-123 of 2026-03-01");
    scale_ = new QLineEdit(page);
    scale_->setPlaceholderText("e.g. Silo 3 scale, hall B");
    asFound_ = new QLabel("As found (before calibration)", page);
    openRecord_ = new QPushButton("&As left on a saved record…", page);
    start_ = new QPushButton("&Start", page);
    start_->setDefault(true);
    form->addRow("Test &loads:", loads_);
    form->addRow("", down_);
    form->addRow("&Repeatability:", repeat_);
    form->addRow("&Eccentricity:", eccentric_);
    form->addRow("&Judged by:", rule_);
    form->addRow("e:", e_);
    form->addRow("", inService_);
    form->addRow("&Tolerance:", tolerance_);
    form->addRow("Te&chnician:", technician_);
    form->addRow("Next check:", nextCheck_);
    form->addRow("&Notes:", notes_);
    form->addRow("Test &weights:", weights_);
    form->addRow("&Scale:", scale_);
    auto* runRow = new QHBoxLayout;
    runRow->addWidget(asFound_, 1);
    runRow->addWidget(openRecord_);
    form->addRow("Check:", runRow);
    form->addRow(start_);
    connect(rule_, &QComboBox::currentIndexChanged, this, [this](int index) {
        const bool byClass = index < 4;
        e_->setEnabled(byClass);
        inService_->setEnabled(byClass);
        tolerance_->setEnabled(!byClass);
    });
    connect(start_, &QPushButton::clicked, this, &CCheckDlg::OnStart);
    connect(openRecord_, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, "Check record", QString(),
                                                          "Check records (*.txt);;All files (*)");
        if (!path.isEmpty())
            OpenAsFound(path.toStdString());
    });
}

void CCheckDlg::BuildCheckPage(QWidget* page) {
    auto* layout = new QVBoxLayout(page);
    instruction_ = new QLabel(page);
    QFont big = instruction_->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    instruction_->setFont(big);
    weight_ = new QLabel(page);
    weight_->setFont(big);
    state_ = new QLabel(page);
    status_ = new QLabel(page);
    auto* live = new QHBoxLayout;
    live->addWidget(weight_);
    live->addWidget(state_);
    live->addStretch(1);
    read_ = new QPushButton("&Read", page);
    skip_ = new QPushButton("S&kip", page);
    back_ = new QPushButton("&Back", page);
    testWeights_ = new QPushButton("Test &weights…", page);
    saveRecord_ = new QPushButton("Save re&cord…", page);
    savePdf_ = new QPushButton("Save &PDF…", page);
    print_ = new QPushButton("Pr&int…", page);
    auto* close = new QPushButton("Close", page);
    // Return reads, and only while Read is enabled: no other button takes it.
    for (QPushButton* b : {skip_, back_, testWeights_, saveRecord_, savePdf_, print_, close})
        b->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {read_, skip_, back_})
        buttons->addWidget(b);
    buttons->addStretch(1);
    for (QPushButton* b : {testWeights_, saveRecord_, savePdf_, print_, close})
        buttons->addWidget(b);
    table_ = new QTableWidget(0, 7, page);
    table_->setHorizontalHeaderLabels(
        {"step", "load", "reading", "error", "in e", "tolerance ±", "result"});
    table_->verticalHeader()->setVisible(false);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setFocusPolicy(Qt::NoFocus);
    // Every column visible at the dialog's size: the columns take the width of their text, and
    // the table is never narrower than they are.
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    chart_ = new QChart;
    chart_->legend()->setAlignment(Qt::AlignBottom);
    auto* view = new QChartView(chart_, page);
    view->setRenderHint(QPainter::Antialiasing);
    auto* results = new QHBoxLayout;
    results->addWidget(table_, 0);
    results->addWidget(view, 1);
    layout->addWidget(instruction_);
    layout->addLayout(live);
    layout->addWidget(status_);
    layout->addLayout(buttons);
    layout->addLayout(results, 1);
    connect(read_, &QPushButton::clicked, this, &CCheckDlg::OnRead);
    connect(skip_, &QPushButton::clicked, this, [this] {
        check_.Skip(check_.GetDisplay().settleTimedOut ? "not still" : "skipped by the user");
        saved_ = false;
        Render();
    });
    connect(back_, &QPushButton::clicked, this, [this] {
        check_.Back();
        // Back from the end: the check goes on at the last step, with the live weight.
        if (!running_ && !check_.Finished() && pages_->currentIndex() == 1) {
            running_ = true;
            read_->setDefault(true);
            OnTick();
            return;
        }
        Render();
    });
    connect(testWeights_, &QPushButton::clicked, this, &CCheckDlg::OpenTestWeights);
    connect(saveRecord_, &QPushButton::clicked, this, &CCheckDlg::SaveRecord);
    connect(savePdf_, &QPushButton::clicked, this, &CCheckDlg::SavePdf);
    connect(print_, &QPushButton::clicked, this, [this] { PrintCheckReport(record_, this); });
    connect(close, &QPushButton::clicked, this, &CCheckDlg::reject);
}

bool CCheckDlg::Identify() {
    if (!check_.Identify(record_))
        return false;
    identity_->setText(Q(record_.instrument) + ", serial number " + Q(record_.serialNumber) +
                       ", address " + QString::number(address_) + ": capacity " +
                       Q(FormatCheckWeight(record_.capacity, record_.division)) + " " +
                       Q(record_.unit) + ", display step " +
                       Q(FormatCheckWeight(record_.division, record_.division)) + " " +
                       Q(record_.unit));
    if (!asLeft_)
        loads_->setText(Q(LoadsText(DefaultLoads(record_.capacity, record_.division))));
    return true;
}

void CCheckDlg::OnRead() {
    CheckProcedure::ReadOutcome outcome = check_.Read();
    if (outcome == CheckProcedure::ReadOutcome::Far) {
        // A modal box runs its own event loop: no tick meanwhile.
        timer_->stop();
        if (prompter_.AskDestructive(Prompter::Icon::Question, check_.FarQuestion()))
            outcome = check_.Read(true);
        if (running_)
            timer_->start(CheckProcedure::kPeriodMs);
    }
    if (outcome == CheckProcedure::ReadOutcome::Taken)
        saved_ = false;
    Render();
}

bool CCheckDlg::OpenAsFound(const std::string& path) {
    CheckRecord found;
    std::string error;
    if (!LoadCheckRecord(path, found, error)) {
        prompter_.Error(error);
        return false;
    }
    if (found.changedAfterWriting) {
        prompter_.Error("The check record " + path + ": " + kRecordChangedText +
                        ". No as-left check is added to it.");
        return false;
    }
    if (!found.Current("As found")) {
        prompter_.Error("The check record " + path + " holds no as-found check.");
        return false;
    }
    if (found.serialNumber != record_.serialNumber) {
        prompter_.Error("The record " + path + " is of serial number " + found.serialNumber +
                        ", this instrument is " + record_.serialNumber + ".");
        return false;
    }
    // The identity stays as read now; the plan, rule and earlier run come from the record.
    found.instrument = record_.instrument;
    found.program = record_.program;
    found.name = record_.name;
    found.calibration = record_.calibration;
    found.capacity = record_.capacity;
    found.division = record_.division;
    // A run is never overwritten: a second as-left check keeps the first in the record as
    // superseded.
    if (found.Current("As left")) {
        if (!prompter_.AskDestructive(Prompter::Icon::Question,
                                      "The record already holds an as-left check. Check as left "
                                      "again? The earlier as-left readings stay in the record, "
                                      "marked superseded."))
            return false;
        for (CheckRun& run : found.runs)
            if (run.name == "As left")
                run.superseded = true;
    }
    record_ = found;
    asLeft_ = true;
    asFound_->setText("As left, after calibration, on " + Q(path));
    for (QWidget* w : std::initializer_list<QWidget*>{loads_, down_, repeat_, eccentric_, rule_, e_,
                                                      inService_, tolerance_})
        w->setEnabled(false);
    loads_->setText(Q(LoadsText(record_.plan.loads)));
    down_->setChecked(record_.plan.down);
    technician_->setText(Q(record_.technician));
    nextCheck_->setText(Q(record_.nextCheck));
    notes_->setText(Q(record_.notes));
    weights_->setText(Q(record_.weights));
    scale_->setText(Q(record_.scale));
    return true;
}

void CCheckDlg::OnStart() {
    if (!asLeft_) {
        CheckPlan plan;
        plan.down = down_->isChecked();
        if (!ParseLoads(loads_->text().toStdString(), plan.loads)) {
            prompter_.Error("Test loads: numbers separated by commas, e.g. 0,500,1000.");
            loads_->setFocus();
            return;
        }
        // An optional LOAD:N field; false (said) when it holds something else.
        const auto loadCount = [this](QLineEdit* field, double& load, int& count,
                                      const std::string& problem) {
            const std::string text = field->text().trimmed().toStdString();
            if (text.empty() || ParseLoadCount(text, load, count))
                return true;
            prompter_.Error(problem);
            field->setFocus();
            return false;
        };
        if (!loadCount(repeat_, plan.repeatLoad, plan.repeatCount,
                       "Repeatability: LOAD:N, e.g. 500:3.") ||
            !loadCount(eccentric_, plan.eccentricLoad, plan.eccentricPositions,
                       "Eccentricity: LOAD:4 or LOAD:5, e.g. 330:5."))
            return;
        if (const std::string problem = plan.Problem(); !problem.empty()) {
            prompter_.Error("The plan cannot be run: " + problem + ".");
            return;
        }
        ToleranceRule rule;
        if (rule_->currentIndex() < 4) {
            rule.accuracyClass = static_cast<AccuracyClass>(rule_->currentIndex());
            rule.inService = inService_->isChecked();
            const QString e = e_->text().trimmed();
            bool ok = true;
            rule.e = e.isEmpty() ? 0.0 : e.toDouble(&ok);
            if (!ok || rule.e < 0.0) {
                prompter_.Error("e: the verification scale interval, above 0 (empty: the "
                                "display step).");
                e_->setFocus();
                return;
            }
            if (const std::string problem = rule.Problem(record_.division, record_.unit);
                !problem.empty()) {
                prompter_.Error("e: " + problem + ".");
                e_->setFocus();
                return;
            }
        } else {
            const std::string text = tolerance_->text().trimmed().toStdString() +
                                     (rule_->currentIndex() == 5 ? "%" : "");
            if (!ParseTolerance(text, rule)) {
                prompter_.Error("Tolerance: an amount above 0.");
                tolerance_->setFocus();
                return;
            }
        }
        record_.plan = plan;
        record_.rule = rule;
        record_.runs.clear();
    }
    record_.technician = technician_->text().toStdString();
    record_.nextCheck = nextCheck_->text().toStdString();
    record_.notes = notes_->text().toStdString();
    record_.weights = weights_->text().trimmed().toStdString();
    record_.scale = scale_->text().trimmed().toStdString();
    check_.Begin(record_, asLeft_ ? "As left" : "As found");
    running_ = true;
    testWeights_->setVisible(static_cast<bool>(TestWeightsControl()));
    pages_->setCurrentIndex(1);
    read_->setDefault(true);
    read_->setFocus();
    OnTick();
}

void CCheckDlg::OnTick() {
    if (!running_)
        return;
    const int period = check_.Tick();
    Render();
    timer_->start(period);
}

void CCheckDlg::Render() {
    const CheckProcedure::Display& d = check_.GetDisplay();
    instruction_->setText(d.finished ? Q(d.instruction)
                                     : QString("Step %1 of %2: ").arg(d.step).arg(d.steps) +
                                           Q(d.instruction));
    weight_->setText(Q(d.weight));
    state_->setText(!d.answered ? QString() : d.net ? "NET" : d.motion ? "MOTION" : "still");
    status_->setText(Q(d.status));
    read_->setEnabled(d.canRead);
    skip_->setEnabled(!d.finished);
    back_->setEnabled(check_.StepIndex() > 0);
    if (testWeightsWnd_ && shownStep_ != check_.StepIndex()) {
        shownStep_ = check_.StepIndex();
        const auto& steps = check_.Steps();
        if (shownStep_ < steps.size())
            static_cast<CTestWeightsWnd*>(testWeightsWnd_.data())
                ->SetStep(steps[shownStep_].load,
                          steps[shownStep_].kind == CheckStep::Kind::Eccentric
                              ? steps[shownStep_].position
                              : -1);
    }
    if (d.finished && running_) {
        running_ = false;
        timer_->stop();
        status_->setText(Q(VerdictSentence(EvaluateRun(record_, check_.Run()))));
    }
    RenderTable();
}

void CCheckDlg::RenderTable() {
    const CheckResult result = EvaluateRun(record_, check_.Run());
    const double d = record_.division;
    table_->setRowCount(static_cast<int>(result.steps.size()));
    for (size_t i = 0; i < result.steps.size(); ++i) {
        const StepResult& s = result.steps[i];
        const bool taken = s.reading.state == CheckReading::State::Taken;
        const QStringList cells = {Q(StepLabel(s.step)),
                                   Q(FormatCheckWeight(s.step.load, d)),
                                   taken ? Q(FormatCheckWeight(s.reading.indication, d)) : "-",
                                   taken ? Q(FormatCheckWeight(s.error, d)) : "-",
                                   taken ? QString::number(s.errorInE, 'f', 2) : "-",
                                   Q(FormatTolerance(s.tolerance, d)),
                                   taken ? (s.pass ? "ok" : "OUT")
                                   : s.reading.state == CheckReading::State::Skipped ? "skipped"
                                   : i == check_.StepIndex()                         ? "◀"
                                                                                     : ""};
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (taken && !s.pass)
                item->setForeground(QColor(190, 0, 0));
            table_->setItem(static_cast<int>(i), c, item);
        }
    }
    // The plot follows the readings, not every tick.
    size_t taken = 0;
    for (const CheckRun& run : record_.runs)
        for (const CheckReading& r : run.readings)
            taken += r.state != CheckReading::State::Pending;
    if (taken != plotted_) {
        plotted_ = taken;
        BuildCheckChart(chart_, record_);
    }
}

void CCheckDlg::OpenTestWeights() {
    if (!TestWeightsControl())
        return;
    const auto& steps = record_.plan.Steps();
    const double load = check_.StepIndex() < steps.size() ? steps[check_.StepIndex()].load : 0.0;
    if (!testWeightsWnd_) {
        testWeightsWnd_ = new CTestWeightsWnd(address_, load, this);
        testWeightsWnd_->setAttribute(Qt::WA_DeleteOnClose);
    }
    auto* window = static_cast<CTestWeightsWnd*>(testWeightsWnd_.data());
    window->SetStep(load, -1);
    shownStep_ = check_.StepIndex();
    window->show();
    window->raise();
}

bool CCheckDlg::SaveRecordTo(const std::string& path) {
    std::string error;
    if (!SaveCheckRecord(path, record_, error)) {
        prompter_.Error(error);
        return false;
    }
    saved_ = true;
    return true;
}

bool CCheckDlg::SavePdfTo(const std::string& path) {
    std::string error;
    if (!SaveCheckReportPdf(record_, path, error)) {
        prompter_.Error(error);
        return false;
    }
    return true;
}

void CCheckDlg::SaveRecord() {
    const QString name = QString("check-%1-%2.txt").arg(Q(record_.serialNumber), Q(record_.date));
    const QString path =
        QFileDialog::getSaveFileName(this, "Save the check record", name, "Check records (*.txt)");
    if (!path.isEmpty())
        SaveRecordTo(path.toStdString());
}

void CCheckDlg::SavePdf() {
    const QString name = QString("check-%1-%2.pdf").arg(Q(record_.serialNumber), Q(record_.date));
    const QString path =
        QFileDialog::getSaveFileName(this, "Save the report as PDF", name, "PDF (*.pdf)");
    if (!path.isEmpty())
        SavePdfTo(path.toStdString());
}

void CCheckDlg::reject() {
    bool anyReading = false;
    for (const CheckRun& run : record_.runs)
        for (const CheckReading& r : run.readings)
            anyReading = anyReading || r.state != CheckReading::State::Pending;
    if (anyReading && !saved_) {
        timer_->stop();
        // No is the default: Return keeps the dialog and the readings.
        if (!prompter_.AskDestructive(Prompter::Icon::Question,
                                      "Close without saving? The readings taken are lost.")) {
            if (running_)
                timer_->start(CheckProcedure::kPeriodMs);
            return;
        }
    }
    running_ = false;
    timer_->stop();
    QDialog::reject();
}

void OpenCheckDialog(QWidget* parent, ModbusMaster& bus, int address, Prompter& prompter) {
    CCheckDlg dialog(bus, address, prompter, parent);
    if (!dialog.Identify())
        return;
    dialog.exec();
}

} // namespace quarnex

#pragma once

#include "check/CheckProcedure.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>

class QCheckBox;
class QChart;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTableWidget;
class QTimer;

namespace quarnex {

class ModbusMaster;
class Prompter;

// "Check with test weights": the plan (loads, coming down, repeatability, eccentricity, the
// class or a tolerance, as found or as left on a saved record), then the check step by step:
// what to place, the live weight with its motion, Read when the weight is still, Skip and Back,
// the table and the error plot as they grow, and at the end saving the record, the PDF and
// printing. Return reads only while Read is enabled; Escape asks before readings are thrown
// away. CheckProcedure decides; this window renders it on a single-shot timer.
class CCheckDlg : public QDialog {
    Q_OBJECT
public:
    CCheckDlg(ModbusMaster& bus, int address, Prompter& prompter, QWidget* parent = nullptr);
    ~CCheckDlg() override;

    // Reads the instrument's identity and calibration; false (shown) when it cannot be checked.
    bool Identify();

    // The plan page.
    QLineEdit* LoadsEdit() const { return loads_; }
    QCheckBox* DownBox() const { return down_; }
    QLineEdit* RepeatEdit() const { return repeat_; }
    QLineEdit* EccentricEdit() const { return eccentric_; }
    QComboBox* RuleCombo() const { return rule_; }
    QLineEdit* ToleranceEdit() const { return tolerance_; }
    QLineEdit* TechnicianEdit() const { return technician_; }
    QLineEdit* WeightsEdit() const { return weights_; }
    QLineEdit* ScaleEdit() const { return scale_; }
    QPushButton* StartButton() const { return start_; }
    // Takes the plan and rule of a saved as-found record: the check runs as left.
    bool OpenAsFound(const std::string& path);
    // The check page.
    QLabel* InstructionLabel() const { return instruction_; }
    QLabel* WeightLabel() const { return weight_; }
    QLabel* StateLabel() const { return state_; }
    QLabel* StatusLabel() const { return status_; }
    QPushButton* ReadButton() const { return read_; }
    QPushButton* SkipButton() const { return skip_; }
    QPushButton* BackButton() const { return back_; }
    QPushButton* TestWeightsButton() const { return testWeights_; }
    // The "Test weights" window once opened (the demo only).
    QDialog* TestWeightsWindow() const { return testWeightsWnd_; }
    QTableWidget* Table() const { return table_; }
    QChart* Chart() const { return chart_; }
    bool Running() const { return running_; }
    const CheckRecord& Record() const { return record_; }

    bool SaveRecordTo(const std::string& path);
    bool SavePdfTo(const std::string& path);

    // The demo bus puts test weights on its simulated scales through this (a control line of
    // the simulator); the dialog then offers a small "Test weights" window.
    static void SetTestWeights(std::function<bool(const std::string&, std::string&)> control);

public slots:
    void reject() override;

private:
    void BuildPlanPage(QWidget* page);
    void BuildCheckPage(QWidget* page);
    void OnStart();
    void OnTick();
    void OnRead();
    void Render();
    void RenderTable();
    void OpenTestWeights();
    void SaveRecord();
    void SavePdf();

    ModbusMaster& bus_;
    int address_;
    Prompter& prompter_;
    CheckProcedure check_;
    CheckRecord record_;
    bool asLeft_ = false;
    bool running_ = false;
    bool saved_ = true;
    QTimer* timer_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QLineEdit *loads_ = nullptr, *repeat_ = nullptr, *eccentric_ = nullptr, *e_ = nullptr,
              *tolerance_ = nullptr, *technician_ = nullptr, *nextCheck_ = nullptr,
              *notes_ = nullptr, *weights_ = nullptr, *scale_ = nullptr;
    QCheckBox *down_ = nullptr, *inService_ = nullptr;
    QComboBox* rule_ = nullptr;
    QLabel *identity_ = nullptr, *asFound_ = nullptr;
    QPushButton *start_ = nullptr, *openRecord_ = nullptr;
    QLabel *instruction_ = nullptr, *weight_ = nullptr, *state_ = nullptr, *status_ = nullptr;
    QPushButton *read_ = nullptr, *skip_ = nullptr, *back_ = nullptr, *saveRecord_ = nullptr,
                *savePdf_ = nullptr, *print_ = nullptr, *testWeights_ = nullptr;
    QTableWidget* table_ = nullptr;
    QChart* chart_ = nullptr;
    size_t plotted_ = static_cast<size_t>(-1);
    QPointer<QDialog> testWeightsWnd_;
    size_t shownStep_ = static_cast<size_t>(-1); // the step the test weights window shows
};

// Opens the dialog for the KEL 7 at address (from the instrument panel) and returns when the
// user closed it.
void OpenCheckDialog(QWidget* parent, ModbusMaster& bus, int address, Prompter& prompter);

} // namespace quarnex

// The check dialog offscreen: a whole check driven through the simulator's control channel and
// the keyboard, as an engineer does it with test weights.
#include "app/check/CCheckDlg.h"
#include "demo/DemoSession.h"
#include "sim/ScaleControl.h"
#include "support/QtTestSupport.h"
#include "support/SingleKel7Fixture.h"

#include "ui/QtPrompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "app/check/CCheckReport.h"

#include <cstdio>
#include <filesystem>
#include <sstream>

namespace quarnex::test {
namespace {

class CheckDlgTest : public SingleKel7Fixture {
protected:
    void SetUp() override {
        App();
        SingleKel7Fixture::SetUp();
        Kel([](sim::Kel7Model& m) { m.SetScaleErrors({.nonlinearity = 0.05}); });
    }
    // The control line of the simulator, then the settling of the load in instrument time.
    void Place(CCheckDlg& dialog, double load) {
        std::string error;
        ASSERT_TRUE(sim::ApplyControlLine(bus_, "load 1 " + std::to_string(load), error)) << error;
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return dialog.StateLabel()->text() == "MOTION"; }, 60000));
        EXPECT_FALSE(dialog.ReadButton()->isEnabled());
        Kel([](sim::Kel7Model& m) { m.Step(2500); });
        ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.ReadButton()->isEnabled(); }, 60000));
    }
};

TEST_F(CheckDlgTest, AWholeCheckWithTheKeyboard) {
    CCheckDlg dialog(*master_, kAddress, prompter_);
    ASSERT_TRUE(dialog.Identify());
    dialog.show();
    dialog.LoadsEdit()->setText("0,500,1000");
    dialog.DownBox()->setChecked(false);
    dialog.TechnicianEdit()->setText("A. Weigher");
    QTest::mouseClick(dialog.StartButton(), Qt::LeftButton);
    ASSERT_TRUE(dialog.Running());
    EXPECT_EQ("Step 1 of 3: Place 0.0 kg on the scale", dialog.InstructionLabel()->text());

    for (double load : {0.0, 500.0, 1000.0}) {
        Place(dialog, load);
        QTest::keyClick(&dialog, Qt::Key_Return);
    }
    EXPECT_FALSE(dialog.Running());
    EXPECT_EQ("The check is complete.", dialog.InstructionLabel()->text());
    EXPECT_FALSE(dialog.TestWeightsButton()->isVisible()); // a real scale: no test weights window
    EXPECT_EQ("FAILED: 1 reading out of tolerance.", dialog.StatusLabel()->text());
    ASSERT_EQ(3, dialog.Table()->rowCount());
    EXPECT_EQ("500.5", dialog.Table()->item(1, 2)->text());
    EXPECT_EQ("OUT", dialog.Table()->item(1, 6)->text());
    // Return does nothing once Read is disabled.
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());

    // Escape asks before the readings are thrown away: No keeps the dialog.
    prompter_.Answer(false);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ("Close without saving? The readings taken are lost.", prompter_.LastText());

    // Saved as a record and a PDF, then it closes without asking.
    const std::string dir = ::testing::TempDir();
    ASSERT_TRUE(dialog.SaveRecordTo(dir + "gui-check.txt"));
    ASSERT_TRUE(dialog.SavePdfTo(dir + "gui-check.pdf"));
    EXPECT_GT(std::filesystem::file_size(dir + "gui-check.pdf"), 1000u);
    CheckRecord saved;
    std::string error;
    ASSERT_TRUE(LoadCheckRecord(dir + "gui-check.txt", saved, error)) << error;
    EXPECT_EQ("A. Weigher", saved.technician);
    prompter_.Clear();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(prompter_.Boxes().empty());

    // After calibration: the same plan as left, on the saved record.
    CCheckDlg after(*master_, kAddress, prompter_);
    ASSERT_TRUE(after.Identify());
    after.show();
    ASSERT_TRUE(after.OpenAsFound(dir + "gui-check.txt"));
    EXPECT_FALSE(after.LoadsEdit()->isEnabled());
    Kel([](sim::Kel7Model& m) { m.SetScaleErrors({}); });
    QTest::mouseClick(after.StartButton(), Qt::LeftButton);
    for (double load : {0.0, 500.0, 1000.0}) {
        Place(after, load);
        QTest::mouseClick(after.ReadButton(), Qt::LeftButton);
    }
    ASSERT_EQ(2u, after.Record().runs.size());
    EXPECT_EQ("PASSED: every reading is within tolerance.", after.StatusLabel()->text());
    std::filesystem::remove(dir + "gui-check.txt");
    std::filesystem::remove(dir + "gui-check.pdf");
}

TEST_F(CheckDlgTest, BackAfterTheEndReadsAgainAndReturnOnTheCloseQuestionKeepsTheDialog) {
    QtPrompter boxes;
    CCheckDlg dialog(*master_, kAddress, boxes);
    ASSERT_TRUE(dialog.Identify());
    EXPECT_EQ("0,250,500,750,1000", dialog.LoadsEdit()->text()); // from the capacity, 1000 kg
    dialog.show();
    dialog.LoadsEdit()->setText("0,500");
    dialog.DownBox()->setChecked(false);
    QTest::mouseClick(dialog.StartButton(), Qt::LeftButton);
    // Every column of the table fits at the dialog's own size.
    EXPECT_LE(dialog.Table()->horizontalHeader()->length(), dialog.Table()->viewport()->width());
    for (double load : {0.0, 500.0}) {
        Place(dialog, load);
        QTest::keyClick(&dialog, Qt::Key_Return);
    }
    ASSERT_FALSE(dialog.Running());
    QTest::mouseClick(dialog.BackButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.Running());
    EXPECT_EQ("Step 2 of 2: Place 500.0 kg on the scale", dialog.InstructionLabel()->text());
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.ReadButton()->isEnabled(); }, 60000));
    QTest::mouseClick(dialog.ReadButton(), Qt::LeftButton);
    EXPECT_EQ("The check is complete.", dialog.InstructionLabel()->text());
    EXPECT_EQ("500.5", dialog.Table()->item(1, 2)->text());

    // The close question: Return is No, the dialog and its readings stay.
    QString question;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_TRUE(box);
        if (auto* label = box->findChild<QLabel*>("qt_msgbox_label"))
            question = label->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ("Close without saving? The readings taken are lost.", question);
    EXPECT_TRUE(dialog.isVisible());
}

// pdftotext's text of a PDF, split into pages.
std::vector<std::string> PdfPages(const std::string& pdf) {
    std::string text;
    if (FILE* pipe = popen(("pdftotext -layout '" + pdf + "' -").c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            text.append(buffer, n);
        pclose(pipe);
    }
    std::vector<std::string> pages;
    std::stringstream in(text);
    for (std::string page; std::getline(in, page, '\f');)
        if (page.find_first_not_of(" \n") != std::string::npos)
            pages.push_back(page);
    return pages;
}

TEST(CheckReport, LongNotesPaginateAndAnEditedRecordSaysSoOnEveryPage) {
    if (std::system("pdftotext -v >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "pdftotext (package poppler-utils) is not installed";
    App();
    CheckRecord r;
    r.instrument = "KEL 7 Recipe Batcher";
    r.serialNumber = "226-0137";
    r.unit = "kg";
    r.capacity = 1000;
    r.division = 0.1;
    r.weights = "W-1, class F1, certificate C-123 of 2026-03-01";
    r.scale = "Silo 3 scale, hall B";
    for (int i = 1; i <= 40; ++i)
        r.calibration.push_back({"Point " + std::to_string(i) + ":", "1.0 kg"});
    r.plan.loads = {0, 500, 1000};
    CheckRun run;
    run.started = "2026-12-07 10:00:00";
    run.readings = {{CheckReading::State::Taken, 0.0, "2026-12-07 10:00:05", ""},
                    {CheckReading::State::Taken, 500.5, "2026-12-07 10:00:15", ""},
                    {CheckReading::State::Taken, 1000.0, "2026-12-07 10:00:25", ""}};
    r.runs.push_back(run);
    for (int i = 1; i <= 150; ++i)
        r.notes += "note line " + std::to_string(i) + "\n";
    r.changedAfterWriting = true;
    const std::string pdf = ::testing::TempDir() + "check-report-long.pdf";
    std::string error;
    ASSERT_TRUE(SaveCheckReportPdf(r, pdf, error)) << error;
    const std::vector<std::string> pages = PdfPages(pdf);
    std::filesystem::remove(pdf);
    ASSERT_GE(pages.size(), 3u);
    for (const char* first :
         {"Weighing instrument: Silo 3 scale, hall B", "Serial number: 226-0137",
          "Test weights: W-1, class F1, certificate C-123 of 2026-03-01",
          "As found: started 2026-12-07 10:00:00", "tolerance ±"})
        EXPECT_NE(std::string::npos, pages.front().find(first)) << first << "\n" << pages.front();
    for (const std::string& page : pages)
        EXPECT_NE(std::string::npos,
                  page.find("WARNING: the record was changed after it was written"))
            << page;
    EXPECT_NE(std::string::npos, pages.back().find("note line 150")) << pages.back();
    EXPECT_NE(std::string::npos, pages.back().find("Technician's signature")) << pages.back();
    EXPECT_NE(std::string::npos, pages.back().find("Checked by (name and signature)"));
}

TEST_F(CheckDlgTest, ABadPlanSaysWhatIsWrong) {
    CCheckDlg dialog(*master_, kAddress, prompter_);
    ASSERT_TRUE(dialog.Identify());
    dialog.show();
    dialog.LoadsEdit()->setText("500,0");
    QTest::mouseClick(dialog.StartButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.Running());
    EXPECT_EQ("The plan cannot be run: the test loads must increase (they are also read coming "
              "down).",
              prompter_.LastText());
}

} // namespace
} // namespace quarnex::test

namespace quarnex::test {
namespace {

// The same check in quarnex --demo: the demo's bus, its live KEL 7 at address 1, and the test
// weights put on through the "Test weights" window.
TEST(DemoCheck, TestWeightsWindowOfTheDemoBus) {
    App();
    DemoSession demo;
    std::string error;
    ASSERT_TRUE(demo.Start(error)) << error;
    CCheckDlg::SetTestWeights([&demo](const std::string& line, std::string& problem) {
        return demo.TestWeights(line, problem);
    });
    ScriptedPrompter prompter;
    ModbusMaster master(demo.DemoProfile(), prompter);
    ASSERT_TRUE(master.Open());
    CCheckDlg dialog(master, 1, prompter);
    // The demo's instruments power up first: start-up and warm-up.
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Identify(); }, 60000));
    dialog.show();
    dialog.LoadsEdit()->setText("0,500,1000");
    QTest::mouseClick(dialog.StartButton(), Qt::LeftButton);
    ASSERT_TRUE(dialog.TestWeightsButton()->isVisible());
    QTest::mouseClick(dialog.TestWeightsButton(), Qt::LeftButton);
    QDialog* weights = dialog.TestWeightsWindow();
    ASSERT_NE(nullptr, weights);
    // Return in the errors field gives the scale the errors (the verdict below shows them).
    weights->findChild<QLineEdit*>("errors")->setText("nonlinearity=0.05");
    QTest::keyClick(weights->findChild<QLineEdit*>("errors"), Qt::Key_Return);
    EXPECT_EQ("", weights->findChild<QLabel*>("message")->text());
    for (double load : {0.0, 500.0, 1000.0, 500.0, 0.0}) {
        // The window follows the step's load; the demo's scale settles in real time.
        EXPECT_DOUBLE_EQ(load, weights->findChild<QDoubleSpinBox*>("load")->value());
        QTest::mouseClick(weights->findChild<QPushButton*>("place"), Qt::LeftButton);
        const auto taken = [&] {
            return std::count_if(
                dialog.Record().runs[0].readings.begin(), dialog.Record().runs[0].readings.end(),
                [](const CheckReading& r) { return r.state == CheckReading::State::Taken; });
        };
        const auto before = taken();
        QTest::keyClick(&dialog, Qt::Key_Return); // too early: the load is moving now
        EXPECT_EQ(before, taken());
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return dialog.StateLabel()->text() == "MOTION"; }, 60000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.ReadButton()->isEnabled(); }, 60000))
            << dialog.StatusLabel()->text().toStdString();
        QTest::keyClick(&dialog, Qt::Key_Return);
    }
    EXPECT_FALSE(dialog.Running());
    EXPECT_EQ("FAILED: 2 readings out of tolerance.", dialog.StatusLabel()->text().toStdString())
        << CheckTable(dialog.Record(), dialog.Record().runs[0]);
    EXPECT_EQ("500.5", dialog.Table()->item(1, 2)->text().toStdString());
    EXPECT_EQ("500.5", dialog.Table()->item(3, 2)->text().toStdString());
    CCheckDlg::SetTestWeights(nullptr);
    dialog.SaveRecordTo(::testing::TempDir() + "demo-check.txt"); // closes without a question
    std::filesystem::remove(::testing::TempDir() + "demo-check.txt");
    demo.Stop();
}

} // namespace
} // namespace quarnex::test

// The software upgrade's window on the offscreen platform: opened from the menu with the main
// view's polling stopped, it loads a generated image, reads the simulated KEL 7, loads the image
// into it with the progress window's bar moving, and the instrument then reports the new program.
#include "sim/Kel7Fixture.h"
#include "support/QtTestSupport.h"
#include "support/ScriptedFileChooser.h"

#include "app/CMainFrame.h"
#include "app/CQuarnexView.h"
#include "app/CSplashWnd.h"
#include "app/CUpgradeDlg.h"
#include "res/Strings.h"
#include "res/UpgradeTextIds.h"
#include "sim/FlashImage.h"
#include "ui/ProgressDialog.h"

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace quarnex::test {
namespace {

constexpr int kAddress = 5;

class UpgradeWindowTest : public Kel7Fixture {
protected:
    void SetUp() override {
        App();
        Kel7Fixture::SetUp();
        CSplashWnd::EnableSplashScreen(false);
        profile_.WriteInt("Comm Param", "Baud", 115200);
        dir_ = std::filesystem::temp_directory_path() /
               ("quarnex-upgradedlg-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        frame_.reset();
        std::filesystem::remove_all(dir_);
        Kel7Fixture::TearDown();
    }
    std::string File(const std::vector<uint8_t>& bytes, const std::string& name) {
        const auto path = dir_ / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    static void Type(QLineEdit* edit, const QString& text) {
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    // Opens the dialog from the menu with its seams set, runs f in it, closes it.
    void WithDialog(const std::function<void(CUpgradeDlg&)>& f) {
        bool ran = false;
        WhenModal<CUpgradeDlg>([&](CUpgradeDlg& dialog) {
            EXPECT_FALSE(frame_->View()->TimerActive());
            dialog.SetFileChooser(&chooser_);
            dialog.SetProcedurePrompter(&procedureBoxes_);
            // The simulated boot loader is ready at once: no three-second wait.
            dialog.Logic().SetWait([](int, Progress&, int) {});
            f(dialog);
            ran = true;
            dialog.accept();
        });
        frame_->Action(CMainFrame::kUpgrade)->trigger();
        EXPECT_TRUE(ran);
        EXPECT_TRUE(frame_->View()->TimerActive());
    }

    std::filesystem::path dir_;
    std::unique_ptr<CMainFrame> frame_;
    ScriptedFileChooser chooser_;
    ScriptedPrompter procedureBoxes_;
};

TEST_F(UpgradeWindowTest, LoadsANewProgramWithAMovingBar) {
    AddKel7(kAddress);
    frame_ = std::make_unique<CMainFrame>(profile_, &prompter_, BusSession::Mode::Inline);
    ASSERT_TRUE(frame_->Create());
    frame_->show();
    ASSERT_TRUE(frame_->View()->TimerActive());
    const std::string path =
        File(sim::BuildFlashImage(256, {2003, 1310, 4, "KEL7-7312", "V1.06", "270101"},
                                  {2003, 0, 0, "KEL7-BOOT", "V2.01", "250301"}, true, true, 20000,
                                  1500, 3),
             "kel7-7312.hex");

    WithDialog([&](CUpgradeDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Instrument software upgrade");
        EXPECT_EQ(dialog.AddressEdit()->text(), "247");

        chooser_.Answer(path);
        dialog.SelectButton()->click();
        ASSERT_EQ(chooser_.Requests().size(), 1u);
        const auto& request = chooser_.Requests()[0].request;
        EXPECT_EQ(request.defaultExtension, "hex");
        ASSERT_EQ(request.filters.size(), 1u);
        EXPECT_EQ(request.filters[0].name, "Software upgrade files");
        EXPECT_EQ(request.filters[0].patterns, std::vector<std::string>{"*.hex"});
        EXPECT_EQ(dialog.PathEdit()->text().toStdString(), path);
        const QString summary = dialog.FileInfo()->toPlainText();
        EXPECT_TRUE(summary.startsWith("Instrument type: KEL 7 (256Kb)\nApplication program: "
                                       "KEL7-7312 (V1.06, 270101, Chk="))
            << summary.toStdString();
        EXPECT_TRUE(summary.contains("\nBoot loader program: KEL7-BOOT (V2.01, 250301, Chk="));

        Type(dialog.AddressEdit(), "5");
        dialog.GetInfoButton()->click();
        EXPECT_TRUE(dialog.InstrumentInfo()->toPlainText().contains("KEL7-7310"))
            << dialog.InstrumentInfo()->toPlainText().toStdString();
        // Another address: the information of the old one goes at once.
        QTest::keyClicks(dialog.AddressEdit(), "0");
        EXPECT_TRUE(dialog.InstrumentInfo()->toPlainText().isEmpty());
        Type(dialog.AddressEdit(), "5");
        EXPECT_TRUE(prompter_.Boxes().empty()) << prompter_.LastText();

        // While the procedure runs the dialog is disabled and the bar shows its positions.
        std::vector<int> shown;
        bool dialogDisabled = true, sawWindow = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (ProgressDialog* window = dialog.ProgressWindow()) {
                sawWindow = true;
                dialogDisabled = dialogDisabled && !dialog.isEnabled();
                if (shown.empty() || shown.back() != window->BarValue())
                    shown.push_back(window->BarValue());
            }
        });
        watch.start(0);
        prompter_.Answer(true);
        dialog.StartButton()->click();
        watch.stop();

        EXPECT_EQ(prompter_.LastText(), Text(ids::kUpgradeSucceeded));
        EXPECT_TRUE(procedureBoxes_.Boxes().empty()) << procedureBoxes_.LastText();
        EXPECT_TRUE(sawWindow);
        EXPECT_TRUE(dialogDisabled);
        EXPECT_EQ(dialog.ProgressWindow(), nullptr);
        EXPECT_TRUE(dialog.isEnabled());
        EXPECT_TRUE(dialog.StartButton()->isEnabled());
        EXPECT_GT(shown.size(), 5u);
        EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
        EXPECT_GT(shown.back(), shown.front());
        EXPECT_TRUE(dialog.InstrumentInfo()->toPlainText().isEmpty());

        // The restarted instrument answers with the new program.
        prompter_.Clear();
        for (int i = 0; i < 200 && !dialog.InstrumentInfo()->toPlainText().contains("V1.06"); ++i) {
            dialog.GetInfoButton()->click();
        }
        EXPECT_TRUE(dialog.InstrumentInfo()->toPlainText().contains(
            "Application program: KEL7-7312 (V1.06, 270101"))
            << dialog.InstrumentInfo()->toPlainText().toStdString();
    });
    EXPECT_EQ(With(kAddress, [](sim::Kel7Model& m) { return m.Options().programNumber; }), 7312);
}

TEST_F(UpgradeWindowTest, ABusFailureMidWayGivesTheDialogBackWithTheWarning) {
    AddKel7(kAddress);
    frame_ = std::make_unique<CMainFrame>(profile_, &prompter_, BusSession::Mode::Inline);
    ASSERT_TRUE(frame_->Create());
    frame_->show();
    const std::string path =
        File(sim::BuildFlashImage(256, {2003, 1310, 4, "KEL7-7320", "V1.20", "270101"},
                                  {2003, 0, 0, "KEL7-BOOT", "V2.01", "250301"}, true, false, 40000,
                                  0, 6),
             "kel7-7320.hex");

    WithDialog([&](CUpgradeDlg& dialog) {
        chooser_.Answer(path);
        dialog.SelectButton()->click();
        Type(dialog.AddressEdit(), "5");
        // The cable goes once the bar is past the erasing.
        bool pulled = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            ProgressDialog* window = dialog.ProgressWindow();
            if (!pulled && window && window->BarValue() > 100) {
                pulled = true;
                bus_.InjectFault(kAddress, {.kind = sim::Fault::Silence, .count = 3});
            }
        });
        watch.start(0);
        prompter_.Answer(true);
        dialog.StartButton()->click();
        watch.stop();
        EXPECT_TRUE(pulled);
        // The Retry/Cancel box came over the progress window and was cancelled.
        ASSERT_FALSE(procedureBoxes_.Boxes().empty());
        EXPECT_EQ(procedureBoxes_.Boxes()[0].kind, ScriptedPrompter::Kind::RetryCancel);
        EXPECT_EQ(prompter_.LastText(),
                  Text(ids::kUpgradeFailed) + "\n" + Text(ids::kProgramMayBeCorrupt));
        EXPECT_EQ(dialog.ProgressWindow(), nullptr);
        EXPECT_TRUE(dialog.isEnabled());
        EXPECT_TRUE(dialog.StartButton()->isEnabled());
    });
}

TEST_F(UpgradeWindowTest, RefusesABadFileAndAnAddressOutOfRange) {
    AddKel7(kAddress);
    frame_ = std::make_unique<CMainFrame>(profile_, &prompter_, BusSession::Mode::Inline);
    ASSERT_TRUE(frame_->Create());
    frame_->show();
    const std::string bad = File(std::vector<uint8_t>(300000, 0), "bad.hex");

    WithDialog([&](CUpgradeDlg& dialog) {
        chooser_.Answer(bad);
        dialog.SelectButton()->click();
        EXPECT_EQ(prompter_.LastText(), Text(ids::kNotUpgradeFile));
        EXPECT_TRUE(dialog.PathEdit()->text().isEmpty());
        EXPECT_TRUE(dialog.FileInfo()->toPlainText().isEmpty());
        // The fields only show what "Select file" chose, and look it.
        for (const QWidget* field :
             {static_cast<QWidget*>(dialog.PathEdit()), static_cast<QWidget*>(dialog.FileInfo())})
            EXPECT_EQ(field->palette().color(QPalette::Base),
                      dialog.palette().color(QPalette::Window));

        // Start without a file: refused before anything is asked or sent.
        prompter_.Clear();
        dialog.StartButton()->click();
        ASSERT_EQ(prompter_.Boxes().size(), 1u);
        EXPECT_EQ(prompter_.LastText(),
                  Text(ids::kUpgradeFailed) + "\n" + Text(ids::kNoFileSelected));

        prompter_.Clear();
        Type(dialog.AddressEdit(), "248");
        dialog.GetInfoButton()->click();
        ASSERT_EQ(prompter_.Boxes().size(), 1u);
        EXPECT_EQ(prompter_.LastText(), "Please enter an integer between 1 and 247.");
        EXPECT_TRUE(dialog.InstrumentInfo()->toPlainText().isEmpty());
    });
}

} // namespace
} // namespace quarnex::test

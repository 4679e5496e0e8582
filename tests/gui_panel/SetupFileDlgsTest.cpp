// The set-up file windows on the offscreen platform: backup and restore opened from the
// instrument panel against the simulated KEL 7, with the file dialogs answered by the test; the
// viewer's listing, and printing it to a PDF that is read back as text.
#include "support/BusFixture.h"
#include "support/QtTestSupport.h"
#include "support/ScriptedFileChooser.h"

#include "app/CCompareDlg.h"
#include "app/CMainFrame.h"
#include "app/CQuarnexView.h"
#include "app/CSetupFileDlgs.h"
#include "app/CSplashWnd.h"
#include "app/edit/CValueEntryDlg.h"
#include "app/panel/CInstrumentPanelDlg.h"
#include "app/setup/CKelSetUpPage.h"
#include "app/setup/CKelSetUpPropSheet.h"
#include "files/SetupFileImage.h"
#include "files/SetupListing.h"
#include "monitor/WatchedSet.h"
#include "sim/Kel7Model.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace quarnex::test {
namespace {

constexpr int kAddress = 1;

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quarnex-dlg-XXXXXX");
        if (mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class SetupFileDlgTest : public BusFixture {
protected:
    void SetUp() override {
        App();
        BusFixture::SetUp();
        profile_.WriteInt("Comm Param", "Baud", 115200);
        bus_.Attach(kAddress, sim::MakeKel7({}));
        MakeMaster();
    }
    template <class F> auto Kel(F f) { return bus_.WithModel<sim::Kel7Model>(kAddress, f); }

    // Backs the simulated instrument up into path through the panel's Backup button.
    void BackupFromPanel(const std::string& path) {
        chooser_.Answer(path);
        CInstrumentPanelDlg panel(
            InlineSession(), *master_, kAddress, prompter_,
            SetupFilePanelHooks(*master_, prompter_, [this] { return &chooser_; }));
        panel.SetManualTicks(true);
        panel.Start();
        panel.OnTimer();
        ASSERT_TRUE(panel.BackupButton()->isEnabled());
        EXPECT_FALSE(panel.BackupButton()->toolTip().startsWith("Not available"));
        bool ran = false;
        WhenModal<CBackupDlg>([&](CBackupDlg& dialog) {
            ran = true;
            EXPECT_EQ(dialog.windowTitle(), "KEL 7 backup, address 1");
            QTest::mouseClick(dialog.SelectButton(), Qt::LeftButton);
            EXPECT_EQ(dialog.FileField()->text().toStdString(), WithDefaultExtension(path, "kel"));
            const QString info = dialog.InfoEdit()->toPlainText();
            EXPECT_TRUE(info.contains("\nInstrument type: KEL 7")) << info.toStdString();
            EXPECT_TRUE(info.endsWith("\nInstrument address: 1")) << info.toStdString();
            dialog.InfoEdit()->appendPlainText("Typed by the engineer");
            QTest::mouseClick(dialog.StartButton(), Qt::LeftButton);
            EXPECT_TRUE(dialog.ProgressShown());
            EXPECT_FALSE(dialog.isVisible()); // a successful backup closes the dialog
            EXPECT_TRUE(dialog.isEnabled());
            if (dialog.isVisible())
                dialog.reject();
        });
        QTest::mouseClick(panel.BackupButton(), Qt::LeftButton);
        EXPECT_TRUE(ran);
        EXPECT_EQ(prompter_.LastText(), "Backup operation successful !");
        ASSERT_EQ(chooser_.Requests().size(), 1u);
        EXPECT_TRUE(chooser_.Requests()[0].save);
        EXPECT_EQ(chooser_.Requests()[0].request.defaultExtension, "kel");
        panel.done(QDialog::Rejected);
    }

    ScriptedFileChooser chooser_;
    TempDir dir_;
};

TEST_F(SetupFileDlgTest, BackupAndRestoreFromThePanel) {
    const std::string path = dir_.File("plant");
    BackupFromPanel(path);
    const std::string bytes = ReadAll(path + ".kel");
    EXPECT_NE(bytes.find("Typed by the engineer\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("[FILE_OK]"), std::string::npos);

    const float before = Kel([](sim::Kel7Model& m) { return m.RecipeValue(7); });
    Kel([](sim::Kel7Model& m) { m.SetRecipeValue(7, 99.0f); });
    chooser_.Answer(path + ".kel");
    prompter_.Answer(true); // "You are about to load new set-up data ..."
    CInstrumentPanelDlg panel(
        InlineSession(), *master_, kAddress, prompter_,
        SetupFilePanelHooks(*master_, prompter_, [this] { return &chooser_; }));
    panel.SetManualTicks(true);
    panel.Start();
    panel.OnTimer();
    ASSERT_TRUE(panel.RestoreButton()->isEnabled());
    bool ran = false;
    WhenModal<CRestoreDlg>([&](CRestoreDlg& dialog) {
        ran = true;
        EXPECT_EQ(dialog.windowTitle(), "KEL 7 restore, address 1");
        dialog.SetupBox()->setChecked(false);
        QTest::mouseClick(dialog.SelectButton(), Qt::LeftButton);
        EXPECT_EQ(dialog.FileField()->text().toStdString(), path + ".kel");
        EXPECT_TRUE(dialog.InfoEdit()->toPlainText().contains("\nTyped by the engineer\n"));
        EXPECT_TRUE(dialog.SetupBox()->isChecked()); // every box again after a file choice
        QTest::mouseClick(dialog.StartButton(), Qt::LeftButton);
        EXPECT_TRUE(dialog.ProgressShown());
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.Logic().FileCount(), dialog.Logic().RestoredTotal());
        if (dialog.isVisible())
            dialog.reject();
    });
    QTest::mouseClick(panel.RestoreButton(), Qt::LeftButton);
    EXPECT_TRUE(ran);
    EXPECT_EQ(prompter_.LastText().rfind("Restore operation successful !", 0), 0u)
        << prompter_.LastText();
    EXPECT_EQ(Kel([](sim::Kel7Model& m) { return m.RecipeValue(7); }), before);
    panel.done(QDialog::Rejected);
}

// The program's own wiring: the panel opened from the main view has Backup and Restore, and
// Backup asks the frame's file chooser.
TEST_F(SetupFileDlgTest, PanelOpenedFromTheFrameOffersBackupAndRestore) {
    CSplashWnd::EnableSplashScreen(false);
    AddressFlags watched{};
    watched[kAddress] = true;
    SaveWatchedSet(profile_, watched);
    master_.reset(); // the frame owns the program's one master
    CMainFrame frame(profile_, &prompter_, BusSession::Mode::Inline);
    ASSERT_TRUE(frame.Create());
    frame.SetFileChooser(&chooser_);
    frame.show();
    CQuarnexView& view = *frame.View();
    bool opened = false, backupOpened = false;
    WhenModal<CInstrumentPanelDlg>([&](CInstrumentPanelDlg& panel) {
        opened = true;
        panel.SetManualTicks(true);
        panel.OnTimer();
        EXPECT_TRUE(panel.BackupButton()->isEnabled());
        EXPECT_TRUE(panel.RestoreButton()->isEnabled());
        EXPECT_FALSE(panel.RestoreButton()->toolTip().startsWith("Not available"));
        WhenModal<CBackupDlg>([&](CBackupDlg& dialog) {
            backupOpened = true;
            dialog.OnSelectFile(); // unscripted: cancelled
            dialog.reject();
        });
        QTest::mouseClick(panel.BackupButton(), Qt::LeftButton);
        panel.done(QDialog::Rejected);
    });
    view.OnTimer();
    QTreeWidgetItem* first = view.List()->topLevelItem(0);
    ASSERT_NE(first, nullptr);
    view.List()->setCurrentItem(first);
    emit view.List()->itemDoubleClicked(first, 0);
    EXPECT_TRUE(opened);
    EXPECT_TRUE(backupOpened);
    ASSERT_EQ(chooser_.Requests().size(), 1u);
    EXPECT_TRUE(chooser_.Requests()[0].unscripted);
}

TEST_F(SetupFileDlgTest, RestoreRefusesAFileThatIsNoSetupFileAndKeepsItsWindow) {
    const std::string path = dir_.File("broken.kel");
    std::ofstream(path, std::ios::binary) << "[FILE_ID]\r\nnot a set-up file\r\n";
    chooser_.Answer(path);
    CRestoreDlg dialog(*master_, kAddress, itype::kKel7, prompter_, &chooser_);
    dialog.OnSelectFile();
    EXPECT_TRUE(dialog.FileField()->text().isEmpty());
    EXPECT_TRUE(dialog.InfoEdit()->toPlainText().isEmpty());
    // Nothing can be typed into the file field, and it does not look as if it could; the box that
    // takes the file's address, baud rate and parity starts unchecked.
    QTest::keyClicks(dialog.FileField(), "typed.kel");
    EXPECT_TRUE(dialog.FileField()->text().isEmpty());
    EXPECT_EQ(dialog.FileField()->palette().color(QPalette::Base),
              dialog.palette().color(QPalette::Window));
    EXPECT_FALSE(dialog.TakeLinkBox()->isChecked());
    ASSERT_FALSE(prompter_.Boxes().empty());
    prompter_.Clear();
    dialog.OnStartRestore();
    EXPECT_EQ(prompter_.LastText(), "Restore operation failed !\r\nNo file selected !");
    EXPECT_FALSE(dialog.ProgressShown());
}

// The instrument stops answering while the progress window is up: the retry question, then the
// failure; the window is given back for another try and no file is left behind.
TEST_F(SetupFileDlgTest, ABackupThatFailsMidwayGivesTheWindowBack) {
    ScriptedPrompter& prompter = prompter_;
    const std::string path = dir_.File("silent.kel");
    chooser_.Answer(path);
    CBackupDlg dialog(*master_, kAddress, itype::kKel7, prompter, &chooser_);
    bool ran = false;
    WhenModal<CBackupDlg>([&](CBackupDlg& d) {
        QTest::mouseClick(d.SelectButton(), Qt::LeftButton);
        // Fires in the first progress step, which lets the waiting events through.
        QTimer::singleShot(0, [&] {
            ran = true;
            sim::FaultSpec fault;
            fault.kind = sim::Fault::Silence;
            fault.count = 3;
            bus_.InjectFault(kAddress, fault);
        });
        QTest::mouseClick(d.StartButton(), Qt::LeftButton);
        EXPECT_TRUE(d.ProgressShown());
        EXPECT_TRUE(d.isVisible()); // a failed backup keeps the window for another try
        EXPECT_TRUE(d.isEnabled());
        d.reject();
    });
    dialog.exec();
    ASSERT_TRUE(ran);
    ASSERT_GE(prompter.Boxes().size(), 2u);
    EXPECT_EQ(prompter.Boxes().front().kind, ScriptedPrompter::Kind::RetryCancel);
    EXPECT_EQ(prompter.LastText(), "Backup operation failed !\nCommunication error !");
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(WindowProgress, ShowsOnTheFirstStepWithTheOwnerDisabled) {
    App();
    QWidget owner;
    owner.show();
    WindowProgress progress(&owner, "KEL 7 backup, address 3");
    EXPECT_FALSE(progress.Shown());
    EXPECT_TRUE(owner.isEnabled());
    progress.SetRange(0, 10);
    progress.SetPos(5);
    ASSERT_TRUE(progress.Shown());
    EXPECT_FALSE(owner.isEnabled());
    progress.Close();
    EXPECT_TRUE(owner.isEnabled());
    EXPECT_FALSE(progress.Shown());
}

// ---- Viewer ----

class ViewerTest : public SetupFileDlgTest {
protected:
    std::string Backup() {
        const std::string path = dir_.File("view.kel");
        BackupFromPanel(path);
        prompter_.Clear();
        return path;
    }
};

TEST_F(ViewerTest, ListsABackupFile) {
    const std::string path = Backup();
    chooser_.Answer(path);
    CSetupViewerDlg viewer(prompter_, &chooser_);
    EXPECT_FALSE(viewer.PrintButton()->isEnabled());
    EXPECT_FALSE(viewer.PrintGroup()->isEnabled());
    viewer.OnSelectFile();
    EXPECT_TRUE(prompter_.Boxes().empty()) << prompter_.LastText();
    EXPECT_EQ(viewer.FileField()->text().toStdString(), path);
    EXPECT_TRUE(viewer.PrintButton()->isEnabled());
    EXPECT_TRUE(viewer.SetupBox()->isEnabled());
    EXPECT_FALSE(viewer.StringBox()->isEnabled());
    EXPECT_TRUE(viewer.StringBox()->isChecked());
    EXPECT_EQ(chooser_.Requests().back().request.filters.front().patterns,
              (std::vector<std::string>{"*.pir", "*.kel", "*.jov", "*.yax"}));

    QTreeWidget* list = viewer.Listing();
    ASSERT_GT(list->topLevelItemCount(), 2600);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "INSTRUMENT INFORMATION");
    QStringList headings;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QString first = list->topLevelItem(i)->text(0);
        if (first.endsWith("DATA"))
            headings << first;
    }
    EXPECT_EQ(headings, QStringList({"SET-UP DATA", "BATCHING SET-UP DATA", "RECIPE SET-UP DATA",
                                     "STRING SET-UP DATA"}));
    // A value line: its label in the first column, display text and unit in the second.
    QString programNumber;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(0) == "Program number:")
            programNumber = list->topLevelItem(i)->text(1);
    EXPECT_EQ(programNumber, "7310 ");
    ASSERT_GE(viewer.InfoList()->topLevelItemCount(), 4);
    EXPECT_EQ(viewer.InfoList()->topLevelItem(3)->text(0), "Typed by the engineer");

    // Nothing chosen to print.
    viewer.SetupBox()->setChecked(false);
    viewer.BatchingBox()->setChecked(false);
    viewer.RecipeBox()->setChecked(false);
    viewer.StringBox()->setChecked(false);
    bool asked = false;
    viewer.SetPrinterSetup([&](QPrinter&, QWidget*) { return asked = true; });
    viewer.OnPrint();
    EXPECT_FALSE(asked);
    EXPECT_EQ(prompter_.LastText(), "No data to print selected !");

    // The print dialog cancelled: nothing printed, nothing said.
    viewer.SetupBox()->setChecked(true);
    prompter_.Clear();
    viewer.SetPrinterSetup([&](QPrinter&, QWidget*) { return false; });
    viewer.OnPrint();
    EXPECT_TRUE(prompter_.Boxes().empty());
    // A printer that cannot start is said so, not passed over in silence.
    viewer.SetPrinterSetup([&](QPrinter& printer, QWidget*) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(dir_.File("no/such/folder/x.pdf")));
        return true;
    });
    viewer.OnPrint();
    EXPECT_EQ(prompter_.LastText(), "The printer could not be started: nothing was printed.");

    // A file that is not a set-up file empties the window again.
    const std::string bad = dir_.File("bad.kel");
    std::ofstream(bad, std::ios::binary) << "nothing\r\n";
    chooser_.Answer(bad);
    viewer.OnSelectFile();
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_TRUE(viewer.FileField()->text().isEmpty());
    EXPECT_FALSE(viewer.PrintButton()->isEnabled());
}

// pdftotext's text of a PDF file, one text column for each grid column (1/14 inch).
std::string PdfText(const std::string& pdf) {
    const std::string command = "pdftotext -layout -fixed 5.142857 '" + pdf + "' -";
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            text.append(buffer, n);
        pclose(pipe);
    }
    return text;
}

TEST_F(ViewerTest, PrintsToPdfOnTheCharacterGrid) {
    if (std::system("pdftotext -v >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "pdftotext (package poppler-utils) is not installed: the printed layout "
                        "cannot be read back";
    const std::string path = Backup();
    const std::string pdf = dir_.File("view.pdf");
    chooser_.Answer(path);
    CSetupViewerDlg viewer(prompter_, &chooser_);
    viewer.OnSelectFile();
    int columns = 0, lines = 0;
    viewer.SetPrinterSetup([&](QPrinter& printer, QWidget*) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf));
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageMargins(QMarginsF(0.5, 0.5, 0.5, 0.5), QPageLayout::Inch);
        CharacterGrid(printer, columns, lines);
        return true;
    });
    // Recipes left out keep the document short.
    viewer.RecipeBox()->setChecked(false);
    viewer.OnPrint();
    EXPECT_TRUE(prompter_.Boxes().empty()) << prompter_.LastText();
    EXPECT_EQ(columns, 14 * 7); // 7.27 printable inches across
    EXPECT_EQ(lines, 6 * 10);   // 10.69 down

    const std::string text = PdfText(pdf);
    ASSERT_FALSE(text.empty());
    std::vector<std::vector<std::string>> pages(1);
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        for (size_t ff; (ff = line.find('\f')) != std::string::npos;) {
            pages.back().push_back(line.substr(0, ff));
            pages.emplace_back();
            line = line.substr(ff + 1);
        }
        pages.back().push_back(line);
    }
    ASSERT_GE(pages.size(), 3u);

    // The header of page 2: the centred file name, the page number one column before the edge.
    const auto& second = pages[1];
    auto header = std::find_if(second.begin(), second.end(),
                               [](const std::string& l) { return l.find("view.kel") != l.npos; });
    ASSERT_NE(header, second.end()) << text.substr(0, 2000);
    const size_t title = header->find("view.kel");
    const size_t number = header->find_last_not_of(' ');
    EXPECT_EQ(header->substr(number), "2");
    // The grid puts the title ("view.kel", 8 characters) at columns/2 - 4 and the number at
    // columns - 2.
    EXPECT_EQ(number - title, size_t(columns - 2 - (columns / 2 - 4)));

    // A value line: the label padded to 35 characters, the value in column 36 of the line.
    int checked = 0;
    for (const auto& page : pages)
        for (const std::string& l : page) {
            const size_t label = l.find("Program number:");
            if (label == std::string::npos)
                continue;
            const size_t value = l.find_first_not_of(' ', label + 15);
            ASSERT_NE(value, std::string::npos) << l;
            EXPECT_EQ(value - label, 35u) << l;
            EXPECT_EQ(l.substr(value, 4), "7310") << l;
            ++checked;
        }
    EXPECT_EQ(checked, 1) << text.substr(0, 3000);
}

// Runs f on the modal dialog of type D once it is the active modal window: windows that come
// before it (the progress window of a read) are waited out.
template <class D> void WhenModalAfterOthers(std::function<void(D&)> f) {
    QTimer::singleShot(10, [f] {
        if (auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget()))
            f(*dialog);
        else
            WhenModalAfterOthers<D>(f);
    });
}

// "Compare…" on the panel: the instrument after a change against its backup; the result window
// lists the one row, saves it as text and prints it. From the viewer, the file against itself.
TEST_F(ViewerTest, CompareFromThePanelAndFromTheViewer) {
    const std::string path = Backup();
    Kel([](sim::Kel7Model& m) { m.SetNormalValue(3, m.NormalValue(3) + 1); });
    chooser_.Answer(path);
    const std::string text = dir_.File("changes");
    chooser_.Answer(text);
    CInstrumentPanelDlg panel(
        InlineSession(), *master_, kAddress, prompter_,
        SetupFilePanelHooks(*master_, prompter_, [this] { return &chooser_; }));
    panel.SetManualTicks(true);
    panel.Start();
    panel.OnTimer();
    ASSERT_TRUE(panel.CompareButton()->isEnabled());
    bool ran = false;
    WhenModalAfterOthers<CCompareDlg>([&](CCompareDlg& dialog) {
        ran = true;
        EXPECT_EQ(dialog.windowTitle(), "Compare set-ups");
        QTreeWidget* result = dialog.Result();
        ASSERT_EQ(result->topLevelItemCount(), 1);
        EXPECT_EQ(result->topLevelItem(0)->text(0), "General");
        ASSERT_EQ(result->topLevelItem(0)->childCount(), 1);
        EXPECT_EQ(result->topLevelItem(0)->child(0)->text(0), "Display contrast:");
        QTest::mouseClick(dialog.SaveButton(), Qt::LeftButton);
        const std::string saved = ReadAll(text + ".txt");
        EXPECT_EQ(saved.rfind("Compared: Instrument at address 1", 0), 0u) << saved;
        EXPECT_NE(saved.find("  Display contrast:"), std::string::npos) << saved;
        const std::string pdf = dir_.File("changes.pdf");
        dialog.SetPrinterSetup([&](QPrinter& printer, QWidget*) {
            // Print to PDF proposes this name as the file's: it must be one a file can have.
            EXPECT_FALSE(printer.docName().contains('/')) << printer.docName().toStdString();
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QString::fromStdString(pdf));
            return true;
        });
        QTest::mouseClick(dialog.PrintButton(), Qt::LeftButton);
        EXPECT_GT(std::filesystem::file_size(pdf), 0u);
        dialog.reject();
    });
    QTest::mouseClick(panel.CompareButton(), Qt::LeftButton);
    EXPECT_TRUE(ran);
    EXPECT_TRUE(prompter_.Boxes().empty()) << prompter_.LastText();
    panel.done(QDialog::Rejected);

    CSetupViewerDlg viewer(prompter_, &chooser_);
    EXPECT_FALSE(viewer.CompareButton()->isEnabled());
    chooser_.Answer(path);
    viewer.OnSelectFile();
    ASSERT_TRUE(viewer.CompareButton()->isEnabled());
    chooser_.Answer(path);
    ran = false;
    WhenModal<CCompareDlg>([&](CCompareDlg& dialog) {
        ran = true;
        EXPECT_EQ(dialog.Result()->topLevelItemCount(), 0);
        dialog.reject();
    });
    QTest::mouseClick(viewer.CompareButton(), Qt::LeftButton);
    EXPECT_TRUE(ran);
}

// "Edit offline…": the viewer's file in the set-up sheet without the instrument; a value changed
// through its ">>"; OK saves a new file through the save dialog, with the information edited.
TEST_F(ViewerTest, EditOfflineFromTheViewerSavesANewFile) {
    const std::string path = Backup();
    const size_t requests = bus_.RequestCount(kAddress);
    CSetupViewerDlg viewer(prompter_, &chooser_);
    EXPECT_FALSE(viewer.EditButton()->isEnabled());
    chooser_.Answer(path);
    viewer.OnSelectFile();
    ASSERT_TRUE(viewer.EditButton()->isEnabled());
    const std::string saved = dir_.File("edited");
    chooser_.Answer(saved);
    bool ran = false;
    WhenModal<CKelSetUpPropSheet>([&](CKelSetUpPropSheet& sheet) {
        ran = true;
        EXPECT_EQ(sheet.windowTitle(), "view.kel (Offline)");
        EXPECT_TRUE(sheet.CancelButton()->isVisible());
        EXPECT_EQ(sheet.Tabs()->count(), 13); // every page of Edit set-up
        for (int tab = sheet.Tabs()->count() - 1; tab >= 0; --tab)
            sheet.Tabs()->setCurrentIndex(tab); // each page shows the file's values
        const CSetupRow* contrast = sheet.Page(0)->RowOf(3);
        ASSERT_NE(contrast, nullptr);
        WhenModal<CChoiceDlg>([](CChoiceDlg& dialog) {
            dialog.List()->setCurrentIndex(6);
            QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
        });
        QTest::mouseClick(contrast->EditButton(), Qt::LeftButton);
        EXPECT_EQ(contrast->Value()->text(), "6");
        WhenModal<CSaveSetupDlg>([&](CSaveSetupDlg& dialog) {
            EXPECT_FALSE(dialog.InfoEdit()->toPlainText().isEmpty());
            dialog.InfoEdit()->setPlainText("desk copy");
            QTest::mouseClick(dialog.SelectButton(), Qt::LeftButton);
            QTest::mouseClick(dialog.SaveButton(), Qt::LeftButton);
            EXPECT_FALSE(dialog.isVisible());
        });
        QTest::mouseClick(sheet.OkButton(), Qt::LeftButton);
        EXPECT_FALSE(sheet.isVisible());
    });
    QTest::mouseClick(viewer.EditButton(), Qt::LeftButton);
    EXPECT_TRUE(ran);
    EXPECT_EQ(prompter_.LastText(), "The edited set-up was saved in " + saved + ".kel.");
    SetupFileImage image;
    ASSERT_EQ(LoadSetupFileImage(saved + ".kel", image, prompter_), SetupFileStatus::kOk);
    EXPECT_EQ(image.setup.Value(3), 6.0);
    EXPECT_EQ(image.userInfo.front(), "desk copy");
    EXPECT_EQ(bus_.RequestCount(kAddress), requests); // the instrument was never asked
}

} // namespace
} // namespace quarnex::test

#include "support/QtTestSupport.h"
#include "support/ScriptedFileChooser.h"
#include "support/ScriptedPrompter.h"

#include "app/CCompareDlg.h"
#include "app/CHistoryDlg.h"
#include "app/CSetupFileDlgs.h"
#include "fleet/FleetHistory.h"
#include "sim/Kel7Model.h"
#include "sim/SimBus.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace quarnex {
namespace {

namespace fs = std::filesystem;
using test::App;
using test::WhenModal;

// A history of two versions of one instrument, made by two fleet runs with a change between.
class HistoryDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        std::string error;
        ASSERT_TRUE(bus_.Start(error)) << error;
        auto kel7 = sim::MakeKel7({.serialNumber = 2260137});
        bus_.Attach(3, kel7);
        std::string pattern = (fs::temp_directory_path() / "quarnex-history-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        const FleetConfig config =
            ParseFleetFile("[link Hall B]\ndevice=" + bus_.DevicePath() + "\naddresses=3\n");
        ASSERT_TRUE(config.Usable());
        HistoryRepo repo;
        ASSERT_TRUE(repo.Open((dir_ / "history").string(), true, error)) << error;
        const auto now = [] { return std::time_t(1765000000); };
        ASSERT_EQ(StoreFleet(repo, ReadFleet(config.links, 0), now).ExitCode(), 1);
        bus_.WithModel<sim::Kel7Model>(
            3, [](sim::Kel7Model& m) { m.SetBatchValue(5 + 25 * 2 + 6, 25); });
        ASSERT_EQ(StoreFleet(repo, ReadFleet(config.links, 0), now).ExitCode(), 1);
        ASSERT_TRUE(InstrumentVersions(repo, "Hall B", 3, versions_, error)) << error;
        ASSERT_EQ(versions_.size(), 2u);
    }
    void TearDown() override {
        bus_.Stop();
        fs::remove_all(dir_);
    }

    sim::SimBus bus_;
    fs::path dir_;
    std::vector<HistoryVersion> versions_;
    ScriptedPrompter prompter_;
    ScriptedFileChooser chooser_;
};

TEST_F(HistoryDlgTest, ViewerOpensTheHistoryComparesAndSavesAVersion) {
    CSetupViewerDlg viewer(prompter_, &chooser_);
    viewer.SetHistoryFolderAsk([this](QWidget*) { return (dir_ / "history").string(); });
    const std::string saved = (dir_ / "restore-me.kel").string();
    chooser_.Answer(saved);
    bool ran = false, compared = false;
    WhenModal<CHistoryDlg>([&](CHistoryDlg& dialog) {
        ran = true;
        ASSERT_EQ(dialog.InstrumentList()->count(), 1);
        EXPECT_EQ(dialog.InstrumentList()->item(0)->text(), "Hall B/3");
        // The same versions as quarnex-cli history lists, newest first.
        QTreeWidget* list = dialog.VersionList();
        ASSERT_EQ(list->topLevelItemCount(), 2);
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(list->topLevelItem(i)->text(2).toStdString(),
                      versions_[static_cast<size_t>(i)].commit.substr(0, 12));
        EXPECT_EQ(list->topLevelItem(0)->text(3), "1 row");
        EXPECT_EQ(list->topLevelItem(1)->text(3), "first version");
        // The newest is chosen: compared with the one before it.
        EXPECT_TRUE(dialog.CompareButton()->isEnabled());
        WhenModal<CCompareDlg>([&](CCompareDlg& compare) {
            compared = true;
            QTreeWidget* result = compare.Result();
            bool fine = false;
            for (QTreeWidgetItemIterator it(result); *it; ++it)
                fine = fine || (*it)->text(0).contains("Fine value");
            EXPECT_TRUE(fine);
            // The PDF's name keeps the link's name: "Hall B/3@~1 ... vs Hall B/3@~0 ...".
            const QString slash(QChar(0x2215));
            EXPECT_TRUE(compare.DocumentName().startsWith("Hall B" + slash + "3@~"))
                << compare.DocumentName().toStdString();
            EXPECT_TRUE(compare.DocumentName().contains(" vs Hall B" + slash + "3@~"))
                << compare.DocumentName().toStdString();
            compare.reject();
        });
        QTest::mouseClick(dialog.CompareButton(), Qt::LeftButton);
        // The first version saved as a file for the restore: exactly what is stored.
        list->setCurrentItem(list->topLevelItem(1));
        EXPECT_FALSE(dialog.CompareButton()->isEnabled()); // nothing before the first
        QTest::mouseClick(dialog.SaveButton(), Qt::LeftButton);
        dialog.reject();
    });
    QTest::mouseClick(viewer.HistoryButton(), Qt::LeftButton);
    EXPECT_TRUE(ran);
    EXPECT_TRUE(compared);
    std::string stored, error;
    HistoryRepo repo;
    ASSERT_TRUE(repo.Open((dir_ / "history").string(), false, error));
    ASSERT_TRUE(repo.ReadFile(versions_[1].commit, versions_[1].path, stored, error));
    std::ifstream in(saved, std::ios::binary);
    std::stringstream written;
    written << in.rdbuf();
    EXPECT_EQ(written.str(), stored);
    EXPECT_NE(prompter_.LastText().find("restore-me.kel saved."), std::string::npos);
}

TEST_F(HistoryDlgTest, AFolderThatIsNoHistoryIsSaidSo) {
    CHistoryDlg dialog(prompter_, &chooser_);
    EXPECT_FALSE(dialog.OpenFolder(dir_.string()));
    EXPECT_NE(prompter_.LastText().find("cannot be opened as a set-up history"), std::string::npos)
        << prompter_.LastText();
    EXPECT_FALSE(dialog.CompareButton()->isEnabled());
    EXPECT_FALSE(dialog.SaveButton()->isEnabled());
}

} // namespace
} // namespace quarnex

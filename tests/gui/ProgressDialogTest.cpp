// The progress window of long operations: its percentage, and that it hands its owner back in
// the state it found it.
#include "support/QtTestSupport.h"

#include "ui/ProgressDialog.h"
#include "ui/QtFileChooser.h"
#include "ui/QtPrompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

#include <QMainWindow>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>

namespace quarnex::test {
namespace {

// Return presses the default button: Yes where Yes is the safe way, No where Yes would change or
// throw away something.
TEST(QtPrompter, ADestructiveQuestionDefaultsToNo) {
    App();
    QtPrompter prompter;
    for (const bool destructive : {false, true}) {
        WhenModal<QMessageBox>([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); });
        const bool yes = destructive ? prompter.AskDestructive(Prompter::Icon::Exclamation, "Go ?")
                                     : prompter.AskYesNo(Prompter::Icon::Question, "Go ?");
        EXPECT_EQ(yes, !destructive);
    }
}

TEST(ProgressDialog, ShowsCaptionRangeMessageAndPosition) {
    App();
    QMainWindow owner;
    owner.show();
    ProgressDialog progress;
    EXPECT_EQ(progress.windowTitle(), "Software upgrade in progress !");
    EXPECT_EQ(progress.Low(), 0);
    EXPECT_EQ(progress.High(), 100);
    EXPECT_EQ(progress.PercentShown(), " 0 %");
    progress.SetRange(100, 1200);
    ASSERT_TRUE(progress.Create(&owner));
    EXPECT_TRUE(progress.isVisible());
    EXPECT_TRUE(progress.isEnabled()); // the owner is disabled, the progress window is not
    EXPECT_EQ(progress.BarValue(), 100);
    EXPECT_EQ(progress.Pos(), 100);
    // A core procedure sees only the Progress face.
    Progress& core = progress;
    core.SetText("Erasing flash memory\nplease wait");
    EXPECT_EQ(progress.MessageShown(), "Erasing flash memory\nplease wait");
    core.SetPos(650);
    EXPECT_FALSE(core.CancelAsked());
    EXPECT_EQ(progress.BarValue(), 650);
    EXPECT_EQ(progress.PercentShown(), "50%");
    progress.SetPos(1200);
    EXPECT_EQ(progress.PercentShown(), "100%");
    progress.SetPos(1530); // 130 %: the bar stays at its end, the text wraps
    EXPECT_EQ(progress.BarValue(), 1200);
    EXPECT_EQ(progress.PercentShown(), "30%");
    // Escape does not hide the window while the operation still runs.
    QTest::keyClick(&progress, Qt::Key_Escape);
    EXPECT_TRUE(progress.isVisible());
    progress.Close();
    EXPECT_FALSE(progress.isVisible());
}

TEST(ProgressDialog, EachPositionFirstHandlesTheWaitingEvents) {
    App();
    ProgressDialog progress;
    ASSERT_TRUE(progress.Create(nullptr));
    bool handled = false;
    QTimer::singleShot(0, [&] { handled = true; });
    progress.SetPos(10);
    EXPECT_TRUE(handled);
    progress.Close();
}

TEST(ProgressDialog, OwnerIsGivenBackAsItWasFound) {
    App();
    QMainWindow owner;
    auto* child = new QPushButton(&owner);
    owner.show();
    {
        ProgressDialog progress;
        ASSERT_TRUE(progress.Create(child)); // the owner's top-level window is disabled
        EXPECT_FALSE(owner.isEnabled());
        progress.Close();
        EXPECT_TRUE(owner.isEnabled());
    }
    {
        ProgressDialog progress;
        ASSERT_TRUE(progress.Create(&owner));
        EXPECT_FALSE(owner.isEnabled());
    } // destroyed without Close: the owner comes back all the same
    EXPECT_TRUE(owner.isEnabled());

    owner.setEnabled(false); // disabled by someone else: it stays so
    {
        ProgressDialog progress;
        ASSERT_TRUE(progress.Create(&owner));
        progress.Close();
        EXPECT_FALSE(owner.isEnabled());
    }
    EXPECT_FALSE(owner.isEnabled());
}

TEST(QtFileChooser, FilterNamesThatShowTheirPatternsKeepThemOnce) {
    EXPECT_EQ(QtFileChooser::FilterText({{"KEL backup files (*.kel)", {"*.kel"}},
                                         {"All files (*.*)", {"*.*"}},
                                         {"Images (*.png *.jpg)", {"*.png", "*.jpg"}}}),
              "KEL backup files (*.kel);;All files (*.*);;Images (*.png *.jpg)");
    // A name that shows other patterns than the filter has still gets the real ones.
    EXPECT_EQ(QtFileChooser::FilterText({{"Old files (*.ks6)", {"*.ks7"}}}),
              "Old files (*.ks6) (*.ks7)");
}

TEST(QtFileChooser, FiltersAndDefaultExtension) {
    EXPECT_EQ(QtFileChooser::FilterText({{"Set-up files", {"*.ks7"}}, {"All files", {}}}),
              "Set-up files (*.ks7);;All files (*)");
    App();
    QtFileChooser chooser;
    const std::string dir = testing::TempDir();
    // The dialog is modal: answer it from the event loop it runs.
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(QString::fromStdString(dir + "backup"));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    const auto path = chooser.AskSave({"Save", {{"Set-up files", {"*.ks7"}}}, "ks7", dir});
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(*path, dir + "backup.ks7");
    QTimer::singleShot(0, [] {
        if (QWidget* dialog = QApplication::activeModalWidget())
            QMetaObject::invokeMethod(dialog, "reject");
    });
    EXPECT_EQ(chooser.AskOpen({"Open", {}, "", dir}), std::nullopt);

    // "backup" typed when backup.ks7 exists: asked before it is overwritten, No keeps it.
    std::ofstream(dir + "backup.ks7") << "kept\n";
    bool asked = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            asked = true;
            box->button(QMessageBox::No)->click();
            QTimer::singleShot(0, [] {
                if (QWidget* again = QApplication::activeModalWidget())
                    QMetaObject::invokeMethod(again, "reject");
            });
        });
        dialog->selectFile(QString::fromStdString(dir + "backup"));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    EXPECT_EQ(chooser.AskSave({"Save", {{"Set-up files", {"*.ks7"}}}, "ks7", dir}), std::nullopt);
    EXPECT_TRUE(asked);
    std::filesystem::remove(dir + "backup.ks7");
}

} // namespace
} // namespace quarnex::test

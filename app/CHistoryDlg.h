#pragma once

#include "fleet/HistoryBrowser.h"
#include "platform/FileChooser.h"
#include "platform/Prompter.h"
#include "ui/QtFileChooser.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;

namespace quarnex {

// "Set-up history": a plant's history folder (quarnex-cli fleet backup --history) opened from
// the set-up file viewer. The instruments on the left, the chosen one's versions on the right,
// newest first, as quarnex-cli history lists them; two versions (or one, against the version
// before it) compared in the compare window; one saved as a set-up file that the panel's normal
// restore loads.
class CHistoryDlg : public QDialog {
    Q_OBJECT
public:
    CHistoryDlg(Prompter& prompter, FileChooser* chooser = nullptr, QWidget* parent = nullptr);

    // False (its message shown) when dir is no history or holds no set-up yet.
    bool OpenFolder(const std::string& dir);
    void OnCompare();
    void OnSave();

    QListWidget* InstrumentList() const { return instruments_; }
    QTreeWidget* VersionList() const { return versions_; }
    QPushButton* CompareButton() const { return compare_; }
    QPushButton* SaveButton() const { return save_; }

private:
    void OnInstrument(int row);
    void UpdateButtons();
    std::vector<size_t> Chosen() const;

    Prompter& prompter_;
    QtFileChooser qtChooser_;
    FileChooser& chooser_;
    HistoryBrowser browser_;
    QLineEdit* folder_;
    QListWidget* instruments_;
    QTreeWidget* versions_;
    QPushButton* compare_;
    QPushButton* save_;
};

// The viewer's "History...": asks for the history folder and shows it. askFolder stands in for
// the system's folder dialog in tests.
using FolderAsk = std::function<std::optional<std::string>(QWidget* parent)>;
void OpenHistoryChosen(QWidget* parent, Prompter& prompter, FileChooser* chooser,
                       const FolderAsk& askFolder = {});

} // namespace quarnex

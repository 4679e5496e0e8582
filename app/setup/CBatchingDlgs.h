#pragma once

#include "app/setup/CSetupRows.h"
#include "ui/PollingDialog.h"

#include <string>

class QHBoxLayout;
class QPushButton;

namespace quarnex {

// A page of the set-up in a dialog of its own (the activity and recipe dialogs): its rows in the
// one row widget over the one page model, and OK. Edit mode shows the copy at once, after reading
// what the page opens on; show mode polls with the page's own phases while the dialog is up. Rows
// that come and go keep their room: the dialog keeps its size and its value column.
class CSetupPageDlg : public CPageHost<PollingDialog> {
    Q_OBJECT
public:
    // Edit mode: renders at once (a recipe is read first). Show mode: the answer check, then the
    // timer.
    void Open();
    QPushButton* OkButton() const { return ok_; }

protected:
    CSetupPageDlg(SetupSource& source, PageDescriptor page, bool editMode,
                  const std::string& caption, QWidget* parent);
    // Buttons left of OK.
    void AddButton(QPushButton* button);

private:
    QHBoxLayout* buttons_;
    QPushButton* ok_;
};

// "Batching activity no": the rows the activity's type uses, rebuilt after every edit and every
// show-mode read.
class CActivityDlg : public CSetupPageDlg {
    Q_OBJECT
public:
    CActivityDlg(SetupSource& source, int activity, bool editMode, QWidget* parent = nullptr);
    // Shows the dialog modally; in show mode it polls with its own phases while it is up.
    static void Run(SetupSource& source, int activity, bool editMode, QWidget* parent);
};

// "Recipe no": the name and fifteen lines at a time, with "LINE 16 - 30" / "LINE 1 - 15".
class CRecipeDlg : public CSetupPageDlg {
    Q_OBJECT
public:
    CRecipeDlg(SetupSource& source, int recipe, bool editMode, QWidget* parent = nullptr);
    static void Run(SetupSource& source, int recipe, bool editMode, QWidget* parent);

    const CSetupRow& NameRow() const { return Row(0); }
    // Line 0-14 of the half shown: its activity, or its set point.
    const CSetupRow& Line(int line, bool setpoint) const {
        return Row(static_cast<size_t>(1 + 2 * line + (setpoint ? 1 : 0)));
    }
    QPushButton* Lines16To30Button() const { return second_; }
    QPushButton* Lines1To15Button() const { return first_; }

private:
    void ShowLinesFrom(int line);
    void Render() override;

    int recipe_;
    int firstLine_ = 1;
    QPushButton* second_;
    QPushButton* first_;
};

} // namespace quarnex

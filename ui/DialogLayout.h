#pragma once

#include <string>

class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace quarnex {

// A display field of a polling window: read-only, out of the tab order, wide enough for chars
// digits of the window's font.
QLineEdit* ReadOnlyField(QWidget* parent, int chars, bool alignRight = false);

// A read-only text field that shows something chosen elsewhere (a file's name, what is in it): the
// window's background instead of the white of a field to type into.
void LookReadOnly(QWidget* field);

// Rewrites a field with an instrument text (or a label with a table text) only when it changed,
// so a tick that changes nothing does not repaint or move the user's selection.
void SetText(QLineEdit* field, const std::string& instrumentText);
void SetText(QLabel* label, const std::string& text);

// The layout every entry dialog shares: the label and its field in a row, OK (the default) and
// Cancel stacked on the right. Returns OK; cancel receives the Cancel button when asked for.
QPushButton* LayOutEntry(QDialog* dialog, QLabel* label, QWidget* field,
                         QPushButton** cancel = nullptr);

// A dialog's own extra controls go after the field, beside the OK/Cancel column: between the
// label and its field they would split the row the user types in.
void AddBesideField(QDialog* dialog, QWidget* widget);

} // namespace quarnex

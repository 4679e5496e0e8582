#include "ui/DialogLayout.h"

#include "res/PanelTextIds.h"
#include "ui/UiText.h"

#include <QBoxLayout>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quarnex {

QLineEdit* ReadOnlyField(QWidget* parent, int chars, bool alignRight) {
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QLatin1Char('0')) * (chars + 2));
    if (alignRight)
        field->setAlignment(Qt::AlignRight);
    return field;
}

void LookReadOnly(QWidget* field) {
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    field->setPalette(palette);
}

void SetText(QLineEdit* field, const std::string& instrumentText) {
    const QString value = FromInstrument(instrumentText);
    if (field->text() != value)
        field->setText(value);
}

void SetText(QLabel* label, const std::string& text) {
    const QString value = QString::fromStdString(text);
    if (label->text() != value)
        label->setText(value);
}

QPushButton* LayOutEntry(QDialog* dialog, QLabel* label, QWidget* field, QPushButton** cancel) {
    label->setBuddy(field);
    auto* ok = new QPushButton(Ui(ids::kOk), dialog);
    auto* cancelButton = new QPushButton(Ui(ids::kCancel), dialog);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancelButton, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancelButton);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(dialog);
    layout->addWidget(label);
    layout->addWidget(field, 1);
    layout->addLayout(buttons);
    if (cancel)
        *cancel = cancelButton;
    return ok;
}

void AddBesideField(QDialog* dialog, QWidget* widget) {
    auto* row = static_cast<QBoxLayout*>(dialog->layout());
    row->insertWidget(row->count() - 1, widget);
}

} // namespace quarnex

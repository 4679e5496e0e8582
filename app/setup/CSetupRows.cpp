#include "app/setup/CSetupRows.h"

#include "ui/DialogLayout.h"
#include "ui/UiText.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quarnex {

namespace {

// The value field holds the widest value any row shows ("----------", a weight, a choice text).
constexpr int kValueChars = 18;
constexpr int kUnitChars = 6;

// The room a framed group takes on each side of its rows. Plain rows get the same, so every value
// of a page sits in one column, framed or not.
QMargins GroupInset(QWidget* parent) {
    QGroupBox probe(QStringLiteral("x"), parent);
    auto* grid = new QGridLayout(&probe);
    probe.ensurePolished();
    grid->activate();
    const QRect inner = probe.contentsRect();
    const QMargins layout = grid->contentsMargins();
    const int left = inner.left() + layout.left();
    const int right = probe.width() - 1 - inner.right() + layout.right();
    return {left, 0, right, 0};
}

// A widget that hides keeps its place, so the columns beside it do not move.
void KeepPlaceWhenHidden(QWidget* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

} // namespace

CSetupRow::CSetupRow(QWidget* parent, QGridLayout* grid, int gridRow, int firstColumn,
                     bool keepPlace)
    : label_(new QLabel(parent)), value_(new QLineEdit(parent)), unit_(new QLabel(parent)),
      edit_(new QPushButton(QStringLiteral(">>"), parent)) {
    // The label column takes the room a wider window gives: the label keeps to the right end of
    // it, beside its field, however wide the sheet is made.
    label_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value_->setReadOnly(true);
    value_->setFocusPolicy(Qt::NoFocus);
    const QFontMetrics metrics(value_->font());
    value_->setMinimumWidth(metrics.horizontalAdvance(QLatin1Char('0')) * kValueChars);
    unit_->setMinimumWidth(metrics.horizontalAdvance(QLatin1Char('m')) * kUnitChars);
    // Return on a focused ">>" opens its editor (or its dialog), never the window's OK.
    edit_->setAutoDefault(true);
    edit_->setFixedWidth(metrics.horizontalAdvance(QStringLiteral(">>")) + 16);
    QWidget* const widgets[] = {label_, value_, unit_, edit_};
    for (int c = 0; c < kColumns; ++c) {
        if (keepPlace)
            KeepPlaceWhenHidden(widgets[c]);
        grid->addWidget(widgets[c], gridRow, firstColumn + c);
    }
}

void CSetupRow::Render(const RowDisplay& row, bool instrumentText) {
    for (QWidget* w : {static_cast<QWidget*>(label_), static_cast<QWidget*>(value_),
                       static_cast<QWidget*>(unit_)})
        w->setVisible(row.state.shown);
    edit_->setVisible(row.editButton);
    label_->setEnabled(row.state.enabled);
    edit_->setEnabled(row.state.enabled && row.editEnabled);
    // The special menu's labels and units are the instrument's own texts, one byte a character;
    // the values are formatted numbers and table texts.
    if (instrumentText) {
        label_->setText(FromInstrument(row.label));
        unit_->setText(FromInstrument(row.unit));
    } else {
        SetText(label_, row.label);
        SetText(unit_, row.unit);
    }
    SetText(value_, row.value);
}

CSetupRows::CSetupRows(const KelSetUpPage& page, std::function<void(size_t)> onEdit, bool keepPlace,
                       QWidget* parent)
    : QWidget(parent) {
    const PageDescriptor& descriptor = page.Descriptor();
    const std::vector<PageRow>& rows = page.CurrentRows();
    const size_t count = std::max(rows.size(), descriptor.capacity);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    rows_.reserve(count);
    QGridLayout* grid = nullptr;
    QWidget* gridOwner = nullptr;
    size_t groupEnd = 0;
    for (size_t i = 0; i < count; ++i) {
        // A group's rows sit in a framed box with its heading; the other rows in plain grids.
        const PageGroup* group = nullptr;
        for (const PageGroup& g : descriptor.groups)
            if (g.firstRow == i)
                group = &g;
        if (group) {
            auto* box = new QGroupBox(Ui(group->title), this);
            grid = new QGridLayout(box);
            gridOwner = box;
            groupEnd = i + group->rowCount;
            layout->addWidget(box);
        } else if (!grid || (groupEnd != 0 && i == groupEnd)) {
            auto* plain = new QWidget(this);
            grid = new QGridLayout(plain);
            grid->setContentsMargins(GroupInset(this));
            gridOwner = plain;
            groupEnd = 0;
            layout->addWidget(plain);
        }
        // A row placed by the page (the recipes' columns) takes its line and column; the others
        // go under the row before them.
        const RowPlace place = i < rows.size() ? rows[i].place : RowPlace{};
        const int column = CSetupRow::kColumns * place.column;
        grid->setColumnStretch(column, 1);
        rows_.emplace_back(gridOwner, grid, place.line >= 0 ? place.line : grid->rowCount(), column,
                           keepPlace);
        connect(rows_.back().EditButton(), &QPushButton::clicked, this, [onEdit, i] { onEdit(i); });
    }
    layout->addStretch();
}

void CSetupRows::Render(const KelSetUpPage& page) {
    const std::vector<PageRow>& rows = page.CurrentRows();
    const std::vector<RowDisplay>& display = page.Rows();
    RowDisplay unused;
    unused.state = kRowHidden;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (i < display.size() && i < rows.size())
            rows_[i].Render(display[i], rows[i].editor == EditorKind::Special);
        else
            rows_[i].Render(unused, false);
    }
}

} // namespace quarnex

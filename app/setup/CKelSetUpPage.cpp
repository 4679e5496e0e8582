#include "app/setup/CKelSetUpPage.h"

#include "app/edit/RunEditor.h"
#include "instrument/InstrumentSetup.h"
#include "ui/DialogLayout.h"
#include "ui/UiText.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace quarnex {

namespace {

// The value field holds the widest value any row shows ("----------", a weight, a choice text).
constexpr int kValueChars = 18;
constexpr int kUnitChars = 6;
// A page may be made this low on a small screen; it scrolls then.
constexpr int kMinRowsHeight = 240;

// Scrolls the rows vertically only: always as wide as the rows with the scroll bar beside them.
// It asks for the rows' full height, so the sheet opens without scrolling where the screen
// allows, and can be made as low as kMinRowsHeight. (The rows' size is known only once their
// texts are set and the style has polished them, so it is asked for each time.)
class RowsScrollArea : public QScrollArea {
public:
    QSize minimumSizeHint() const override {
        const QSize full = sizeHint();
        return {full.width(), std::min(full.height(), kMinRowsHeight)};
    }
    QSize sizeHint() const override {
        if (!widget())
            return QScrollArea::sizeHint();
        const QSize rows = widget()->sizeHint();
        return {rows.width() + verticalScrollBar()->sizeHint().width() + 2 * frameWidth(),
                rows.height() + 2 * frameWidth()};
    }
};

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

} // namespace

CSetupRow::CSetupRow(QWidget* parent, QGridLayout* grid, int gridRow)
    : label_(new QLabel(parent)), value_(new QLineEdit(parent)), unit_(new QLabel(parent)),
      edit_(new QPushButton(QStringLiteral(">>"), parent)) {
    value_->setReadOnly(true);
    value_->setFocusPolicy(Qt::NoFocus);
    const QFontMetrics metrics(value_->font());
    value_->setMinimumWidth(metrics.horizontalAdvance(QLatin1Char('0')) * kValueChars);
    unit_->setMinimumWidth(metrics.horizontalAdvance(QLatin1Char('m')) * kUnitChars);
    // Return on a focused ">>" opens its editor, never the sheet's OK.
    edit_->setAutoDefault(true);
    edit_->setFixedWidth(metrics.horizontalAdvance(QStringLiteral(">>")) + 16);
    grid->addWidget(label_, gridRow, 0);
    grid->addWidget(value_, gridRow, 1);
    grid->addWidget(unit_, gridRow, 2);
    grid->addWidget(edit_, gridRow, 3);
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

CKelSetUpPage::CKelSetUpPage(SetupSource& source, const PageDescriptor& page, bool editMode,
                             QWidget* parent)
    : CKelSetUpPage(source, std::make_unique<KelSetUpPage>(source, page, editMode), parent) {}

CKelSetUpPage::CKelSetUpPage(SetupSource& source, std::unique_ptr<KelSetUpPage> logic,
                             QWidget* parent)
    : QWidget(parent), source_(source), logic_(std::move(logic)) {
    const PageDescriptor& page = logic_->Descriptor();
    auto* rowsWidget = new QWidget;
    auto* rowsLayout = new QVBoxLayout(rowsWidget);
    rowsLayout->setContentsMargins(0, 0, 0, 0);
    rows_.reserve(page.rows.size());
    QGridLayout* grid = nullptr;
    QWidget* gridOwner = nullptr;
    size_t groupEnd = 0;
    for (size_t i = 0; i < page.rows.size(); ++i) {
        // A group's rows sit in a framed box with its heading; the other rows in plain grids.
        const PageGroup* group = nullptr;
        for (const PageGroup& g : page.groups)
            if (g.firstRow == i)
                group = &g;
        if (group) {
            auto* box = new QGroupBox(Ui(group->title), rowsWidget);
            grid = new QGridLayout(box);
            gridOwner = box;
            groupEnd = i + group->rowCount;
            rowsLayout->addWidget(box);
        } else if (!grid || (groupEnd != 0 && i == groupEnd)) {
            auto* plain = new QWidget(rowsWidget);
            grid = new QGridLayout(plain);
            grid->setContentsMargins(GroupInset(rowsWidget));
            gridOwner = plain;
            groupEnd = 0;
            rowsLayout->addWidget(plain);
        }
        grid->setColumnStretch(0, 1);
        rows_.emplace_back(gridOwner, grid, grid->rowCount());
        connect(rows_.back().EditButton(), &QPushButton::clicked, this, [this, i] { EditRow(i); });
    }
    rowsLayout->addStretch();

    // Long pages (levels, inputs, outputs) scroll instead of making the sheet taller than the
    // screen.
    auto* scroll = new RowsScrollArea;
    scroll_ = scroll;
    scroll->setWidget(rowsWidget);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(scroll, 1);
    liveColumn_ = new QVBoxLayout;
    layout->addLayout(liveColumn_);
    Render();
}

const CSetupRow* CKelSetUpPage::RowOf(int parameter) const {
    const auto& rows = logic_->Descriptor().rows;
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].parameter == parameter)
            return &rows_[i];
    return nullptr;
}

void CKelSetUpPage::AddLivePart(QWidget* part) {
    liveColumn_->addWidget(part);
}

void CKelSetUpPage::Render() {
    const auto& rows = logic_->Descriptor().rows;
    const std::vector<RowDisplay>& display = logic_->Rows();
    for (size_t i = 0; i < rows_.size() && i < display.size(); ++i)
        rows_[i].Render(display[i], rows[i].editor == EditorKind::Special);
    // The rows' texts decide their width; the scroll area asks for it anew.
    scroll_->updateGeometry();
}

void CKelSetUpPage::EditRow(size_t i) {
    const std::optional<EditRequest> request = logic_->Edit(i);
    if (!request)
        return;
    // No read of the page reaches the bus while the dialog is up: the shunt dialog measures on
    // its own, and a write that waits for the instrument to measure must not meet a poll.
    const bool polling = TimerActive();
    WithTimerStopped([&] {
        logic_->EditEnded(i, RunEditor(*request, source_, window()));
        Render();
        return polling ? period_ : KelSetUpPage::kNoTimer;
    });
}

} // namespace quarnex

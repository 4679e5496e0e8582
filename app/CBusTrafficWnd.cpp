#include "app/CBusTrafficWnd.h"

#include "comm/ModbusMaster.h"
#include "res/TrafficTextIds.h"
#include "session/BusSession.h"
#include "ui/QtFileChooser.h"
#include "ui/UiText.h"

#include <QApplication>
#include <QBrush>
#include <QComboBox>
#include <QFont>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace quarnex {

namespace {

QPushButton* Button(int textId, QWidget* parent, QLayout* layout) {
    auto* b = new QPushButton(Ui(textId), parent);
    layout->addWidget(b);
    return b;
}

// Draws a cell's text from a cache of texts laid out once. Polling repeats the same addresses,
// functions, registers, requests and (while the weight stands still) answers row after row, and
// with the table following the newest rows every refresh paints every row in sight anew: laying
// out each cell's text again each time was most of what the open window cost.
class CachedTextDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        // Background, selection and focus as the style draws them; then the text.
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        if (text.isEmpty())
            return;
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        const QRect rect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget)
                               .adjusted(margin, 0, -margin, 0);
        const QStaticText& laid = Laid(text, opt.font);
        const QSizeF size = laid.size();
        const qreal x =
            (opt.displayAlignment & Qt::AlignRight) ? rect.right() + 1 - size.width() : rect.left();
        const qreal y = rect.top() + (rect.height() - size.height()) / 2;
        const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                           : (opt.state & QStyle::State_Active)
                                               ? QPalette::Normal
                                               : QPalette::Inactive;
        painter->save();
        painter->setFont(opt.font);
        painter->setPen(opt.palette.color(group, (opt.state & QStyle::State_Selected)
                                                     ? QPalette::HighlightedText
                                                     : QPalette::Text));
        painter->setClipRect(rect);
        painter->drawStaticText(QPointF(x, y), laid);
        painter->restore();
    }

private:
    // About a screen of cells (most repeat); emptied when full (the rows in sight fill it again).
    static constexpr qsizetype kCached = 300;

    const QStaticText& Laid(const QString& text, const QFont& font) const {
        const QString key = font.key() + QChar(0) + text;
        auto it = cache_.find(key);
        if (it == cache_.end()) {
            if (cache_.size() >= kCached)
                cache_.clear();
            QStaticText laid(text);
            laid.setTextFormat(Qt::PlainText);
            laid.prepare(QTransform(), font);
            it = cache_.insert(key, laid);
        }
        return *it;
    }

    mutable QHash<QString, QStaticText> cache_;
};

} // namespace

CBusTrafficWnd::CBusTrafficWnd(ModbusMaster& bus, TrafficRecorder& recorder, Prompter& prompter,
                               FileChooser* chooser, QWidget* parent, BusSession* session)
    : QWidget(parent, Qt::Window), bus_(bus), recorder_(recorder), session_(session),
      prompter_(prompter), ownChooser_(chooser ? nullptr : std::make_unique<QtFileChooser>(this)),
      chooser_(chooser ? *chooser : *ownChooser_), logic_(recorder) {
    setWindowTitle(Ui(ids::kTrafficCaption));
    setAttribute(Qt::WA_DeleteOnClose);
    if (session_ && session_->GetMode() == BusSession::Mode::Threaded) {
        relay_ = std::make_unique<TrafficRelay>(session_->GetDelivery(), recorder_);
        Observe(relay_.get());
    } else {
        Observe(&recorder_);
    }

    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    layout->addLayout(bar);
    pause_ = Button(ids::kTrafficPause, this, bar);
    QPushButton* clear = Button(ids::kTrafficClear, this, bar);
    bar->addWidget(new QLabel(Ui(ids::kTrafficAddressFilter), this));
    filter_ = new QComboBox(this);
    filter_->addItem(Ui(ids::kTrafficAllAddresses), 0);
    bar->addWidget(filter_);
    bar->addStretch();
    QPushButton* saveCsv = Button(ids::kTrafficSaveCsv, this, bar);
    QPushButton* saveText = Button(ids::kTrafficSaveText, this, bar);
    QPushButton* close = Button(ids::kTrafficClose, this, bar);

    model_ = new TrafficTableModel(logic_, this);
    table_ = new QTableView(this);
    table_->setModel(model_);
    table_->setItemDelegate(new CachedTextDelegate(table_));
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->setVisible(false);
    // Rows of one height: the view places 20,000 of them without asking each for its size.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    // Columns sized to the first screenful of rows, not to every row the ring holds.
    table_->horizontalHeader()->setResizeContentsPrecision(200);
    // No stretched last section: the timing warning is the last column, and a stretched section
    // behind the wide hex columns would be cut down to a few letters.
    table_->horizontalHeader()->setStretchLastSection(false);
    table_->setWordWrap(false);
    table_->setTextElideMode(Qt::ElideNone); // cells are sized to their texts: no second layout
    layout->addWidget(table_);
    summary_ = new QLabel(this);
    summary_->setWordWrap(true);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(summary_);
    resize(1100, 500);

    connect(pause_, &QPushButton::clicked, this, [this] {
        logic_.SetPaused(!logic_.Paused());
        Render();
    });
    connect(clear, &QPushButton::clicked, this, [this] {
        logic_.Clear();
        Render();
    });
    connect(filter_, &QComboBox::activated, this, [this](int index) {
        logic_.SetAddressFilter(filter_->itemData(index).toInt());
        Render();
    });
    connect(saveCsv, &QPushButton::clicked, this, [this] { logic_.SaveCsv(chooser_, prompter_); });
    connect(saveText, &QPushButton::clicked, this,
            [this] { logic_.SaveText(chooser_, prompter_); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    // Following the newest rows, as a terminal does: the view stays at the bottom whenever its
    // range changes (new rows, and the window laid out or resized after it was shown), until
    // the user scrolls up; scrolling back to the bottom follows again.
    QScrollBar* scroll = table_->verticalScrollBar();
    connect(scroll, &QScrollBar::rangeChanged, this, [this](int, int maximum) {
        if (follow_)
            table_->verticalScrollBar()->setValue(maximum);
    });
    connect(scroll, &QScrollBar::valueChanged, this,
            [this](int value) { follow_ = value == table_->verticalScrollBar()->maximum(); });

    timer_.Connect(this, &CBusTrafficWnd::OnTimer);
    Render();
    timer_.Rearm(BusTraffic::kRefreshMs);
}

CBusTrafficWnd::~CBusTrafficWnd() {
    // Nobody watches once the window is gone: the master stops noting times.
    TrafficObserver* mine = relay_ ? static_cast<TrafficObserver*>(relay_.get()) : &recorder_;
    if (bus_.GetTrafficObserver() == mine)
        Observe(nullptr);
    if (relay_)
        relay_->Detach(); // records still on their way find nobody
}

void CBusTrafficWnd::Observe(TrafficObserver* observer) {
    if (!session_) {
        bus_.SetTrafficObserver(observer);
        return;
    }
    const auto hold = session_->HoldBus();
    bus_.SetTrafficObserver(observer);
}

void CBusTrafficWnd::keyPressEvent(QKeyEvent* event) {
    // Escape closes it as it would a dialog (the table, the buttons and the list pass it on).
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CBusTrafficWnd::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Opened over records already kept, the table starts at the newest and follows them. Before
    // the first show the table has no size, so scrolling to its end in the constructor did
    // nothing: the window opened on the oldest rows, which a wrapping ring overwrites first.
    if (!shown_) {
        shown_ = true;
        follow_ = true;
        table_->scrollToBottom();
    }
}

void CBusTrafficWnd::OnTimer() {
    timer_.Stop();
    const int next = logic_.Tick();
    Render();
    timer_.Rearm(next);
}

void CBusTrafficWnd::WidenForWarnings(size_t firstRow) {
    // A warning that comes after the columns were sized is shown in full: only the new rows are
    // measured.
    int wanted = 0;
    for (size_t r = firstRow; r < logic_.RowCount(); ++r) {
        const std::optional<TrafficRecord> record = logic_.Row(r);
        const std::string warning = record ? traffic::Warning(*record) : std::string();
        if (!warning.empty())
            wanted =
                std::max(wanted, fontMetrics().horizontalAdvance(QString::fromStdString(warning)));
    }
    if (wanted > 0) {
        wanted += 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table_) + 8;
        if (table_->columnWidth(kWarning) < wanted)
            table_->setColumnWidth(kWarning, wanted);
    }
}

void CBusTrafficWnd::Render() {
    const BusTraffic::Changes c = logic_.TakeChanges();
    if (!c.Any())
        return; // nothing arrived: nothing to redo
    const size_t before = static_cast<size_t>(model_->rowCount());
    model_->Apply(c);
    if (c.reset || (before == 0 && c.added > 0))
        table_->resizeColumnsToContents();
    else if (c.added > 0)
        WidenForWarnings(logic_.RowCount() - c.added);
    if (follow_ && (c.added > 0 || c.reset))
        table_->scrollToBottom();

    if (c.pause || c.reset)
        pause_->setText(QString::fromStdString(logic_.PauseText()));
    if (c.summary || c.reset)
        summary_->setText(QString::fromStdString(logic_.Summary()));
    if (c.addresses || c.reset) {
        const int current = logic_.AddressFilter();
        filter_->blockSignals(true);
        while (filter_->count() > 1)
            filter_->removeItem(1);
        for (int a : logic_.Addresses())
            filter_->addItem(QString::number(a), a);
        filter_->setCurrentIndex(std::max(0, filter_->findData(current)));
        filter_->blockSignals(false);
    }
}

TrafficTableModel::TrafficTableModel(BusTraffic& logic, QObject* parent)
    : QAbstractTableModel(parent), logic_(logic) {
    rows_ = static_cast<int>(logic_.RowCount());
}

int TrafficTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TrafficTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : CBusTrafficWnd::kColumnCount;
}

QVariant TrafficTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const int headings[CBusTrafficWnd::kColumnCount] = {
        ids::kTrafficColTime,     ids::kTrafficColAttempt,  ids::kTrafficColAddress,
        ids::kTrafficColFunction, ids::kTrafficColRegister, ids::kTrafficColCount,
        ids::kTrafficColStatus,   ids::kTrafficColResponse, ids::kTrafficColGap,
        ids::kTrafficColRequest,  ids::kTrafficColAnswer,   ids::kTrafficColWarning};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < CBusTrafficWnd::kColumnCount)
        return Ui(headings[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

const traffic::TrafficRow& TrafficTableModel::RowTexts(int row) const {
    const uint64_t serial = logic_.RowSerial(static_cast<size_t>(row));
    if (serial != 0 && serial == cachedSerial_)
        return cached_;
    const std::optional<TrafficRecord> r = logic_.Row(static_cast<size_t>(row));
    if (!r) {
        static const traffic::TrafficRow kGone;
        return kGone;
    }
    cached_ = traffic::MakeRow(*r);
    cachedSerial_ = serial;
    return cached_;
}

QVariant TrafficTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_)
        return {};
    using W = CBusTrafficWnd;
    const int c = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: {
        const traffic::TrafficRow& r = RowTexts(index.row());
        const std::string* fields[W::kColumnCount] = {&r.time, &r.attempt, &r.address, &r.function,
                                                      &r.reg,  &r.count,   &r.status,  &r.response,
                                                      &r.gap,  &r.request, &r.answer,  &r.warning};
        if (role == Qt::ToolTipRole && (c != W::kWarning || r.warning.empty()))
            return {};
        return QString::fromStdString(*fields[c]);
    }
    case Qt::FontRole:
        if (c == W::kRequest || c == W::kAnswer)
            return QFontDatabase::systemFont(QFontDatabase::FixedFont);
        return {};
    case Qt::TextAlignmentRole:
        if (c >= W::kAddress && c <= W::kGap && c != W::kFunction && c != W::kStatus)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case Qt::ForegroundRole:
        if (c == W::kStatus && RowTexts(index.row()).failed)
            return QBrush(Qt::darkRed);
        return {};
    case Qt::BackgroundRole:
        if ((c == W::kWarning || c == W::kGap || c == W::kResponse) && RowTexts(index.row()).warned)
            return QBrush(QColor(255, 230, 150));
        return {};
    default:
        return {};
    }
}

void TrafficTableModel::Apply(const BusTraffic::Changes& changes) {
    const int now = static_cast<int>(logic_.RowCount());
    cachedSerial_ = 0;
    if (changes.reset) {
        beginResetModel();
        rows_ = now;
        endResetModel();
        return;
    }
    if (changes.removed > 0) {
        const int removed = std::min(rows_, static_cast<int>(changes.removed));
        beginRemoveRows({}, 0, removed - 1);
        rows_ -= removed;
        endRemoveRows();
    }
    if (now > rows_) {
        beginInsertRows({}, rows_, now - 1);
        rows_ = now;
        endInsertRows();
    }
}

} // namespace quarnex

#include "app/CBusTrafficWnd.h"

#include "comm/ModbusMaster.h"
#include "res/TrafficTextIds.h"
#include "ui/QtFileChooser.h"
#include "ui/UiText.h"

#include <QBrush>
#include <QComboBox>
#include <QFont>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace quarnex {

namespace {

QPushButton* Button(int textId, QWidget* parent, QLayout* layout) {
    auto* b = new QPushButton(Ui(textId), parent);
    layout->addWidget(b);
    return b;
}

} // namespace

CBusTrafficWnd::CBusTrafficWnd(ModbusMaster& bus, TrafficRecorder& recorder, Prompter& prompter,
                               FileChooser* chooser, QWidget* parent)
    : QWidget(parent, Qt::Window), bus_(bus), recorder_(recorder), prompter_(prompter),
      ownChooser_(chooser ? nullptr : std::make_unique<QtFileChooser>(this)),
      chooser_(chooser ? *chooser : *ownChooser_), logic_(recorder) {
    setWindowTitle(Ui(ids::kTrafficCaption));
    setAttribute(Qt::WA_DeleteOnClose);
    bus_.SetTrafficObserver(&recorder_);

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

    table_ = new QTableWidget(0, kColumnCount, this);
    const int headings[kColumnCount] = {
        ids::kTrafficColTime,     ids::kTrafficColAttempt,  ids::kTrafficColAddress,
        ids::kTrafficColFunction, ids::kTrafficColRegister, ids::kTrafficColCount,
        ids::kTrafficColStatus,   ids::kTrafficColResponse, ids::kTrafficColGap,
        ids::kTrafficColRequest,  ids::kTrafficColAnswer,   ids::kTrafficColWarning};
    QStringList labels;
    for (int id : headings)
        labels << Ui(id);
    table_->setHorizontalHeaderLabels(labels);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->setVisible(false);
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    // No stretched last section: the timing warning is the last column, and a stretched section
    // behind the wide hex columns would be cut down to a few letters.
    table_->horizontalHeader()->setStretchLastSection(false);
    table_->setWordWrap(false);
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

    timer_.Connect(this, &CBusTrafficWnd::OnTimer);
    Render();
    timer_.Rearm(BusTraffic::kRefreshMs);
}

CBusTrafficWnd::~CBusTrafficWnd() {
    // Nobody watches once the window is gone: the master stops noting times.
    if (bus_.GetTrafficObserver() == &recorder_)
        bus_.SetTrafficObserver(nullptr);
}

void CBusTrafficWnd::OnTimer() {
    timer_.Stop();
    const int next = logic_.Tick();
    Render();
    timer_.Rearm(next);
}

void CBusTrafficWnd::SetRow(int row, const traffic::TrafficRow& r) {
    const std::string* fields[kColumnCount] = {&r.time, &r.attempt, &r.address, &r.function,
                                               &r.reg,  &r.count,   &r.status,  &r.response,
                                               &r.gap,  &r.request, &r.answer,  &r.warning};
    static const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (int c = 0; c < kColumnCount; ++c) {
        auto* item = new QTableWidgetItem(QString::fromStdString(*fields[c]));
        if (c == kRequest || c == kAnswer)
            item->setFont(fixed);
        if (c >= kAddress && c <= kGap && c != kFunction && c != kStatus)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (r.failed && c == kStatus)
            item->setForeground(QBrush(Qt::darkRed));
        if (r.warned && (c == kWarning || c == kGap || c == kResponse))
            item->setBackground(QBrush(QColor(255, 230, 150)));
        if (c == kWarning && !fields[c]->empty())
            item->setToolTip(item->text());
        table_->setItem(row, c, item);
    }
}

void CBusTrafficWnd::Render() {
    BusTraffic::Display d = logic_.TakeDisplay();
    QScrollBar* scroll = table_->verticalScrollBar();
    const bool atEnd = scroll->value() == scroll->maximum();
    table_->setUpdatesEnabled(false);
    if (d.reset)
        table_->setRowCount(0);
    else if (d.dropped > 0)
        table_->model()->removeRows(0, static_cast<int>(std::min<size_t>(
                                           d.dropped, static_cast<size_t>(table_->rowCount()))));
    const int first = table_->rowCount();
    table_->setRowCount(first + static_cast<int>(d.rows.size()));
    bool newWarning = false;
    for (size_t i = 0; i < d.rows.size(); ++i) {
        SetRow(first + static_cast<int>(i), d.rows[i]);
        newWarning = newWarning || !d.rows[i].warning.empty();
    }
    if (d.reset || (first == 0 && !d.rows.empty()))
        table_->resizeColumnsToContents();
    else if (newWarning)
        table_->resizeColumnToContents(kWarning);
    table_->setUpdatesEnabled(true);
    if (atEnd && !d.rows.empty())
        table_->scrollToBottom();

    pause_->setText(QString::fromStdString(d.pauseText));
    summary_->setText(QString::fromStdString(d.summary));
    if (d.addresses != addresses_) {
        addresses_ = d.addresses;
        const int current = logic_.AddressFilter();
        filter_->blockSignals(true);
        while (filter_->count() > 1)
            filter_->removeItem(1);
        for (int a : addresses_)
            filter_->addItem(QString::number(a), a);
        filter_->setCurrentIndex(std::max(0, filter_->findData(current)));
        filter_->blockSignals(false);
    }
}

} // namespace quarnex

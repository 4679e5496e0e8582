#include "app/CQuarnexView.h"

#include "app/CCommSetupDlg.h"
#include "app/CInstrToViewPropSheet.h"
#include "app/Pictures.h"
#include "app/panel/OpenPanel.h"
#include "comm/ModbusMaster.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
#include "res/InstrumentTextIds.h"
#include "res/MonitorTextIds.h"
#include "session/BusSession.h"
#include "ui/UiText.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTreeWidget>

#include <algorithm>
#include <cmath>
#include <memory>

namespace quarnex {

CQuarnexView::CQuarnexView(BusSession& session, ModbusMaster& bus, Profile& profile,
                           Prompter& prompter, QWidget* parent)
    : QWidget(parent), session_(session), bus_(bus), profile_(profile), prompter_(prompter),
      logic_(session, bus, profile, prompter), owner_(session.OpenOwner()),
      list_(new QTreeWidget(this)) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &CQuarnexView::OnTimer);
    connect(list_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item, int) { OnDoubleClick(item); });
    list_->installEventFilter(this);
    // The panel polls through the session; the "Select instrument" dialog still talks to the
    // master on the window thread and runs with the session's bus held.
    panelOpener_ = [this](int address) {
        OpenInstrumentPanel(window(), session_, bus_, address, prompter_, panelHooks_);
    };
    selector_ = [this](int& address, InstrumentType& type) {
        return SelectInstrument(window(), bus_, prompter_, address, type);
    };
}

CQuarnexView::~CQuarnexView() {
    session_.CloseOwner(owner_);
}

void CQuarnexView::InitialUpdate() {
    images_.clear();
    for (int i = 0; i < QuarnexView::kImageCount; ++i)
        images_.push_back(pictures::InstrumentIcon(i));
    picture_ = pictures::Installation(kPictureWidth, kPictureHeight);

    list_->setColumnCount(3);
    list_->setHeaderLabels(
        {Ui(ids::kColumnInstrument), Ui(ids::kColumnAddress), Ui(ids::kColumnValue)});
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSortingEnabled(false);
    list_->header()->setSectionsClickable(false);
    list_->header()->setSectionsMovable(false);
    list_->header()->setStretchLastSection(false);
    list_->setIconSize(QSize(16, 16));
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list_->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    list_->headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    SizeColumns();
    list_->setGeometry(0, 0, listWidth_, height());

    logic_.InitialUpdate();
    Render();
    RestartTimer();
}

void CQuarnexView::SizeColumns() {
    // What each column must show in full, with the room the list takes around a cell's text.
    const QFontMetrics metrics(list_->font());
    const int padding =
        2 * list_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list_) +
        metrics.horizontalAdvance(QLatin1Char(' ')) * 3;
    const QString model = QStringLiteral("  ") + Ui(ids::kRecipeBatcherName);
    const int needed[3] = {
        std::max(metrics.horizontalAdvance(model) + list_->iconSize().width(),
                 metrics.horizontalAdvance(list_->headerItem()->text(0))) +
            padding,
        std::max(metrics.horizontalAdvance(QStringLiteral("247")),
                 metrics.horizontalAdvance(list_->headerItem()->text(1))) +
            padding,
        std::max(metrics.horizontalAdvance(QStringLiteral("-99999.99")),
                 metrics.horizontalAdvance(list_->headerItem()->text(2))) +
            padding,
    };
    double scale = 1.0;
    for (int c = 0; c < 3; ++c)
        scale = std::max(scale, static_cast<double>(needed[c]) / kColumnWidths[c]);
    int sum = 0;
    for (int c = 0; c < 3; ++c) {
        const int width = static_cast<int>(std::ceil(kColumnWidths[c] * scale));
        list_->setColumnWidth(c, width);
        sum += width;
    }
    // The room beside the columns (frame, vertical scroll bar) does not grow with the font.
    listWidth_ = sum + (kListWidth - (kColumnWidths[0] + kColumnWidths[1] + kColumnWidths[2]));
    pictureX_ = kPictureX + (listWidth_ - kListWidth);
}

bool CQuarnexView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && list_->currentItem()) {
            OnDoubleClick(list_->currentItem());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CQuarnexView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    list_->setGeometry(0, 0, listWidth_, height());
}

void CQuarnexView::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (picture_.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(pictureX_, kPictureY, picture_);
}

void CQuarnexView::VisibleRange(int& top, int& perPage) const {
    top = 0;
    perPage = QuarnexView::kImageCount; // nothing listed: any value serves
    if (list_->topLevelItemCount() == 0)
        return;
    QTreeWidgetItem* first = list_->itemAt(1, 1);
    if (first)
        top = list_->indexOfTopLevelItem(first);
    const int rowHeight = list_->visualItemRect(list_->topLevelItem(top)).height();
    // Rows that fit completely, as the list control counts a page.
    perPage = rowHeight > 0 ? list_->viewport()->height() / rowHeight : 1;
}

void CQuarnexView::OnTimer() {
    timer_.stop();
    int top = 0, perPage = 0;
    VisibleRange(top, perPage);
    logic_.SetVisibleRange(top, perPage);
    // The result comes back as a queued call (at once with an inline session); the period is
    // known only when Tick returns, so the callback reads it from here.
    auto period = std::make_shared<int>(QuarnexView::kTimerPeriodMs);
    *period = logic_.Tick([this, period] { Polled(*period); });
}

void CQuarnexView::Polled(int period) {
    Render();
    if (!stopped_)
        timer_.start(period);
}

void CQuarnexView::Render() {
    const auto& items = logic_.Items();
    if (renderedGeneration_ != logic_.ListGeneration()) {
        list_->clear();
        rendered_.assign(items.size(), 0);
        renderedImages_.assign(items.size(), -1);
        for (const auto& item : items) {
            auto* row = new QTreeWidgetItem(list_);
            row->setData(0, Qt::UserRole, item.address); // the address as item data
            row->setText(1, QString::number(item.address));
            row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
            row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        }
        renderedGeneration_ = logic_.ListGeneration();
    }
    for (size_t i = 0; i < items.size(); ++i) {
        if (rendered_[i] == items[i].revision)
            continue;
        QTreeWidgetItem* row = list_->topLevelItem(static_cast<int>(i));
        const QString instrument = QString::fromStdString(items[i].instrument);
        if (row->text(0) != instrument) {
            row->setText(0, instrument);
            // The column is narrow for the longest model name; the tooltip shows it whole.
            row->setToolTip(0, instrument.trimmed());
        }
        // The image changes only with the model; setting it again would repaint the row's name
        // at every new weight.
        if (renderedImages_[i] != items[i].image && !images_.empty()) {
            row->setIcon(0, images_[static_cast<size_t>(items[i].image)]);
            renderedImages_[i] = items[i].image;
        }
        const QString value = QString::fromStdString(items[i].value);
        if (row->text(2) != value)
            row->setText(2, value);
        rendered_[i] = items[i].revision;
    }
    if (renderedNote_ != logic_.SilenceNote()) {
        renderedNote_ = logic_.SilenceNote();
        emit StatusNoteChanged(QString::fromStdString(renderedNote_));
    }
}

void CQuarnexView::RunHeld(std::function<void()> window) {
    RunStopped([this, window = std::move(window)] {
        const auto hold = session_.HoldBus();
        window();
    });
}

void CQuarnexView::RunStopped(std::function<void()> window) {
    StopTimer();
    // The window opens once the tick that is out has come back (asked to stop after its current
    // transaction): the window thread holds an idle bus then, instead of waiting for it here.
    // A second command while the first waits is dropped, as a click on a modal window would be.
    session_.Submit(
        owner_, [](BusSession::Job&) {},
        [this, window = std::move(window)] {
            window();
            RestartTimer();
        },
        kWindowKey);
}

void CQuarnexView::OnDoubleClick(QTreeWidgetItem* clicked) {
    (void)clicked;
    // The selected row counts, as the list reports it.
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    if (selected.isEmpty())
        return;
    const int row = list_->indexOfTopLevelItem(selected.first());
    // The checks before the panel hold the bus themselves; the panel polls through the session.
    RunStopped([this, row] {
        const int address = logic_.DoubleClick(row);
        if (address != 0)
            panelOpener_(address);
        Render();
    });
}

void CQuarnexView::OnSelectInstrument() {
    // The dialog reads the chosen address's type on the window thread: polling waits meanwhile,
    // and the bus is held while it is open (not while the panel it leads to is).
    RunStopped([this] {
        int address = 0;
        InstrumentType type = itype::kUnknown;
        {
            const auto hold = session_.HoldBus();
            if (!selector_(address, type))
                return;
        }
        const int open = logic_.InstrumentSelected(address, type);
        if (open != 0)
            panelOpener_(open);
        Render();
    });
}

void CQuarnexView::RunWithPollingStopped(const std::function<void()>& window) {
    RunHeld(window);
}

void CQuarnexView::OnInstrumentsToView() {
    // The bus search runs on the window thread, holding the bus (its own progress window lets the
    // events through between two probes).
    RunHeld([this] {
        CInstrToViewPropSheet sheet(bus_, logic_.Selection(), window());
        sheet.OfferSettingsSearch(profile_, prompter_);
        const int baud = bus_.Settings().BaudRate();
        const char parity = bus_.Settings().ParityLetter();
        if (sheet.exec() == QDialog::Accepted) {
            if (!logic_.ApplySelection(sheet.Selection()))
                prompter_.Error(FormatText(Text(ids::kProfileNotWritten), {profile_.Path()}));
            Render();
        }
        // The search's "Find settings" may have taken other line settings, kept either way.
        if (bus_.Settings().BaudRate() != baud || bus_.Settings().ParityLetter() != parity) {
            logic_.SettingsChanged();
            Render();
            emit LinkChanged();
        }
    });
}

void CQuarnexView::OnCommunicationParameters() {
    // The dialog edits the master's settings in place: no job may read them meanwhile.
    RunHeld([this] {
        if (CCommSetupDlg::Edit(bus_.Settings(), profile_, prompter_, window())) {
            logic_.SettingsChanged();
            Render();
            emit LinkChanged();
        }
    });
}

} // namespace quarnex

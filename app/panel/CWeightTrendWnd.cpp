#include "app/panel/CWeightTrendWnd.h"

#include "platform/FileChooser.h"
#include "platform/Prompter.h"
#include "res/TrendTextIds.h"
#include "ui/QtFileChooser.h"
#include "ui/UiText.h"

#include <QComboBox>
#include <QDateTime>
#include <QGraphicsSimpleTextItem>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace quarnex {

namespace {

// The motion band takes this part of the height, at the bottom of the plot.
constexpr double kMotionBand = 0.04;
// State texts drawn at most: a trend full of state changes shows the newest ones.
constexpr size_t kMaxStateTexts = 12;

QList<QPointF> Line(const std::vector<WeightSample>& samples, const WeightTrend::Run& run,
                    bool gross) {
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(run.last - run.first + 1));
    for (size_t i = run.first; i <= run.last; ++i)
        points.append(QPointF(static_cast<qreal>(samples[i].wallMs),
                              gross ? samples[i].gross : samples[i].net));
    return points;
}

} // namespace

CWeightTrendWnd::CWeightTrendWnd(WeightTrend& trend, FileChooser* files, Prompter& prompter,
                                 QWidget* parent)
    : QWidget(parent), trend_(trend), files_(files), prompter_(prompter) {
    chart_ = new QChart;
    chart_->setMargins(QMargins(4, 4, 4, 4));
    chart_->legend()->setAlignment(Qt::AlignTop);
    gross_ = new QLineSeries;
    gross_->setName(Ui(ids::kTrendGross));
    gross_->setPen(QPen(QColor(30, 90, 200), 2));
    net_ = new QLineSeries;
    net_->setName(Ui(ids::kTrendNet));
    net_->setPen(QPen(QColor(20, 150, 70), 2, Qt::DashLine));
    states_ = new QLineSeries;
    states_->setName(Ui(ids::kTrendStates));
    states_->setPen(QPen(QColor(128, 128, 128), 1, Qt::DashLine));
    motionUpper_ = new QLineSeries;
    motion_ = new QAreaSeries(motionUpper_);
    // The area series does not own the line it fills under, and the chart holds only the area:
    // the line goes with the area.
    motionUpper_->setParent(motion_);
    motion_->setName(Ui(ids::kTrendMotion));
    motion_->setBrush(QColor(230, 120, 0, 160));
    motion_->setPen(Qt::NoPen);
    for (QAbstractSeries* series :
         {static_cast<QAbstractSeries*>(motion_), static_cast<QAbstractSeries*>(states_),
          static_cast<QAbstractSeries*>(gross_), static_cast<QAbstractSeries*>(net_)})
        chart_->addSeries(series);

    timeAxis_ = new QDateTimeAxis;
    timeAxis_->setFormat("hh:mm:ss");
    timeAxis_->setTickCount(7);
    timeAxis_->setTitleText(Ui(ids::kTrendTime));
    weightAxis_ = new QValueAxis;
    SetWeightUnit({});
    markAxis_ = new QValueAxis;
    markAxis_->setRange(0.0, 1.0);
    markAxis_->setVisible(false);
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(weightAxis_, Qt::AlignLeft);
    chart_->addAxis(markAxis_, Qt::AlignRight);
    for (QAbstractSeries* series : chart_->series())
        series->attachAxis(timeAxis_);
    gross_->attachAxis(weightAxis_);
    net_->attachAxis(weightAxis_);
    grossLines_ = {gross_};
    netLines_ = {net_};
    states_->attachAxis(markAxis_);
    motion_->attachAxis(markAxis_);

    view_ = new QChartView(chart_, this);
    view_->setRenderHint(QPainter::Antialiasing, false);
    view_->setMinimumSize(520, 260);

    span_ = new QComboBox(this);
    for (int id : {ids::kSpanOneMinute, ids::kSpanFiveMinutes, ids::kSpanThirtyMinutes})
        span_->addItem(Ui(id));
    pause_ = new QPushButton(Ui(ids::kTrendPause), this);
    png_ = new QPushButton(Ui(ids::kSaveAsPng), this);
    csv_ = new QPushButton(Ui(ids::kSaveAsCsv), this);
    for (QPushButton* b : {pause_, png_, csv_})
        b->setAutoDefault(false);

    auto* controls = new QHBoxLayout;
    controls->addWidget(span_);
    controls->addWidget(pause_);
    controls->addStretch();
    controls->addWidget(png_);
    controls->addWidget(csv_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(controls);
    layout->addWidget(view_, 1);

    connect(span_, &QComboBox::currentIndexChanged, this, [this](int index) {
        trend_.SetSpanMinutes(WeightTrend::kSpansMinutes[std::clamp(index, 0, 2)]);
        Refresh(true);
    });
    connect(pause_, &QPushButton::clicked, this, [this] {
        if (trend_.Paused())
            trend_.Resume();
        else
            trend_.Pause();
        pause_->setText(Ui(trend_.Paused() ? ids::kTrendResume : ids::kTrendPause));
        Refresh(true);
    });
    connect(png_, &QPushButton::clicked, this, [this] { AskAndSave(true); });
    connect(csv_, &QPushButton::clicked, this, [this] { AskAndSave(false); });
    Refresh(true);
}

void CWeightTrendWnd::Refresh(bool force) {
    if (trend_.Paused() && !force)
        return;
    const auto& ring = trend_.Ring().Samples();
    if (force || ring.empty() || !drawn_) {
        Redraw();
        return;
    }
    const WeightSample& newest = ring.back();
    if (newest.monoMs - drawnMonoMs_ < trend_.DrawPeriodMs())
        return;
    // Usually the samples since the last drawing lie inside the drawn time axis and weight
    // range: their points are appended and nothing else is laid out again. The axes move in
    // steps, when a sample reaches the right edge or leaves the weight range.
    QList<QPointF> gross, net;
    bool motion = false, stateChanged = false;
    const auto from =
        std::upper_bound(ring.begin(), ring.end(), drawnMonoMs_,
                         [](int64_t t, const WeightSample& s) { return t < s.monoMs; });
    for (auto it = from; it != ring.end(); ++it) {
        const WeightSample& s = *it;
        // A line that ends (a gap, a sample without weights) or begins is laid out anew.
        const bool lineBreaks = it != ring.begin() && (GapOrBreak(*std::prev(it), s));
        if (lineBreaks || s.wallMs > axisEndMs_ ||
            (s.HasWeights() && (std::min(s.gross, s.net) < weightAxis_->min() ||
                                std::max(s.gross, s.net) > weightAxis_->max()))) {
            Redraw();
            return;
        }
        if (s.HasWeights()) {
            gross.append(QPointF(static_cast<qreal>(s.wallMs), s.gross));
            net.append(QPointF(static_cast<qreal>(s.wallMs), s.net));
        }
        motion = motion || s.Motion();
        stateChanged = stateChanged || (s.read && s.kel7 && s.state != markState_);
    }
    drawnMonoMs_ = newest.monoMs;
    grossLines_.back()->append(gross);
    netLines_.back()->append(net);
    // The marks change only with motion (its band grows while it lasts) and with the state.
    if (motion || markMotion_ || stateChanged)
        DrawMarks(trend_.CurrentView());
}

void CWeightTrendWnd::Redraw() {
    drawn_ = true;
    const WeightTrend::View v = trend_.CurrentView();
    drawnMonoMs_ = v.samples.empty() ? 0 : v.samples.back().monoMs;
    // The time axis reaches a sixth of the span (one grid step) beyond the newest sample, so
    // that it moves once every sixth of the span rather than with every sample.
    const int64_t step = v.spanMs / 6;
    axisEndMs_ = v.endWallMs + (trend_.Paused() ? 0 : step);
    timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(axisEndMs_ - v.spanMs),
                        QDateTime::fromMSecsSinceEpoch(axisEndMs_));
    // One line for each run of samples with weights: a gap is drawn as a gap, not bridged.
    for (std::vector<QLineSeries*>* lines : {&grossLines_, &netLines_}) {
        for (size_t i = 1; i < lines->size(); ++i) {
            chart_->removeSeries((*lines)[i]);
            delete (*lines)[i];
        }
        lines->resize(1);
    }
    gross_->clear();
    net_->clear();
    for (size_t r = 0; r < v.runs.size(); ++r) {
        if (r > 0) {
            grossLines_.push_back(NewLine(gross_));
            netLines_.push_back(NewLine(net_));
        }
        grossLines_.back()->replace(Line(v.samples, v.runs[r], true));
        netLines_.back()->replace(Line(v.samples, v.runs[r], false));
    }

    // The weight axis: the window's range with a margin, at least one unit tall.
    double low = v.haveWeights ? v.low : 0.0, high = v.haveWeights ? v.high : 1.0;
    const double margin = std::max(0.5, (high - low) * 0.08);
    weightAxis_->setRange(low - margin, high + margin);
    weightAxis_->applyNiceNumbers();
    DrawMarks(v);
}

// A further piece of gross's or net's line: drawn as the first, without an entry of its own in
// the legend.
QLineSeries* CWeightTrendWnd::NewLine(QLineSeries* like) {
    auto* line = new QLineSeries;
    line->setPen(like->pen());
    chart_->addSeries(line);
    line->attachAxis(timeAxis_);
    line->attachAxis(weightAxis_);
    for (QLegendMarker* marker : chart_->legend()->markers(line))
        marker->setVisible(false);
    return line;
}

bool CWeightTrendWnd::GapOrBreak(const WeightSample& earlier, const WeightSample& later) {
    return WeightTrend::GapBetween(earlier, later) || earlier.HasWeights() != later.HasWeights();
}

void CWeightTrendWnd::DrawMarks(const WeightTrend::View& v) {
    const qreal start = static_cast<qreal>(axisEndMs_ - v.spanMs);
    const qreal end = static_cast<qreal>(axisEndMs_);
    markMotion_ = !v.samples.empty() && v.samples.back().Motion();
    for (auto it = v.samples.rbegin(); it != v.samples.rend(); ++it)
        if (it->read && it->kel7) {
            markState_ = it->state;
            break;
        }

    QList<QPointF> motion{{start, 0.0}};
    for (const WeightTrend::MotionSpan& m : v.motion) {
        const qreal from = static_cast<qreal>(m.fromWallMs), to = static_cast<qreal>(m.toWallMs);
        motion << QPointF(from, 0.0) << QPointF(from, kMotionBand) << QPointF(to, kMotionBand)
               << QPointF(to, 0.0);
    }
    motion << QPointF(end, 0.0);
    motionUpper_->replace(motion);

    // State changes: a vertical line each, along the bottom between them.
    QList<QPointF> states{{start, 0.0}};
    for (const WeightTrend::StateMark& s : v.states) {
        const qreal t = static_cast<qreal>(s.wallMs);
        states << QPointF(t, 0.0) << QPointF(t, 1.0) << QPointF(t, 0.0);
    }
    states << QPointF(end, 0.0);
    states_->replace(states);

    // The new state's text beside its line, for the newest changes.
    const size_t first = v.states.size() > kMaxStateTexts ? v.states.size() - kMaxStateTexts : 0;
    shownStates_.assign(v.states.begin() + static_cast<std::ptrdiff_t>(first), v.states.end());
    while (stateTexts_.size() < shownStates_.size()) {
        auto* text = new QGraphicsSimpleTextItem(chart_);
        text->setBrush(QColor(90, 90, 90));
        stateTexts_.push_back(text);
    }
    for (size_t i = 0; i < stateTexts_.size(); ++i) {
        QGraphicsSimpleTextItem* text = stateTexts_[i];
        text->setVisible(i < shownStates_.size());
        if (i >= shownStates_.size())
            continue;
        text->setText(FromInstrument(shownStates_[i].text));
        const QPointF at = chart_->mapToPosition(
            QPointF(static_cast<qreal>(shownStates_[i].wallMs), 0.97), states_);
        text->setPos(at + QPointF(3.0, static_cast<qreal>(i % 3) * 14.0));
    }
}

bool CWeightTrendWnd::SavePng(const std::string& path, std::string& error) {
    const QPixmap picture = view_->grab();
    if (picture.isNull() || !picture.save(QString::fromStdString(path), "PNG")) {
        error = path;
        return false;
    }
    return true;
}

bool CWeightTrendWnd::SaveCsv(const std::string& path, std::string& error) {
    errno = 0;
    std::ofstream file(path, std::ios::out | std::ios::trunc | std::ios::binary);
    file << trend_.Csv();
    file.close();
    if (!file) {
        error = path + ": " + (errno ? std::strerror(errno) : "cannot be written");
        return false;
    }
    return true;
}

void CWeightTrendWnd::AskAndSave(bool picture) {
    if (!files_)
        return;
    FileChooser::Request request;
    request.caption = Text(picture ? ids::kSaveAsPng : ids::kSaveAsCsv);
    request.filters = {
        {Text(picture ? ids::kPngFiles : ids::kCsvFiles), {picture ? "*.png" : "*.csv"}}};
    request.defaultExtension = picture ? "png" : "csv";
    const auto path = files_->AskSave(request);
    if (!path)
        return;
    std::string error;
    if (!(picture ? SavePng(*path, error) : SaveCsv(*path, error)))
        prompter_.Error(FormatText(Text(ids::kCannotSave), {error}));
}

// ----- CPanelTrendPart --------------------------------------------------------------------------

CPanelTrendPart::CPanelTrendPart(int fastestPeriodMs, Prompter& prompter, QWidget* parent)
    : QWidget(parent), prompter_(prompter), ownFiles_(std::make_unique<QtFileChooser>(this)),
      files_(ownFiles_.get()), trend_(fastestPeriodMs) {
    trendButton_ = new QPushButton(Ui(ids::kTrendButton), this);
    trendButton_->setCheckable(true);
    logButton_ = new QPushButton(Ui(ids::kLogToFile), this);
    for (QPushButton* b : {trendButton_, logButton_})
        b->setAutoDefault(false);
    logLabel_ = new QLabel(this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(trendButton_);
    buttons->addWidget(logButton_);
    buttons->addWidget(logLabel_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(buttons);

    // The trend's window is made when it is first shown: a panel without it draws nothing.
    connect(trendButton_, &QPushButton::toggled, this, [this, layout](bool on) {
        if (on && !trendWnd_) {
            trendWnd_ = new CWeightTrendWnd(trend_, files_, prompter_, this);
            // The unit comes when the instrument has answered; the axis says "Weight" until then.
            if (unitReader_)
                unitReader_([this](const std::string& unit) {
                    if (trendWnd_)
                        trendWnd_->SetWeightUnit(unit);
                });
            layout->addWidget(trendWnd_, 1);
        }
        if (trendWnd_) {
            trendWnd_->setVisible(on);
            if (on)
                trendWnd_->Refresh(true);
        }
        if (QWidget* top = window(); top && !on)
            top->adjustSize();
    });
    connect(logButton_, &QPushButton::clicked, this, [this] { ToggleLog(); });
}

CPanelTrendPart::~CPanelTrendPart() = default;

void CWeightTrendWnd::SetWeightUnit(const std::string& unit) {
    weightAxis_->setTitleText(unit.empty()
                                  ? Ui(ids::kCalibPlotWeightAxis)
                                  : Ui(ids::kCalibPlotWeightAxis) + QStringLiteral(" (") +
                                        QString::fromStdString(unit) + QStringLiteral(")"));
}

void CPanelTrendPart::SetFileChooser(FileChooser* files) {
    files_ = files;
    if (trendWnd_)
        trendWnd_->SetFileChooser(files);
}

void CPanelTrendPart::AddSample(const WeightSample& sample, long count) {
    if (count == lastCount_ || count == 0)
        return;
    lastCount_ = count;
    trend_.Add(sample);
    if (log_.IsOpen()) {
        const bool written = log_.Write(sample);
        ShowLog();
        if (!written)
            prompter_.Error(FormatText(Text(ids::kLogStopped), {log_.Error()}));
    }
    if (trendWnd_ && trendWnd_->isVisible())
        trendWnd_->Refresh();
}

void CPanelTrendPart::ToggleLog() {
    if (log_.IsOpen()) {
        if (!log_.Close())
            prompter_.Error(FormatText(Text(ids::kLogStopped), {log_.Error()}));
        ShowLog();
        return;
    }
    if (!files_)
        return;
    FileChooser::Request request;
    request.caption = Text(ids::kLogToFile);
    request.filters = {{Text(ids::kCsvFiles), {"*.csv"}}};
    request.defaultExtension = "csv";
    const auto path = files_->AskSave(request);
    if (!path)
        return;
    std::string error;
    if (!log_.Open(*path, error))
        prompter_.Error(FormatText(Text(ids::kCannotSave), {error}));
    ShowLog();
}

void CPanelTrendPart::ShowLog() {
    logButton_->setText(Ui(log_.IsOpen() ? ids::kStopLog : ids::kLogToFile));
    if (log_.Path().empty())
        logLabel_->clear();
    else
        logLabel_->setText(QString::fromStdString(
            FormatText(Text(log_.IsOpen() ? ids::kLoggingTo : ids::kLogSaved),
                       {log_.Path(), std::to_string(log_.Count())})));
}

} // namespace quarnex

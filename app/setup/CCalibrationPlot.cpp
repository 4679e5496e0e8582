#include "app/setup/CCalibrationPlot.h"

#include "res/TrendTextIds.h"
#include "ui/UiText.h"

#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>

namespace quarnex {

namespace {

bool SamePoints(const std::vector<CalibrationPlotData::Point>& a,
                const std::vector<CalibrationPlotData::Point>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.number == y.number && x.signal == y.signal && x.weight == y.weight &&
               x.unstored == y.unstored;
    });
}

// A range around the values with a margin, never empty.
void SetRange(QValueAxis* axis, double low, double high) {
    const double margin = std::max((high - low) * 0.08, high == low ? 1.0 : 0.0);
    axis->setRange(low - margin, high + margin);
    axis->applyNiceNumbers();
}

} // namespace

CCalibrationPlot::CCalibrationPlot(QWidget* parent) : QWidget(parent) {
    chart_ = new QChart;
    chart_->setMargins(QMargins(2, 2, 2, 2));
    chart_->legend()->setAlignment(Qt::AlignBottom);
    line_ = new QLineSeries;
    line_->setName(Ui(ids::kCalibPlotLine));
    stored_ = new QScatterSeries;
    stored_->setName(Ui(ids::kCalibPlotPoints));
    stored_->setMarkerSize(9.0);
    stored_->setColor(QColor(30, 90, 200));
    line_->setColor(QColor(30, 90, 200));
    unstored_ = new QScatterSeries;
    unstored_->setName(Ui(ids::kCalibPlotUnstored));
    unstored_->setMarkerSize(11.0);
    unstored_->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    unstored_->setColor(QColor(220, 60, 30));
    live_ = new QScatterSeries;
    live_->setName(Ui(ids::kCalibPlotSignal));
    live_->setMarkerSize(12.0);
    live_->setColor(QColor(30, 160, 60));
    signalAxis_ = new QValueAxis;
    signalAxis_->setTitleText(Ui(ids::kCalibPlotSignalAxis));
    weightAxis_ = new QValueAxis;
    weightAxis_->setTitleText(Ui(ids::kCalibPlotWeightAxis));
    chart_->addAxis(signalAxis_, Qt::AlignBottom);
    chart_->addAxis(weightAxis_, Qt::AlignLeft);
    for (QAbstractSeries* series :
         {static_cast<QAbstractSeries*>(line_), static_cast<QAbstractSeries*>(stored_),
          static_cast<QAbstractSeries*>(unstored_), static_cast<QAbstractSeries*>(live_)}) {
        chart_->addSeries(series);
        series->attachAxis(signalAxis_);
        series->attachAxis(weightAxis_);
    }
    // The line explains itself; the legend names the kinds of points.
    for (QLegendMarker* marker : chart_->legend()->markers(line_))
        marker->setVisible(false);
    view_ = new QChartView(chart_, this);
    view_->setMinimumSize(300, 220);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    Show({});
}

void CCalibrationPlot::Show(const CalibrationPlotData& data) {
    if (shownOnce_ && SamePoints(data.points, shown_.points) && data.haveLive == shown_.haveLive &&
        data.liveSignal == shown_.liveSignal && data.liveWeight == shown_.liveWeight &&
        data.weightUnit == shown_.weightUnit)
        return;
    shownOnce_ = true;
    shown_ = data;

    QList<QPointF> stored, unstored, line, live;
    double sLow = 0.0, sHigh = 0.0, wLow = 0.0, wHigh = 0.0;
    bool any = false;
    auto extend = [&](double s, double w) {
        sLow = any ? std::min(sLow, s) : s;
        sHigh = any ? std::max(sHigh, s) : s;
        wLow = any ? std::min(wLow, w) : w;
        wHigh = any ? std::max(wHigh, w) : w;
        any = true;
    };
    for (const auto& p : data.points) {
        (p.unstored ? unstored : stored).append(QPointF(p.signal, p.weight));
        extend(p.signal, p.weight);
    }
    for (const auto& p : data.line)
        line.append(QPointF(p.signal, p.weight));
    if (data.haveLive) {
        live.append(QPointF(data.liveSignal, data.liveWeight));
        extend(data.liveSignal, data.liveWeight);
    }
    stored_->replace(stored);
    unstored_->replace(unstored);
    line_->replace(line);
    live_->replace(live);
    if (!any)
        extend(0.0, 0.0);
    // "Weight (kg)": the unit the points' values are shown in.
    weightAxis_->setTitleText(data.weightUnit.empty()
                                  ? Ui(ids::kCalibPlotWeightAxis)
                                  : Ui(ids::kCalibPlotWeightAxis) + QStringLiteral(" (") +
                                        QString::fromStdString(data.weightUnit) +
                                        QStringLiteral(")"));
    SetRange(signalAxis_, std::min(sLow, 0.0), sHigh);
    SetRange(weightAxis_, std::min(wLow, 0.0), wHigh);
}

} // namespace quarnex

#pragma once

#include "setup/CalibrationPlot.h"

#include <QWidget>

class QChart;
class QChartView;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace quarnex {

// The calibration plot beside the Calibration page's rows: the calibration points as weight
// against transducer signal (mV/V), unstored points in a colour of their own under the page's
// "* " mark, the line through the points, and the live signal as a point that moves with the load.
class CCalibrationPlot : public QWidget {
    Q_OBJECT
public:
    explicit CCalibrationPlot(QWidget* parent = nullptr);

    // Draws data; the same data again draws nothing.
    void Show(const CalibrationPlotData& data);

private:
    QChart* chart_;
    QChartView* view_;
    QScatterSeries* stored_;
    QScatterSeries* unstored_;
    QLineSeries* line_;
    QScatterSeries* live_;
    QValueAxis* signalAxis_;
    QValueAxis* weightAxis_;
    bool shownOnce_ = false;
    CalibrationPlotData shown_;
};

} // namespace quarnex

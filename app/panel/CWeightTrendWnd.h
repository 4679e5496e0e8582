#pragma once

#include "monitor/panel/WeightLog.h"
#include "monitor/panel/WeightTrend.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAreaSeries;
class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QGraphicsSimpleTextItem;
class QLabel;
class QLineSeries;
class QPushButton;
class QValueAxis;

namespace quarnex {

class FileChooser;
class Prompter;

// The weight trend: gross and net over the last 1, 5 or 30 minutes, the stretches of motion as a
// band along the time axis and the instrument's state changes as lines with the new state's
// text; pause/resume, "Save as PNG" and "Save as CSV". It draws what WeightTrend keeps and reads
// nothing from the bus.
class CWeightTrendWnd : public QWidget {
    Q_OBJECT
public:
    CWeightTrendWnd(WeightTrend& trend, FileChooser* files, Prompter& prompter,
                    QWidget* parent = nullptr);

    void SetFileChooser(FileChooser* files) { files_ = files; }
    // The weight axis says its unit: "Weight (kg)"; "" leaves it at "Weight".
    void SetWeightUnit(const std::string& unit);
    // Draws the trend's current view; a paused trend is drawn only when forced (span changed).
    void Refresh(bool force = false);
    // The pictures and files "Save as PNG" and "Save as CSV" write; false with the reason.
    bool SavePng(const std::string& path, std::string& error);
    bool SaveCsv(const std::string& path, std::string& error);

    QLineSeries* GrossSeries() const { return gross_; }
    // Gross's line piece by piece, the first GrossSeries(): one piece a run of samples.
    const std::vector<QLineSeries*>& GrossLines() const { return grossLines_; }
    QLineSeries* NetSeries() const { return net_; }
    QLineSeries* MotionSeries() const { return motionUpper_; }
    QValueAxis* WeightAxis() const { return weightAxis_; }
    QPushButton* PauseButton() const { return pause_; }
    QPushButton* PngButton() const { return png_; }
    QPushButton* CsvButton() const { return csv_; }

private:
    // Everything anew: axes, lines and marks.
    void Redraw();
    void DrawMarks(const WeightTrend::View& view);
    QLineSeries* NewLine(QLineSeries* like);
    static bool GapOrBreak(const WeightSample& earlier, const WeightSample& later);
    void AskAndSave(bool picture);

    WeightTrend& trend_;
    FileChooser* files_;
    Prompter& prompter_;
    QChart* chart_;
    QChartView* view_;
    QLineSeries* gross_;
    QLineSeries* net_;
    std::vector<QLineSeries*> grossLines_; // gross_ and the pieces after its gaps
    std::vector<QLineSeries*> netLines_;
    QLineSeries* states_;
    QLineSeries* motionUpper_;
    QAreaSeries* motion_;
    QDateTimeAxis* timeAxis_;
    QValueAxis* weightAxis_;
    QValueAxis* markAxis_;
    std::vector<QGraphicsSimpleTextItem*> stateTexts_;
    std::vector<WeightTrend::StateMark> shownStates_;
    bool drawn_ = false;
    int64_t axisEndMs_ = 0;   // the right edge of the time axis (wall-clock ms)
    int64_t drawnMonoMs_ = 0; // the newest sample drawn
    bool markMotion_ = false;
    int markState_ = -1;
    QComboBox* span_;
    QPushButton* pause_;
    QPushButton* png_;
    QPushButton* csv_;
};

// What the panel adds under its fields: the "Trend" switch with the trend, and "Log to file…"
// with the file and the number of samples written while the log runs. Both take the samples of
// the panel's own ticks.
class CPanelTrendPart : public QWidget {
    Q_OBJECT
public:
    // fastestPeriodMs: the panel's active tick period; the trend keeps 30 minutes of it.
    CPanelTrendPart(int fastestPeriodMs, Prompter& prompter, QWidget* parent = nullptr);
    ~CPanelTrendPart() override;

    // The sample of a panel tick; count tells a new tick from a repeated render.
    void AddSample(const WeightSample& sample, long count);
    // Tests answer the file dialogs.
    void SetFileChooser(FileChooser* files);
    // Where the trend window learns the weights' unit when it opens (a read of the instrument):
    // the reader is asked once and calls back with the unit when it has it.
    using UnitReader = std::function<void(std::function<void(const std::string& unit)>)>;
    void SetUnitReader(UnitReader reader) { unitReader_ = std::move(reader); }

    WeightTrend& Trend() { return trend_; }
    CWeightTrendWnd* TrendWnd() const { return trendWnd_; }
    QPushButton* TrendButton() const { return trendButton_; }
    QPushButton* LogButton() const { return logButton_; }
    QLabel* LogLabel() const { return logLabel_; }
    const WeightLogFile& Log() const { return log_; }

private:
    void ToggleLog();
    void ShowLog();

    Prompter& prompter_;
    UnitReader unitReader_;
    std::unique_ptr<FileChooser> ownFiles_;
    FileChooser* files_;
    WeightTrend trend_;
    WeightLogFile log_;
    long lastCount_ = -1;
    CWeightTrendWnd* trendWnd_ = nullptr;
    QPushButton* trendButton_;
    QPushButton* logButton_;
    QLabel* logLabel_;
};

} // namespace quarnex

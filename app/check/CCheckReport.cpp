#include "app/check/CCheckReport.h"

#include "check/CheckPlot.h"

#include <QFileInfo>
#include <QGraphicsScene>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <array>
#include <cmath>

namespace quarnex {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

void BuildCheckChart(QChart* chart, const CheckRecord& record) {
    chart->removeAllSeries();
    // removeAxis hands the axis back to the caller; the chart is rebuilt at every reading.
    for (auto* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    const QString unit = record.unit.empty() ? QString() : " (" + Q(record.unit) + ")";

    double low = 0.0, high = 0.0, right = 0.0;
    auto* upper = new QLineSeries;
    auto* lower = new QLineSeries;
    for (const auto& [load, t] : ToleranceEdge(record)) {
        upper->append(load, t);
        lower->append(load, -t);
        high = std::max(high, t);
        low = std::min(low, -t);
        right = std::max(right, load);
    }
    auto* band = new QAreaSeries(upper, lower);
    // The area series does not own its two edges, and the chart holds only the area: the edges go
    // with the area.
    upper->setParent(band);
    lower->setParent(band);
    band->setName("tolerance");
    band->setColor(QColor(200, 235, 200));
    band->setBorderColor(QColor(120, 180, 120));
    chart->addSeries(band);
    for (const CheckPlotSeries& s : CheckPlotData(record)) {
        const QColor colour = s.down ? QColor(230, 120, 20) : QColor(30, 90, 200);
        auto* line = new QLineSeries;
        auto* dots = new QScatterSeries;
        line->setName(Q(s.name));
        QPen pen(colour, 2);
        if (s.asLeft)
            pen.setStyle(Qt::DashLine);
        line->setPen(pen);
        dots->setColor(colour);
        dots->setMarkerSize(7);
        for (const auto& [load, error] : s.points) {
            line->append(load, error);
            dots->append(load, error);
            high = std::max(high, error);
            low = std::min(low, error);
            right = std::max(right, load);
        }
        chart->addSeries(line);
        chart->addSeries(dots);
    }
    auto* x = new QValueAxis;
    auto* y = new QValueAxis;
    x->setTitleText("load" + unit);
    y->setTitleText("error" + unit);
    const double margin = std::max((high - low) * 0.1, record.division);
    x->setRange(0.0, right > 0.0 ? right : 1.0);
    x->applyNiceNumbers();
    y->setRange(low - margin, high + margin);
    y->applyNiceNumbers();
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (auto* series : chart->series()) {
        series->attachAxis(x);
        series->attachAxis(y);
    }
    // The scatter dots do not need a legend entry of their own.
    const auto markers = chart->legend()->markers();
    for (auto* marker : markers)
        if (qobject_cast<QScatterSeries*>(marker->series()))
            marker->setVisible(false);
}

namespace {

// The error plot, drawn into rect of the painter.
void DrawPlot(QPainter& painter, const QRectF& rect, const CheckRecord& record) {
    QGraphicsScene scene;
    auto* chart = new QChart; // owned by the scene
    scene.addItem(chart);
    chart->setBackgroundVisible(false);
    chart->setMargins(QMargins(0, 0, 0, 0));
    chart->legend()->setAlignment(Qt::AlignBottom);
    BuildCheckChart(chart, record);
    // Drawn at a fixed logical size and scaled, so the text keeps its size against the page.
    const QSizeF logical(720, 720 * rect.height() / rect.width());
    chart->resize(logical);
    scene.setSceneRect(QRectF(QPointF(0, 0), logical));
    scene.render(&painter, rect, scene.sceneRect());
}

} // namespace

void DrawCheckReport(QPagedPaintDevice& device, const CheckRecord& record) {
    QPainter painter(&device);
    // Points: 72 to the inch whatever the device's resolution.
    const double scale = device.logicalDpiX() / 72.0;
    painter.scale(scale, scale);
    const double width = device.width() / scale, height = device.height() / scale;
    const double left = 0, right = width;
    double y = 0;
    const auto font = [&](double size, bool bold = false) {
        // The painter is scaled to points already: the font is sized for the bare device.
        QFont f("Liberation Sans");
        f.setPointSizeF(size / scale);
        f.setBold(bold);
        painter.setFont(f);
        return QFontMetricsF(f, &device).height();
    };
    const auto ensure = [&](double needed) {
        if (y + needed > height) {
            device.newPage();
            y = 0;
        }
    };
    const auto text = [&](double x, double w, const QString& s,
                          Qt::Alignment align = Qt::AlignLeft) {
        painter.drawText(QRectF(x, y, w, 40), align | Qt::AlignTop, s);
    };

    double line = font(16, true);
    text(left, width, "Calibration check with test weights");
    y += line + 6;
    line = font(9);
    const double d = record.division;
    const auto w = [d](double v) { return Q(FormatCheckWeight(v, d)); };
    const QString unit = Q(record.unit);
    const QStringList identity = {
        "Instrument: " + Q(record.instrument) + "    Serial number: " + Q(record.serialNumber) +
            "    Program: " + Q(record.program),
        "Address: " + QString::number(record.address) +
            (record.name.empty() ? QString() : "    Name: " + Q(record.name)) + "    Capacity: " +
            w(record.capacity) + " " + unit + "    Display step: " + w(d) + " " + unit,
        "Rule: " + Q(record.rule.Describe(d, record.unit)),
    };
    for (const QString& s : identity) {
        text(left, width, s);
        y += line;
    }
    y += 2;
    line = font(7.5);
    // The calibration values in three columns.
    const double column = width / 3;
    for (size_t i = 0; i < record.calibration.size(); ++i) {
        const auto& [label, value] = record.calibration[i];
        text(left + column * (i % 3), column - 4, Q(label) + " " + Q(value));
        if (i % 3 == 2 || i + 1 == record.calibration.size())
            y += line;
    }
    y += 8;

    // The table: the plan's steps, one block of columns a run.
    std::vector<CheckResult> results;
    for (const CheckRun& run : record.runs)
        results.push_back(EvaluateRun(record, run));
    line = font(8.5, true);
    const double stepW = 62, loadW = 60, tolW = 56;
    const double runW = (width - stepW - loadW - tolW) / std::max<size_t>(1, results.size());
    const auto runColumns = [&](double x, const std::array<QString, 4>& cells) {
        const double cw = runW / 4;
        for (int c = 0; c < 4; ++c)
            text(x + cw * c, cw - 4, cells[c], Qt::AlignRight);
    };
    const auto header = [&] {
        font(8.5, true);
        double x = left + stepW + loadW + tolW;
        text(left, stepW, "step");
        text(left + stepW, loadW - 4, "load " + unit, Qt::AlignRight);
        text(left + stepW + loadW, tolW - 4, "tolerance ±", Qt::AlignRight);
        for (const CheckRun& run : record.runs) {
            text(x, runW, Q(run.name), Qt::AlignHCenter);
            x += runW;
        }
        y += line;
        x = left + stepW + loadW + tolW;
        for (size_t r = 0; r < record.runs.size(); ++r, x += runW)
            runColumns(x, {"reading", "error", "in e", "result"});
        y += line;
        painter.drawLine(QPointF(left, y), QPointF(right, y));
        y += 2;
    };
    header();
    const size_t steps = results.empty() ? 0 : results[0].steps.size();
    for (size_t i = 0; i < steps; ++i) {
        if (y + line > height) {
            device.newPage();
            y = 0;
            header();
        }
        font(8.5);
        const StepResult& first = results[0].steps[i];
        text(left, stepW, Q(StepLabel(first.step)));
        text(left + stepW, loadW - 4, w(first.step.load), Qt::AlignRight);
        text(left + stepW + loadW, tolW - 4, Q(FormatCheckWeight(first.tolerance, d / 2)),
             Qt::AlignRight);
        double x = left + stepW + loadW + tolW;
        for (const CheckResult& result : results) {
            const StepResult& s = result.steps[i];
            const bool taken = s.reading.state == CheckReading::State::Taken;
            painter.setPen(taken && !s.pass ? QColor(190, 0, 0) : QColor(0, 0, 0));
            runColumns(x, {taken ? w(s.reading.indication) : "-", taken ? w(s.error) : "-",
                           taken ? QString::number(s.errorInE, 'f', 2) : "-",
                           taken ? (s.pass ? "ok" : "OUT")
                           : s.reading.state == CheckReading::State::Skipped ? "skipped"
                                                                             : "not read"});
            painter.setPen(Qt::black);
            x += runW;
        }
        y += line;
    }
    painter.drawLine(QPointF(left, y), QPointF(right, y));
    y += 6;

    // The findings and the verdict of each run.
    for (size_t r = 0; r < results.size(); ++r) {
        const CheckResult& result = results[r];
        QStringList findings;
        if (result.haveHysteresis)
            findings << "hysteresis " + w(result.hysteresis) + " at " + w(result.hysteresisLoad);
        if (result.haveRepeatability)
            findings << "repeatability: spread " + w(result.repeatability) + " (limit " +
                            Q(FormatCheckWeight(result.repeatabilityLimit, d / 2)) + ")";
        if (result.haveEccentricity)
            findings << "eccentricity: largest difference from the centre " +
                            w(result.eccentricity);
        ensure(2 * line + 4);
        line = font(9);
        if (!findings.isEmpty()) {
            text(left, width, Q(record.runs[r].name) + ": " + findings.join(";  "));
            y += line;
        }
        line = font(10, true);
        painter.setPen(result.verdict == CheckResult::Verdict::Pass ? QColor(0, 120, 0)
                                                                    : QColor(190, 0, 0));
        text(left, width, Q(record.runs[r].name) + ": " + Q(VerdictSentence(result)));
        painter.setPen(Qt::black);
        y += line + 4;
    }

    // The plot.
    const double plotHeight = std::min(260.0, width * 0.5);
    ensure(plotHeight + 8);
    DrawPlot(painter, QRectF(left, y, width, plotHeight), record);
    y += plotHeight + 10;

    // Date, technician, notes, next check and the signatures.
    line = font(9);
    QStringList footer = {"Date: " + Q(record.date) + "    Technician: " + Q(record.technician)};
    if (!record.nextCheck.empty())
        footer << "Next check: " + Q(record.nextCheck);
    for (const QString& note : Q(record.notes).split('\n', Qt::SkipEmptyParts))
        footer << note;
    ensure(line * (footer.size() + 4));
    for (const QString& s : footer) {
        text(left, width, s);
        y += line;
    }
    y += 3 * line;
    const double half = width / 2;
    painter.drawLine(QPointF(left, y), QPointF(half - 20, y));
    painter.drawLine(QPointF(half + 20, y), QPointF(right, y));
    y += 2;
    text(left, half, "Technician's signature");
    text(half + 20, half, "Checked by (name and signature)");
}

bool SaveCheckReportPdf(const CheckRecord& record, const std::string& path, std::string& error) {
    QPdfWriter writer(Q(path));
    writer.setResolution(300);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    writer.setTitle("Calibration check " + Q(record.instrument + " " + record.serialNumber));
    writer.setCreator("Quarnex");
    DrawCheckReport(writer, record);
    // QPdfWriter says nothing of a file it could not write; the file itself does.
    if (!QFileInfo(Q(path)).isFile() || QFileInfo(Q(path)).size() == 0) {
        error = "Cannot write the report " + path;
        return false;
    }
    return true;
}

bool PrintCheckReport(const CheckRecord& record, QWidget* parent) {
    QPrinter printer;
    QPrintDialog dialog(&printer, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    DrawCheckReport(printer, record);
    return true;
}

} // namespace quarnex

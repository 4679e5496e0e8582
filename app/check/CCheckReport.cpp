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
    // One colour a run, named in the legend: as found blue, as left red, a superseded run grey.
    // Coming down is dashed; repeated and eccentric readings are markers only.
    std::vector<QScatterSeries*> lineDots; // the dots on a line: no legend entry of their own
    for (const CheckPlotSeries& s : CheckPlotData(record)) {
        const QColor colour = s.superseded                           ? QColor(150, 150, 150)
                              : record.runs[s.run].name == "As left" ? QColor(200, 50, 30)
                                                                     : QColor(30, 90, 200);
        auto* dots = new QScatterSeries;
        dots->setColor(colour);
        dots->setBorderColor(colour);
        dots->setMarkerSize(7);
        QLineSeries* line = nullptr;
        if (s.Joined()) {
            line = new QLineSeries;
            line->setName(Q(s.name));
            QPen pen(colour, 2);
            if (s.kind == CheckStep::Kind::Down)
                pen.setStyle(Qt::DashLine);
            line->setPen(pen);
            lineDots.push_back(dots);
        } else {
            dots->setName(Q(s.name));
            dots->setMarkerSize(9);
            dots->setMarkerShape(s.kind == CheckStep::Kind::Repeat
                                     ? QScatterSeries::MarkerShapeRectangle
                                     : QScatterSeries::MarkerShapeTriangle);
        }
        for (const auto& [load, error] : s.points) {
            if (line)
                line->append(load, error);
            dots->append(load, error);
            high = std::max(high, error);
            low = std::min(low, error);
            right = std::max(right, load);
        }
        if (line)
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
    // The dots on a line do not need a legend entry of their own.
    const auto markers = chart->legend()->markers();
    for (auto* marker : markers)
        if (std::find(lineDots.begin(), lineDots.end(), marker->series()) != lineDots.end())
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
    // Beside the plot, one entry a line: below it the run names were cut short.
    chart->legend()->setAlignment(Qt::AlignRight);
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
    // The font asked for is Liberation Sans (the package depends on it); where another one
    // stands in, every column is measured in the font actually used, so no text is cut.
    QFont current;
    const auto font = [&](double size, bool bold = false) {
        // The painter is scaled to points already: the font is sized for the bare device.
        QFont f("Liberation Sans");
        f.setPointSizeF(size / scale);
        f.setBold(bold);
        painter.setFont(f);
        current = f;
        return QFontMetricsF(f, &device).height();
    };
    const auto advance = [&](const QString& s) {
        return QFontMetricsF(current, &device).horizontalAdvance(s);
    };
    const auto text = [&](double x, double w, const QString& s,
                          Qt::Alignment align = Qt::AlignLeft) {
        painter.drawText(QRectF(x, y, w, 40), align | Qt::AlignTop, s);
    };
    // A record changed after it was written says so on every page.
    const auto warning = [&] {
        if (!record.changedAfterWriting)
            return;
        const QFont keep = current;
        const double line = font(10, true);
        painter.setPen(QColor(190, 0, 0));
        text(left, width,
             "WARNING: " + Q(kRecordChangedText) + ". What it holds is not what was recorded.");
        painter.setPen(Qt::black);
        painter.setFont(keep);
        current = keep;
        y += line + 4;
    };
    const auto newPage = [&] {
        device.newPage();
        y = 0;
        warning();
    };
    const auto ensure = [&](double needed) {
        if (y + needed > height && y > 0)
            newPage();
    };
    // A paragraph that wraps at the page width and breaks onto the next page as a whole.
    const auto paragraph = [&](const QString& s) {
        const QRectF box = QFontMetricsF(current, &device)
                               .boundingRect(QRectF(0, 0, width, 1e6), Qt::TextWordWrap, s);
        const double h = std::max(box.height(), QFontMetricsF(current, &device).height());
        ensure(h);
        painter.drawText(QRectF(left, y, width, h), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                         s);
        y += h;
    };

    double line = font(16, true);
    text(left, width, "Calibration check with test weights");
    y += line + 6;
    warning();
    line = font(9);
    const double d = record.division;
    const auto w = [d](double v) { return Q(FormatCheckWeight(v, d)); };
    const QString unit = Q(record.unit);
    QStringList identity;
    if (!record.scale.empty())
        identity << "Weighing instrument: " + Q(record.scale);
    identity << "Transmitter: " + Q(record.instrument) +
                    "    Serial number: " + Q(record.serialNumber) +
                    "    Program: " + Q(record.program)
             << "Address: " + QString::number(record.address) +
                    (record.name.empty() ? QString() : "    Name: " + Q(record.name)) +
                    "    Capacity: " + w(record.capacity) + " " + unit +
                    "    Display step: " + w(d) + " " + unit
             << "Test weights: " +
                    (record.weights.empty() ? QString("not named") : Q(record.weights))
             << "Rule: " + Q(record.rule.Describe(d, record.unit));
    for (const CheckRun& run : record.runs)
        identity << Q(RunTitle(run)) + ": " +
                        (run.started.empty() ? "started on " + Q(record.date)
                                             : "started " + Q(run.started));
    for (const QString& s : identity)
        paragraph(s);
    y += 2;
    line = font(7.5);
    // The calibration values in three columns, as many rows as they take.
    const double column = width / 3;
    for (size_t i = 0; i < record.calibration.size(); ++i) {
        if (i % 3 == 0)
            ensure(line);
        const auto& [label, value] = record.calibration[i];
        text(left + column * (i % 3), column - 4, Q(label) + " " + Q(value));
        if (i % 3 == 2 || i + 1 == record.calibration.size())
            y += line;
    }
    y += 8;

    // The table: the plan's steps, one block of columns a run. The columns take the width of
    // their widest text; the font shrinks when the runs would not fit side by side.
    std::vector<CheckResult> results;
    for (const CheckRun& run : record.runs)
        results.push_back(EvaluateRun(record, run));
    const size_t steps = results.empty() ? 0 : results[0].steps.size();
    const auto cells = [&](const StepResult& s) -> std::array<QString, 4> {
        const bool taken = s.reading.state == CheckReading::State::Taken;
        return {taken ? w(s.reading.indication) : "-", taken ? w(s.error) : "-",
                taken ? QString::number(s.errorInE, 'f', 2) : "-",
                taken                                             ? (s.pass ? "ok" : "OUT")
                : s.reading.state == CheckReading::State::Skipped ? "skipped"
                                                                  : "not read"};
    };
    const QString loadHeader = "load " + unit, tolHeader = "tolerance ±";
    double size = 8.5, stepW = 0, loadW = 0, tolW = 0, cellW = 0;
    for (;; size -= 0.5) {
        font(size, true);
        const double pad = advance("  ");
        stepW = advance("step");
        loadW = advance(loadHeader);
        tolW = advance(tolHeader);
        cellW = std::max({advance("reading"), advance("error"), advance("in e"),
                          advance("not read"), advance("skipped")});
        for (size_t i = 0; i < steps; ++i) {
            const StepResult& first = results[0].steps[i];
            stepW = std::max(stepW, advance(Q(StepLabel(first.step))));
            loadW = std::max(loadW, advance(w(first.step.load)));
            tolW = std::max(tolW, advance(Q(FormatTolerance(first.tolerance, d))));
            for (const CheckResult& result : results)
                for (const QString& c : cells(result.steps[i]))
                    cellW = std::max(cellW, advance(c));
        }
        stepW += pad, loadW += pad, tolW += pad, cellW += pad;
        if (stepW + loadW + tolW + 4 * cellW * std::max<size_t>(1, results.size()) <= width ||
            size <= 5.0)
            break;
    }
    const double runW = (width - stepW - loadW - tolW) / std::max<size_t>(1, results.size());
    const auto runColumns = [&](double x, const std::array<QString, 4>& row) {
        const double cw = runW / 4;
        for (int c = 0; c < 4; ++c)
            text(x + cw * c, cw - 2, row[c], Qt::AlignRight);
    };
    line = font(size, true);
    const auto header = [&] {
        font(size, true);
        double x = left + stepW + loadW + tolW;
        text(left, stepW, "step");
        text(left + stepW, loadW - 2, loadHeader, Qt::AlignRight);
        text(left + stepW + loadW, tolW - 2, tolHeader, Qt::AlignRight);
        for (const CheckRun& run : record.runs) {
            text(x, runW, Q(RunTitle(run)), Qt::AlignHCenter);
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
    ensure(4 * line);
    header();
    for (size_t i = 0; i < steps; ++i) {
        if (y + line > height) {
            newPage();
            header();
        }
        font(size);
        const StepResult& first = results[0].steps[i];
        text(left, stepW, Q(StepLabel(first.step)));
        text(left + stepW, loadW - 2, w(first.step.load), Qt::AlignRight);
        text(left + stepW + loadW, tolW - 2, Q(FormatTolerance(first.tolerance, d)),
             Qt::AlignRight);
        double x = left + stepW + loadW + tolW;
        for (const CheckResult& result : results) {
            const StepResult& s = result.steps[i];
            const bool taken = s.reading.state == CheckReading::State::Taken;
            painter.setPen(taken && !s.pass ? QColor(190, 0, 0) : QColor(0, 0, 0));
            runColumns(x, cells(s));
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
        const QString title = Q(RunTitle(record.runs[r]));
        QStringList findings;
        if (result.haveHysteresis)
            findings << "hysteresis " + w(result.hysteresis) + " at " + w(result.hysteresisLoad);
        if (result.haveRepeatability)
            findings << "repeatability: spread " + w(result.repeatability) + " (limit " +
                            Q(FormatTolerance(result.repeatabilityLimit, d)) + ")";
        if (result.haveEccentricity)
            findings << "eccentricity: largest difference from the centre " +
                            w(result.eccentricity);
        line = font(9);
        if (!findings.isEmpty())
            paragraph(title + ": " + findings.join(";  "));
        line = font(10, true);
        painter.setPen(record.runs[r].superseded                      ? QColor(110, 110, 110)
                       : result.verdict == CheckResult::Verdict::Pass ? QColor(0, 120, 0)
                                                                      : QColor(190, 0, 0));
        paragraph(title + ": " + Q(VerdictSentence(result)) +
                  (record.runs[r].superseded ? " This run was replaced by a later one." : ""));
        painter.setPen(Qt::black);
        y += 4;
    }

    // The plot.
    const double plotHeight = std::min(260.0, width * 0.5);
    ensure(plotHeight + 8);
    DrawPlot(painter, QRectF(left, y, width, plotHeight), record);
    y += plotHeight + 10;

    // Date, technician, next check and the notes, as long as they are, then the signatures,
    // always on the page they fit on whole.
    line = font(9);
    paragraph("Date: " + Q(record.date) + "    Technician: " + Q(record.technician));
    if (!record.nextCheck.empty())
        paragraph("Next check: " + Q(record.nextCheck));
    for (const QString& note : Q(record.notes).split('\n', Qt::SkipEmptyParts))
        paragraph(note);
    ensure(5 * line);
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

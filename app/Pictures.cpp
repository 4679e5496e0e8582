#include "app/Pictures.h"

#include "monitor/QuarnexView.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace quarnex::pictures {

namespace {

struct Palette {
    QColor top, bottom;
    QChar letter;
};

// Model colours: PIR green, KEL blue, JOV orange, I/O modules grey, YAX purple.
Palette ModelPalette(int image) {
    switch (image) {
    case QuarnexView::kImagePir:
        return {QColor(0x6c, 0xc0, 0x6a), QColor(0x2e, 0x7d, 0x32), 'P'};
    case QuarnexView::kImageKel:
        return {QColor(0x5b, 0x8f, 0xd6), QColor(0x1f, 0x4f, 0x99), 'K'};
    case QuarnexView::kImageJov:
        return {QColor(0xf5, 0xa6, 0x4a), QColor(0xc0, 0x62, 0x0c), 'J'};
    case QuarnexView::kImageYax:
        return {QColor(0xa7, 0x7b, 0xd6), QColor(0x5e, 0x35, 0x9c), 'Y'};
    default:
        return {QColor(0xb0, 0xb6, 0xbd), QColor(0x6b, 0x73, 0x7c), 'I'};
    }
}

QPixmap Transparent(int w, int h) {
    QPixmap p(w, h);
    p.fill(Qt::transparent);
    return p;
}

// A transmitter housing on a DIN rail: body with a small display, in the model's colours.
void DrawTransmitter(QPainter& g, const QRectF& r, const Palette& pal, bool terminals) {
    QLinearGradient body(r.topLeft(), r.bottomLeft());
    body.setColorAt(0, pal.top);
    body.setColorAt(1, pal.bottom);
    g.setPen(QPen(pal.bottom.darker(160), r.width() / 24.0));
    g.setBrush(body);
    g.drawRoundedRect(r, r.width() / 8, r.width() / 8);
    const QRectF display(r.left() + r.width() * 0.16, r.top() + r.height() * 0.14, r.width() * 0.68,
                         r.height() * 0.26);
    g.setPen(Qt::NoPen);
    g.setBrush(QColor(0xd8, 0xf5, 0xd0));
    g.drawRect(display);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(qMax(6, int(r.height() * 0.42)));
    g.setFont(font);
    g.setPen(Qt::white);
    g.drawText(QRectF(r.left(), r.top() + r.height() * 0.40, r.width(), r.height() * 0.6),
               Qt::AlignCenter, QString(pal.letter));
    if (terminals) {
        g.setBrush(QColor(0x33, 0x33, 0x33));
        const double d = r.width() / 8;
        for (int i = 0; i < 4; ++i)
            g.drawEllipse(QRectF(r.left() + d * (1 + 1.7 * i), r.bottom() - d * 1.6, d, d));
    }
}

} // namespace

QPixmap Instrument(int image, int size) {
    QPixmap p = Transparent(size, size);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    const double m = size / 10.0;
    const QRectF r(m, m * 0.8, size - 2 * m, size - 1.6 * m);
    if (image == QuarnexView::kImageNone) {
        // No instrument: an empty dashed outline where one would be.
        QPen pen(QColor(0x90, 0x90, 0x90), qMax(1.0, size / 16.0), Qt::DashLine);
        g.setPen(pen);
        g.setBrush(Qt::NoBrush);
        g.drawRoundedRect(r, size / 8.0, size / 8.0);
        return p;
    }
    DrawTransmitter(g, r, ModelPalette(image), image == QuarnexView::kImageOther);
    return p;
}

QIcon InstrumentIcon(int image) {
    QIcon icon;
    icon.addPixmap(Instrument(image, 16));
    icon.addPixmap(Instrument(image, 32));
    return icon;
}

QIcon ToolIcon(Tool tool) {
    QPixmap p = Transparent(16, 15);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0x20, 0x30, 0x50);
    switch (tool) {
    case Tool::Instruments: // a list with ticked rows
        for (int i = 0; i < 3; ++i) {
            const int y = 2 + 4 * i;
            g.setPen(QPen(QColor(0x1f, 0x4f, 0x99), 1.4));
            g.drawLine(QPointF(1.5, y + 1.5), QPointF(3, y + 3));
            g.drawLine(QPointF(3, y + 3), QPointF(5.5, y));
            g.setPen(QPen(ink, 1.2));
            g.drawLine(QPointF(7.5, y + 1.5), QPointF(15, y + 1.5));
        }
        break;
    case Tool::CommParams: { // a serial connector with its pins
        QPainterPath shell;
        shell.moveTo(1, 3);
        shell.lineTo(15, 3);
        shell.lineTo(13, 12);
        shell.lineTo(3, 12);
        shell.closeSubpath();
        g.setPen(QPen(ink, 1));
        g.setBrush(QColor(0xc8, 0xd2, 0xdc));
        g.drawPath(shell);
        g.setBrush(ink);
        g.setPen(Qt::NoPen);
        for (int i = 0; i < 5; ++i)
            g.drawEllipse(QPointF(3.5 + 2.25 * i, 6), 0.8, 0.8);
        for (int i = 0; i < 4; ++i)
            g.drawEllipse(QPointF(4.6 + 2.25 * i, 9), 0.8, 0.8);
        break;
    }
    case Tool::SelectInstrument: { // a transmitter under a magnifier
        DrawTransmitter(g, QRectF(0.5, 0.5, 9, 10), ModelPalette(QuarnexView::kImageKel), false);
        g.setPen(QPen(ink, 1.4));
        g.setBrush(QColor(255, 255, 255, 120));
        g.drawEllipse(QPointF(10, 8.5), 3.2, 3.2);
        g.drawLine(QPointF(12.3, 10.8), QPointF(15, 14));
        break;
    }
    case Tool::SetupFiles: { // a sheet with a folded corner and lines
        QPainterPath sheet;
        sheet.moveTo(3, 0.5);
        sheet.lineTo(10, 0.5);
        sheet.lineTo(13.5, 4);
        sheet.lineTo(13.5, 14.5);
        sheet.lineTo(3, 14.5);
        sheet.closeSubpath();
        g.setPen(QPen(ink, 1));
        g.setBrush(Qt::white);
        g.drawPath(sheet);
        g.drawLine(QPointF(10, 0.5), QPointF(10, 4));
        g.drawLine(QPointF(10, 4), QPointF(13.5, 4));
        for (int i = 0; i < 3; ++i)
            g.drawLine(QPointF(5, 7 + 2.5 * i), QPointF(11.5, 7 + 2.5 * i));
        break;
    }
    case Tool::About: {
        g.setPen(QPen(ink, 1));
        g.setBrush(QColor(0xff, 0xf1, 0x9c));
        g.drawEllipse(QRectF(1, 0.5, 14, 14));
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setBold(true);
        font.setPixelSize(11);
        g.setFont(font);
        g.drawText(QRectF(1, 0.5, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    }
    g.end();
    QIcon icon(p);
    return icon;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        QPixmap p = Transparent(size, size);
        QPainter g(&p);
        g.setRenderHint(QPainter::Antialiasing);
        const double s = size / 64.0;
        QLinearGradient bg(0, 0, 0, size);
        bg.setColorAt(0, QColor(0x2b, 0x5f, 0xb0));
        bg.setColorAt(1, QColor(0x12, 0x30, 0x66));
        g.setPen(Qt::NoPen);
        g.setBrush(bg);
        g.drawRoundedRect(QRectF(2 * s, 2 * s, 60 * s, 60 * s), 12 * s, 12 * s);
        // A platform scale: the pan, the column, the foot.
        g.setBrush(QColor(0xf0, 0xf4, 0xfa));
        g.drawRect(QRectF(12 * s, 20 * s, 40 * s, 5 * s));
        g.drawRect(QRectF(29 * s, 25 * s, 6 * s, 20 * s));
        g.drawRoundedRect(QRectF(16 * s, 45 * s, 32 * s, 7 * s), 2 * s, 2 * s);
        g.setBrush(QColor(0xf5, 0xa6, 0x4a));
        g.drawRect(QRectF(20 * s, 10 * s, 24 * s, 10 * s));
        icon.addPixmap(p);
    }
    return icon;
}

QPixmap Splash(const QString& versionText) {
    const int w = 420, h = 260;
    QPixmap p(w, h);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, w, h);
    bg.setColorAt(0, QColor(0x1d, 0x4b, 0x93));
    bg.setColorAt(1, QColor(0x0b, 0x1f, 0x45));
    g.fillRect(p.rect(), bg);
    // A hopper on three load cells, in outline.
    g.setPen(QPen(QColor(255, 255, 255, 70), 3));
    g.setBrush(Qt::NoBrush);
    QPainterPath hopper;
    hopper.moveTo(290, 40);
    hopper.lineTo(390, 40);
    hopper.lineTo(390, 120);
    hopper.lineTo(350, 170);
    hopper.lineTo(330, 170);
    hopper.lineTo(290, 120);
    hopper.closeSubpath();
    g.drawPath(hopper);
    g.drawLine(280, 120, 400, 120);
    for (int x : {285, 340, 395})
        g.drawRect(x - 6, 122, 12, 10);
    g.setPen(Qt::white);
    QFont title(QStringLiteral("DejaVu Sans"));
    title.setBold(true);
    title.setPixelSize(44);
    g.setFont(title);
    g.drawText(QRect(28, 60, 300, 60), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Quarnex"));
    QFont text(QStringLiteral("DejaVu Sans"));
    text.setPixelSize(14);
    g.setFont(text);
    g.setPen(QColor(0xd0, 0xdc, 0xf0));
    g.drawText(QRect(30, 122, 260, 22), Qt::AlignLeft,
               QStringLiteral("KEL 7 service and configuration"));
    g.drawText(QRect(30, 144, 260, 22), Qt::AlignLeft, QStringLiteral("Modbus RTU"));
    g.setPen(QColor(0xf5, 0xa6, 0x4a));
    g.drawText(QRect(30, 218, 360, 22), Qt::AlignLeft, versionText);
    g.setPen(QPen(QColor(0xf5, 0xa6, 0x4a), 3));
    g.drawLine(30, 200, 390, 200);
    return p;
}

QPixmap Installation(int width, int height) {
    QPixmap p(width, height);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.scale(width / 350.0, height / 250.0);
    // Background panel.
    QLinearGradient bg(0, 0, 0, 250);
    bg.setColorAt(0, QColor(0xee, 0xf3, 0xfa));
    bg.setColorAt(1, QColor(0xd5, 0xe0, 0xee));
    g.setPen(QPen(QColor(0xa8, 0xb8, 0xcc), 1));
    g.setBrush(bg);
    g.drawRoundedRect(QRectF(0.5, 0.5, 349, 249), 10, 10);

    // Two hoppers on load cells, each with its transmitter, on one RS-485 line to the PC.
    const QColor steel(0x8a, 0x99, 0xaa), dark(0x3a, 0x46, 0x55);
    for (int i = 0; i < 2; ++i) {
        const double x = 30 + i * 120;
        QPainterPath hopper;
        hopper.moveTo(x, 30);
        hopper.lineTo(x + 80, 30);
        hopper.lineTo(x + 80, 90);
        hopper.lineTo(x + 50, 130);
        hopper.lineTo(x + 30, 130);
        hopper.lineTo(x, 90);
        hopper.closeSubpath();
        QLinearGradient metal(x, 0, x + 80, 0);
        metal.setColorAt(0, steel.lighter(130));
        metal.setColorAt(1, steel);
        g.setPen(QPen(dark, 1.5));
        g.setBrush(metal);
        g.drawPath(hopper);
        // The product inside, at different levels.
        const double level = i == 0 ? 55 : 75;
        g.setPen(Qt::NoPen);
        g.setBrush(QColor(0xd9, 0xb3, 0x6c));
        QPainterPath fill;
        fill.moveTo(x + 2, level);
        fill.lineTo(x + 78, level);
        fill.lineTo(x + 78, 90);
        fill.lineTo(x + 49, 128);
        fill.lineTo(x + 31, 128);
        fill.lineTo(x + 2, 90);
        fill.closeSubpath();
        g.drawPath(fill);
        // Legs and load cells.
        g.setPen(QPen(dark, 2));
        g.drawLine(QPointF(x + 6, 90), QPointF(x + 6, 150));
        g.drawLine(QPointF(x + 74, 90), QPointF(x + 74, 150));
        g.setBrush(QColor(0xf5, 0xa6, 0x4a));
        g.drawRect(QRectF(x - 1, 150, 14, 8));
        g.drawRect(QRectF(x + 67, 150, 14, 8));
        g.drawLine(QPointF(x - 10, 160), QPointF(x + 90, 160));
        // Cable to the transmitter.
        g.setPen(QPen(QColor(0x20, 0x20, 0x20), 1.2));
        g.setBrush(Qt::NoBrush);
        g.drawLine(QPointF(x + 80, 154), QPointF(x + 95, 154));
        g.drawLine(QPointF(x + 95, 154), QPointF(x + 95, 178));
        // Transmitter with its display.
        const QRectF box(x + 70, 178, 50, 36);
        DrawTransmitter(g, box, ModelPalette(QuarnexView::kImageKel), false);
        QFont digits(QStringLiteral("DejaVu Sans Mono"));
        digits.setPixelSize(7);
        g.setFont(digits);
        g.setPen(QColor(0x10, 0x40, 0x10));
        g.drawText(QRectF(box.left() + 8, box.top() + 5, 34, 9), Qt::AlignCenter,
                   i == 0 ? QStringLiteral("1250.5") : QStringLiteral("842.0"));
    }
    // The bus line and the PC.
    g.setPen(QPen(QColor(0x1f, 0x4f, 0x99), 2.5));
    g.drawLine(QPointF(125, 232), QPointF(300, 232));
    g.drawLine(QPointF(125, 214), QPointF(125, 232));
    g.drawLine(QPointF(245, 214), QPointF(245, 232));
    g.drawLine(QPointF(300, 232), QPointF(300, 200));
    g.setPen(QPen(dark, 1.5));
    g.setBrush(QColor(0xfa, 0xfc, 0xff));
    g.drawRoundedRect(QRectF(272, 150, 58, 42), 3, 3);
    g.setBrush(QColor(0x2b, 0x5f, 0xb0));
    g.drawRect(QRectF(277, 155, 48, 30));
    g.setBrush(steel);
    g.drawRect(QRectF(292, 192, 18, 6));
    g.drawRect(QRectF(282, 198, 38, 4));
    QFont label(QStringLiteral("DejaVu Sans"));
    label.setPixelSize(10);
    g.setFont(label);
    g.setPen(dark);
    g.drawText(QRectF(250, 236, 100, 12), Qt::AlignLeft, QStringLiteral("RS-485"));
    return p;
}

} // namespace quarnex::pictures

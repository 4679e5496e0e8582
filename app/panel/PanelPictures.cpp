#include "app/panel/PanelPictures.h"

#include <QLinearGradient>
#include <QPainter>

namespace quarnex::panelpictures {

namespace {

enum class Look { Up, Down, Focused, Disabled };

// A membrane key: a rounded face with the caption, raised when up, pressed in when down, with a
// dotted ring when it has the focus and greyed out when disabled.
QPixmap DrawKey(const QString& caption, QColor face, Look look) {
    QPixmap picture(kWidth, kHeight);
    picture.fill(Qt::transparent);
    QPainter g(&picture);
    g.setRenderHint(QPainter::Antialiasing);

    if (look == Look::Disabled)
        face = QColor(0xc8, 0xc8, 0xc8);
    const bool down = look == Look::Down;
    const QRectF outer(1.5, 1.5, kWidth - 3, kHeight - 3);
    const QRectF inner = outer.adjusted(3, 3, -3, -3).translated(down ? 1 : 0, down ? 1 : 0);

    g.setPen(QPen(QColor(0x40, 0x40, 0x40), 1.5));
    g.setBrush(QColor(0x70, 0x70, 0x70));
    g.drawRoundedRect(outer, 7, 7);

    QLinearGradient gradient(inner.topLeft(), inner.bottomLeft());
    gradient.setColorAt(0, down ? face.darker(125) : face.lighter(135));
    gradient.setColorAt(1, down ? face.darker(105) : face.darker(120));
    g.setPen(Qt::NoPen);
    g.setBrush(gradient);
    g.drawRoundedRect(inner, 5, 5);

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(15);
    g.setFont(font);
    g.setPen(look == Look::Disabled ? QColor(0x90, 0x90, 0x90) : QColor(Qt::white));
    g.drawText(inner, Qt::AlignCenter, caption);

    if (look == Look::Focused) {
        QPen ring(QColor(0x10, 0x10, 0x10), 1, Qt::DotLine);
        g.setPen(ring);
        g.setBrush(Qt::NoBrush);
        g.drawRoundedRect(inner.adjusted(3, 3, -3, -3), 4, 4);
    }
    return picture;
}

} // namespace

QPixmap ButtonPicture(const QString& name) {
    if (name.size() < 2)
        return {};
    const QString caption = name.left(name.size() - 1);
    QColor face;
    if (caption == QLatin1String("TARE"))
        face = QColor(0x2f, 0x6d, 0xb5);
    else if (caption == QLatin1String("GRNET"))
        face = QColor(0x2e, 0x8b, 0x57);
    else if (caption == QLatin1String("ZERO"))
        face = QColor(0xc0, 0x6a, 0x1a);
    else
        return {};
    switch (name.back().toLatin1()) {
    case 'U':
        return DrawKey(caption, face, Look::Up);
    case 'D':
        return DrawKey(caption, face, Look::Down);
    case 'F':
        return DrawKey(caption, face, Look::Focused);
    case 'X':
        return DrawKey(caption, face, Look::Disabled);
    default:
        return {};
    }
}

} // namespace quarnex::panelpictures

#include "dialog/qt/pictures.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace orbisk::qt {

namespace {

// A hand-held remote seen from the front, its emitter at the top, sending
// infra-red arcs towards the upper right.  Drawn on a unit canvas of 49.
void PaintRemote(QPainter& p, bool small) {
    p.setRenderHint(QPainter::Antialiasing);

    const QRectF body = small ? QRectF(2.5, 5.5, 7, 10) : QRectF(10.5, 17.5, 18, 29);
    QLinearGradient shade(body.topLeft(), body.topRight());
    shade.setColorAt(0, QColor(0x4a, 0x55, 0x68));
    shade.setColorAt(1, QColor(0x26, 0x2d, 0x3a));
    p.setPen(QPen(QColor(0x1a, 0x1f, 0x28), 1));
    p.setBrush(shade);
    p.drawRoundedRect(body, small ? 2 : 5, small ? 2 : 5);

    // Emitter.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd9, 0x3a, 0x2b));
    const qreal led = small ? 1.6 : 2.4;
    const QPointF emitter(body.center().x(), body.top() + (small ? 2 : 4.5));
    p.drawEllipse(emitter, led, led);

    if (!small) {
        // Keypad: a round button over three rows of small keys.
        p.setBrush(QColor(0x9f, 0xc4, 0xe8));
        p.drawEllipse(QPointF(body.center().x(), body.top() + 12), 3.4, 3.4);
        p.setBrush(QColor(0xc8, 0xcf, 0xd8));
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 3; ++column)
                p.drawRoundedRect(QRectF(body.left() + 3.5 + column * 4.5, body.top() + 17.5 + row * 3.4, 3, 2.2),
                                  0.8, 0.8);
    } else {
        p.setBrush(QColor(0xc8, 0xcf, 0xd8));
        p.drawRect(QRectF(body.left() + 2, body.top() + 5, 3, 1));
        p.drawRect(QRectF(body.left() + 2, body.top() + 7, 3, 1));
    }

    // Infra-red arcs from the emitter.
    const int arcs = small ? 2 : 3;
    for (int i = 0; i < arcs; ++i) {
        const qreal radius = small ? 4.0 + i * 3.0 : 8.0 + i * 6.0;
        QColor colour(0xd9, 0x3a, 0x2b);
        colour.setAlphaF(1.0 - i * (small ? 0.3 : 0.25));
        p.setPen(QPen(colour, small ? 1.3 : 2.2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(emitter.x() - radius, emitter.y() - radius, 2 * radius, 2 * radius), 10 * 16, 70 * 16);
    }
}

}  // namespace

QPixmap DrawLogo() {
    QImage logo(49, 49, QImage::Format_ARGB32_Premultiplied);
    logo.fill(Qt::white);
    QPainter p(&logo);
    PaintRemote(p, false);
    p.end();
    return QPixmap::fromImage(logo);
}

QIcon DrawWindowIcon() {
    QImage icon(16, 16, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    PaintRemote(p, true);
    p.end();
    return QIcon(QPixmap::fromImage(icon));
}

}  // namespace orbisk::qt

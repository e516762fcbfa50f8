#include "ui/cavity/cavitylabel.h"

#include "params/cavitynames.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

void DrawCavityName(QPainter &painter, const QRectF &regionBox, int camera, int cavity)
{
    if (cavity < 0 || cavity >= CavityNames::kPositions)
        return;
    const QString name = CavityName(camera, cavity);
    if (name.isEmpty())
        return;
    painter.save();
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(20);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    QRectF plate(0, 0, metrics.horizontalAdvance(name) + 8, metrics.height() + 2);
    plate.moveBottomLeft(regionBox.topLeft());
    if (plate.top() < 0)
        plate.moveTopLeft(regionBox.topLeft());
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 150));
    painter.drawRect(plate);
    painter.setPen(QColor(255, 230, 90));
    painter.drawText(plate, Qt::AlignCenter, name);
    painter.restore();
}

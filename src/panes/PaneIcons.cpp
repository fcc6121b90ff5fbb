#include "panes/PaneIcons.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>
#include <functional>

#include "common/CommandIds.h"

namespace telvora
{

namespace
{

// Drawn on a 16 x 16 grid, at one and two device pixels per unit.
QIcon DrawnIcon(const std::function<void(QPainter&)>& draw)
{
    QIcon icon;
    for (const int scale : {1, 2})
    {
        QPixmap pixmap(16 * scale, 16 * scale);
        pixmap.fill(Qt::transparent);
        {
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.scale(scale, scale);
            draw(painter);
        }
        pixmap.setDevicePixelRatio(scale);
        icon.addPixmap(pixmap);
    }
    return icon;
}

void PlusBox(QPainter& painter, qreal x, qreal y)
{
    painter.setPen(QPen(QColor(60, 60, 60), 1.0));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(x, y, 6, 6));
    painter.drawLine(QPointF(x + 1.5, y + 3), QPointF(x + 4.5, y + 3));
    painter.drawLine(QPointF(x + 3, y + 1.5), QPointF(x + 3, y + 4.5));
}

void DrawExpandAll(QPainter& painter)
{
    painter.setPen(QPen(QColor(110, 110, 110), 1.0, Qt::DotLine));
    painter.drawLine(QPointF(3.5, 7), QPointF(3.5, 12.5));
    painter.drawLine(QPointF(3.5, 12.5), QPointF(8, 12.5));
    PlusBox(painter, 0.5, 0.5);
    PlusBox(painter, 8.5, 9.5);
    painter.setPen(QPen(QColor(40, 90, 170), 2.0));
    painter.drawLine(QPointF(9, 3.5), QPointF(15, 3.5));
}

void DrawSortAlphabetically(QPainter& painter)
{
    QFont font;
    font.setPixelSize(7);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(30, 30, 30));
    painter.drawText(QRectF(0, 0, 9, 8), Qt::AlignCenter, QStringLiteral("A"));
    painter.drawText(QRectF(0, 8, 9, 8), Qt::AlignCenter, QStringLiteral("Z"));
    painter.setPen(QPen(QColor(40, 90, 170), 1.5));
    painter.drawLine(QPointF(12.5, 1.5), QPointF(12.5, 13));
    painter.setBrush(QColor(40, 90, 170));
    painter.drawPolygon(QPolygonF({QPointF(9.5, 11), QPointF(15.5, 11), QPointF(12.5, 15.5)}));
}

void DrawVariableLengthRecords(QPainter& painter)
{
    painter.setPen(QPen(QColor(90, 90, 90), 1.0));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(0.5, 0.5, 15, 15));
    painter.setPen(QPen(QColor(120, 120, 120), 1.0));
    for (const qreal y : {10.5, 13.0})
    {
        painter.drawLine(QPointF(3, y), QPointF(13, y));
    }
    QFont font;
    font.setPixelSize(6);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(40, 90, 170));
    painter.drawText(QRectF(0, 1, 16, 7), Qt::AlignCenter, QStringLiteral("VRL"));
}

} // namespace

QIcon PaneCommandIcon(int commandId)
{
    switch (commandId)
    {
    case ID_EXPAND_ALL:
        return DrawnIcon(DrawExpandAll);
    case ID_SORTPROPERTIES:
        return DrawnIcon(DrawSortAlphabetically);
    case ID_SHOW_VRL:
        return DrawnIcon(DrawVariableLengthRecords);
    default:
        return DrawnIcon([](QPainter&) {});
    }
}

} // namespace telvora

#include "app/AppIcons.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <array>
#include <cmath>

#include "common/CommandIds.h"

namespace telvora
{
namespace
{

QPixmap Canvas(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QPixmap LogoPixmap(int size)
{
    QPixmap pixmap = Canvas(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    QLinearGradient sky(0, 0, 0, 64);
    sky.setColorAt(0, QColor(0x2b, 0x4c, 0x8c));
    sky.setColorAt(1, QColor(0x7f, 0x99, 0xff));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    // Points along a terrain profile, coloured by height.
    for (int i = 0; i < 15; ++i)
    {
        const double x = 8 + i * 3.4;
        const double h = 38 - 10 * std::sin(i * 0.45) - 4 * std::sin(i * 1.3);
        const int hue = static_cast<int>(std::clamp(240 - (44 - h) * 9, 0.0, 240.0));
        p.setBrush(QColor::fromHsv(hue, 220, 255));
        p.drawEllipse(QPointF(x, h), 2.1, 2.1);
        p.setBrush(QColor(255, 255, 255, 150));
        p.drawEllipse(QPointF(x + 1.5, h + 9), 1.2, 1.2);
    }
    p.setPen(QPen(QColor(255, 255, 255, 220), 2.5));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(10, 14), QPointF(54, 14));
    p.drawLine(QPointF(32, 14), QPointF(32, 24));
    return pixmap;
}

QPixmap SwatchPixmap(int id, int size)
{
    QPixmap pixmap = Canvas(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    const QRectF box(3, 3, 26, 26);
    switch (id)
    {
    case ID_VIEW_INTENSITY:
    case ID_VIEW_HEIGHT:
    case ID_VIEW_SCANANGLERANK:
    {
        QLinearGradient ramp(box.bottomLeft(), box.topLeft());
        if (id == ID_VIEW_INTENSITY)
        {
            ramp.setColorAt(0, Qt::black);
            ramp.setColorAt(1, Qt::white);
        }
        else if (id == ID_VIEW_HEIGHT)
        {
            ramp.setColorAt(0, Qt::blue);
            ramp.setColorAt(0.33, Qt::cyan);
            ramp.setColorAt(0.66, Qt::yellow);
            ramp.setColorAt(1, Qt::red);
        }
        else
        {
            ramp.setStart(box.topLeft());
            ramp.setFinalStop(box.topRight());
            ramp.setColorAt(0, QColor(40, 40, 40));
            ramp.setColorAt(0.5, Qt::white);
            ramp.setColorAt(1, QColor(40, 40, 40));
        }
        p.setBrush(ramp);
        p.drawRoundedRect(box, 3, 3);
        break;
    }
    case ID_VIEW_HISTOGRAM:
    {
        p.setBrush(QColor(235, 235, 235));
        p.drawRoundedRect(box, 3, 3);
        const std::array<int, 5> bars = {6, 14, 20, 11, 4};
        p.setBrush(QColor(70, 70, 70));
        for (std::size_t i = 0; i < bars.size(); ++i)
        {
            p.drawRect(QRectF(6 + 4.2 * static_cast<double>(i), 26 - bars[i], 3.4, bars[i]));
        }
        break;
    }
    case ID_VIEW_CLASSIFICATION:
    case ID_VIEW_RETURNNUMBER:
    case ID_VIEW_FILES:
    {
        const std::array<QColor, 4> colors =
            id == ID_VIEW_CLASSIFICATION
                ? std::array<QColor, 4>{QColor(150, 100, 50), QColor(0, 170, 0),
                                        QColor(230, 30, 30), QColor(40, 90, 230)}
            : id == ID_VIEW_RETURNNUMBER
                ? std::array<QColor, 4>{Qt::red, Qt::green, Qt::blue, Qt::yellow}
                : std::array<QColor, 4>{QColor(230, 120, 0), QColor(120, 0, 200),
                                        QColor(0, 160, 160), QColor(200, 200, 0)};
        for (int i = 0; i < 4; ++i)
        {
            p.setBrush(colors[static_cast<std::size_t>(i)]);
            const int column = i % 2;
            const int row = i / 2;
            p.drawRoundedRect(QRectF(3 + column * 13, 3 + row * 13, 12, 12), 2, 2);
        }
        break;
    }
    case ID_VIEW_COLOR:
    {
        p.setBrush(QColor(255, 0, 0, 200));
        p.drawEllipse(QPointF(12, 12), 8, 8);
        p.setBrush(QColor(0, 200, 0, 200));
        p.drawEllipse(QPointF(20, 12), 8, 8);
        p.setBrush(QColor(0, 0, 255, 200));
        p.drawEllipse(QPointF(16, 20), 8, 8);
        break;
    }
    case ID_TOOLS_CROSSSECTION:
    {
        p.setBrush(QColor(230, 240, 255));
        p.drawRoundedRect(box, 3, 3);
        QPainterPath ground;
        ground.moveTo(4, 22);
        ground.cubicTo(10, 12, 18, 26, 28, 14);
        p.setPen(QPen(QColor(0, 120, 0), 2));
        p.drawPath(ground);
        p.setPen(QPen(Qt::red, 1.5, Qt::DashLine));
        p.drawLine(QPointF(16, 4), QPointF(16, 28));
        break;
    }
    case ID_TOOLS_MEASURE:
    {
        // Two end markers joined by the measured line.
        p.setPen(QPen(QColor(160, 0, 160), 2));
        p.drawLine(QPointF(7, 25), QPointF(25, 7));
        p.setBrush(QColor(255, 0, 255));
        p.setPen(QPen(QColor(90, 0, 90), 1));
        p.drawEllipse(QPointF(7, 25), 4, 4);
        p.drawEllipse(QPointF(25, 7), 4, 4);
        break;
    }
    case ID_COMPRESSION_OPEN:
    {
        p.setBrush(QColor(200, 160, 90));
        p.drawRoundedRect(QRectF(5, 9, 22, 19), 2, 2);
        p.setBrush(QColor(225, 190, 120));
        p.drawRect(QRectF(3, 5, 26, 6));
        p.setPen(QPen(QColor(90, 60, 20), 2));
        p.drawLine(QPointF(16, 14), QPointF(16, 24));
        p.drawLine(QPointF(12, 20), QPointF(16, 24));
        p.drawLine(QPointF(20, 20), QPointF(16, 24));
        break;
    }
    default:
        return QPixmap();
    }
    return pixmap;
}

} // namespace

QIcon AppIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
    {
        icon.addPixmap(LogoPixmap(size));
    }
    return icon;
}

namespace
{

// The style greys a disabled icon by its colours, which leaves an icon of dark lines on white (the
// print icons) looking as enabled as ever. A faded copy reads as disabled in every look.
QIcon WithFadedDisabledMode(const QIcon& icon)
{
    QIcon faded;
    for (int size : {16, 24, 32})
    {
        const QPixmap normal = icon.pixmap(size, size);
        if (normal.isNull())
        {
            continue;
        }
        QPixmap disabled(normal.size());
        disabled.setDevicePixelRatio(normal.devicePixelRatio());
        disabled.fill(Qt::transparent);
        QPainter painter(&disabled);
        painter.setOpacity(0.3);
        painter.drawPixmap(0, 0, normal);
        painter.end();
        faded.addPixmap(normal, QIcon::Normal);
        faded.addPixmap(disabled, QIcon::Disabled);
    }
    return faded;
}

} // namespace

QIcon CommandIcon(int id)
{
    QStyle* style = QApplication::style();
    switch (id)
    {
    case ID_FILE_NEW:
        return style->standardIcon(QStyle::SP_FileIcon);
    case ID_FILE_OPEN:
        return style->standardIcon(QStyle::SP_DialogOpenButton);
    case ID_FILE_SAVE:
    case ID_FILE_SAVE_AS:
        return style->standardIcon(QStyle::SP_DialogSaveButton);
    case ID_FILE_CLOSE:
        return style->standardIcon(QStyle::SP_DialogCloseButton);
    case ID_FILE_PRINT:
    case ID_FILE_PRINT_DIRECT:
        return WithFadedDisabledMode(style->standardIcon(QStyle::SP_FileDialogDetailedView));
    case ID_VIEW_FILE:
        return style->standardIcon(QStyle::SP_DirIcon);
    case ID_VIEW_CLASSES:
        return style->standardIcon(QStyle::SP_FileDialogListView);
    case ID_VIEW_FILE_FIRST:
        return style->standardIcon(QStyle::SP_FileIcon);
    case ID_VIEW_FILE_ALL:
        return style->standardIcon(QStyle::SP_DialogApplyButton);
    case ID_VIEW_FILE_NONE:
        return style->standardIcon(QStyle::SP_DialogDiscardButton);
    case ID_APP_ABOUT:
        return style->standardIcon(QStyle::SP_MessageBoxInformation);
    case ID_APP_EXIT:
        return style->standardIcon(QStyle::SP_DialogCancelButton);
    default:
        break;
    }
    QIcon icon;
    for (int size : {16, 32})
    {
        const QPixmap pixmap = SwatchPixmap(id, size);
        if (pixmap.isNull())
        {
            return QIcon();
        }
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace telvora

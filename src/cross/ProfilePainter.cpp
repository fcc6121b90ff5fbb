#include "cross/ProfilePainter.h"

#include <QFontMetrics>
#include <QPainterPath>
#include <QPen>
#include <QPolygon>
#include <algorithm>
#include <cmath>

#include "scene/Palettes.h"

namespace telvora
{

namespace
{

constexpr int kArrowSize = 31;

QPoint ScreenOf(const ProfileSection& section, const PlotRect& plot, const PointRef& ref)
{
    const ProfilePoint& point = section.At(ref);
    const ScreenPoint at = ProfileToScreen(section.window.box, plot, point.u, point.z);
    return {at.x, at.y};
}

// Rectangles through two corners, as the window system draws them: right and bottom outside.
QRect Normalised(const QPoint& a, const QPoint& b)
{
    return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                 QPoint(std::max(a.x(), b.x()) - 1, std::max(a.y(), b.y()) - 1));
}

void DrawMeasurement(QPainter& painter, const ProfileScene& scene)
{
    const ProfileSection& section = *scene.section;
    const PlotRect& plot = scene.plot;
    const Measurement& m = *scene.measurement;
    const QPoint a = ScreenOf(section, plot, m.first);
    const QPoint b = ScreenOf(section, plot, m.second);
    if (scene.measurementComplete)
    {
        const ProfilePoint& p = section.At(m.first);
        const ProfilePoint& q = section.At(m.second);
        const float angle = Measure(p.u, p.z, q.u, q.z).angle;
        const double pixels = std::hypot(b.x() - a.x(), b.y() - a.y());
        const int r = static_cast<int>(std::min(pixels, 30.0));
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawLine(plot.left, a.y(), plot.right, a.y());
        // The arc primitive starts with a straight segment from the current position (the right
        // end of the reference line) to the start of the arc.
        const double start = 0.0;
        const QPointF arcStart(a.x() + r * std::cos(start), a.y() - r * std::sin(start));
        QPainterPath arc(QPointF(plot.right, a.y()));
        arc.lineTo(arcStart);
        arc.arcTo(QRectF(a.x() - r, a.y() - r, 2.0 * r, 2.0 * r), 0.0, angle);
        painter.drawPath(arc);
        painter.setPen(QPen(Qt::black, 1));
        painter.drawLine(a, b);
    }
    painter.setPen(QPen(Qt::black, 2));
    painter.setBrush(Qt::white);
    for (const QPoint& end : {a, b})
    {
        painter.drawEllipse(QRect(end.x() - 4, end.y() - 4, 8, 8));
    }
}

void DrawArrows(QPainter& painter, const ProfileScene& scene, const QImage& downArrow,
                const QImage& upArrow)
{
    const PlotRect& plot = scene.plot;
    const ProfileWindow& window = scene.section->window;
    const int middle = (plot.left + plot.right) / 2 - 11;
    if (window.pointsAbove)
    {
        painter.drawImage(QPoint(plot.right, plot.top), downArrow);
        painter.drawImage(QRect(middle, 0, 21, 23), downArrow);
    }
    if (window.pointsBelow)
    {
        painter.drawImage(QPoint(plot.right, plot.bottom - kArrowSize), upArrow);
        painter.drawImage(QRect(middle, plot.bottom + 1, 21, 23), upArrow);
    }
}

void DrawGrid(QPainter& painter, const ProfileScene& scene)
{
    const PlotRect& plot = scene.plot;
    const CBoundingBox& box = scene.section->window.box;
    const float uStep = (box.maximum.x - box.minimum.x) / 10.0f;
    const float zStep = (box.maximum.y - box.minimum.y) / 10.0f;
    const int xStep = plot.Width() / 10;
    const int yStep = plot.Height() / 10;
    const QFontMetrics metrics = painter.fontMetrics();
    const QPen gridPen(QColor(127, 127, 127), 1, Qt::DashLine);
    for (int i = 0; i <= 10; ++i)
    {
        const int x = plot.left + i * xStep;
        painter.setPen(gridPen);
        painter.drawLine(x, plot.top, x, plot.bottom + 10);
        const QString distance =
            QString::fromStdString(DistanceLabel(static_cast<float>(i) * uStep));
        const int w = metrics.horizontalAdvance(distance);
        const int h = metrics.height();
        painter.setPen(Qt::black);
        painter.drawText(QRect(x - w / 2, plot.bottom + 15 + h / 2, w, h), Qt::AlignCenter,
                         distance);

        const int y = plot.top + i * yStep;
        painter.setPen(gridPen);
        painter.drawLine(plot.right, y, plot.left - 10, y);
        const QString height =
            QString::fromStdString(HeightLabel(box.maximum.y - static_cast<float>(i) * zStep));
        const int hw = metrics.horizontalAdvance(height);
        painter.setPen(Qt::black);
        painter.drawText(QRect(plot.left - 10 - hw, y - h / 2, hw, h),
                         Qt::AlignRight | Qt::AlignVCenter, height);
    }
    painter.setPen(QPen(Qt::black, 3));
    painter.drawLine(plot.left, plot.top, plot.left, plot.bottom);
    painter.drawLine(plot.left, plot.bottom, plot.right, plot.bottom);
}

std::optional<PointRef> DrawPoints(QPainter& painter, const ProfileScene& scene)
{
    const ProfileSection& section = *scene.section;
    const CBoundingBox& box = section.window.box;
    std::optional<PointRef> hover;
    const QPen outline(Qt::black, 1);
    const QPen hoverPen(Qt::black, 2);
    painter.setPen(outline);
    // One brush per class byte, made once per paint rather than once per point.
    std::array<QColor, 256> colours;
    for (int c = 0; c < 256; ++c)
    {
        const Color colour = ClassColor(static_cast<std::uint8_t>(c));
        colours[static_cast<std::size_t>(c)] =
            QColor(static_cast<int>(colour[0] * 255.0f), static_cast<int>(colour[1] * 255.0f),
                   static_cast<int>(colour[2] * 255.0f));
    }
    int brushClass = -1;
    for (std::size_t file = 0; file < section.points.size(); ++file)
    {
        const std::vector<ProfilePoint>& points = section.points[file];
        for (std::size_t k = 0; k < points.size(); ++k)
        {
            const ProfilePoint& point = points[k];
            if (!(point.u > box.minimum.x && point.u < box.maximum.x && point.z > box.minimum.y &&
                  point.z < box.maximum.y))
            {
                continue;
            }
            const ScreenPoint at = ProfileToScreen(box, scene.plot, point.u, point.z);
            if (brushClass != point.classification)
            {
                brushClass = point.classification;
                painter.setBrush(colours[point.classification]);
            }
            const QRect square(at.x - 3, at.y - 3, 6, 6);
            if (square.contains(scene.mouse))
            {
                hover = PointRef{static_cast<int>(file), static_cast<std::uint32_t>(k)};
                painter.setPen(hoverPen);
                painter.drawEllipse(QRect(at.x - 4, at.y - 4, 8, 8));
                painter.setPen(outline);
            }
            else
            {
                painter.drawEllipse(square);
            }
        }
    }
    return hover;
}

} // namespace

QImage MakeArrowImage(bool pointingDown)
{
    QImage image(kArrowSize, kArrowSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 0, 0));
    // Shaft and head, pointing up; turned over for the down arrow.
    QPolygonF arrow;
    arrow << QPointF(15.5, 2) << QPointF(28, 15) << QPointF(20, 15) << QPointF(20, 29)
          << QPointF(11, 29) << QPointF(11, 15) << QPointF(3, 15);
    if (pointingDown)
    {
        for (QPointF& p : arrow)
        {
            p.setY(kArrowSize - p.y());
        }
    }
    painter.drawPolygon(arrow);
    return image;
}

std::optional<PointRef> PaintProfile(QPainter& painter, const QSize& client,
                                     const ProfileScene& scene, const QImage& downArrow,
                                     const QImage& upArrow)
{
    painter.fillRect(QRect(QPoint(0, 0), client), Qt::white);
    if (scene.section == nullptr)
    {
        return std::nullopt;
    }
    if (scene.selection)
    {
        painter.setPen(QPen(QColor(255, 0, 0), 2));
        painter.setBrush(Qt::white);
        painter.drawRect(Normalised(scene.selection->first, scene.selection->second));
    }
    if (scene.measurement)
    {
        DrawMeasurement(painter, scene);
    }
    DrawArrows(painter, scene, downArrow, upArrow);
    DrawGrid(painter, scene);
    return DrawPoints(painter, scene);
}

} // namespace telvora

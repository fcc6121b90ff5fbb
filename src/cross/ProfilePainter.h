#pragma once

#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QRect>
#include <optional>

#include "cross/ProfileMath.h"
#include "cross/ProfileSection.h"

namespace telvora
{

// The two ends of a measurement.
struct Measurement
{
    PointRef first;
    PointRef second;
};

// The selection rectangle as dragged: first corner, second corner, client pixels.
struct Selection
{
    QPoint first;
    QPoint second;
};

// Everything a paint of the profile draws.
struct ProfileScene
{
    const ProfileSection* section = nullptr;
    PlotRect plot;
    std::optional<Selection> selection;
    std::optional<Measurement> measurement;
    bool measurementComplete = false;
    QPoint mouse;
};

// The red arrows shown beside the plot when collected points lie above (pointing down) or below
// (pointing up) the window, 31 x 31 pixels on a white ground.
QImage MakeArrowImage(bool pointingDown);

// Draws the profile onto the painter of a client area of the given size: white ground, selection,
// measurement, grid with labels, axes and the points in their class colours. Returns the point
// under the mouse, the last one drawn there.
std::optional<PointRef> PaintProfile(QPainter& painter, const QSize& client,
                                     const ProfileScene& scene, const QImage& downArrow,
                                     const QImage& upArrow);

} // namespace telvora

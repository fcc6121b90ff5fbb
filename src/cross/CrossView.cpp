#include "cross/CrossView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include "scene/LasFileSet.h"
#include "scene/PointTree.h"

namespace telvora
{

CCrossView::CCrossView(QWidget* parent)
    : QWidget(parent)
    , downArrow(MakeArrowImage(true))
    , upArrow(MakeArrowImage(false))
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    // The paint fills every pixel itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
    plotRect = PlotRectFor(QWidget::width(), height());
}

void CCrossView::SetSource(const SectionSource& newSource, const float* widthReference)
{
    source = newSource;
    width = widthReference;
    plotRect = PlotRectFor(QWidget::width(), height());
    BuildSection(0.0f, 0.0f);
}

void CCrossView::BuildSection(float zLow, float zHigh)
{
    // The references into the old arrays go with them.
    hoverPoint.reset();
    if (measurement)
    {
        ClearMeasurement();
    }
    section = BuildProfileSection(source, width != nullptr ? *width : 0.5f, plotRect.Width(),
                                  plotRect.Height(), zLow, zHigh, notifier);
}

void CCrossView::SetStatusText(const std::string& text)
{
    if (statusSink)
    {
        statusSink(text);
    }
}

void CCrossView::ClearMeasurement()
{
    if (measurement)
    {
        SetStatusText("Ready");
        measurementComplete = false;
        measurement.reset();
    }
}

void CCrossView::Rebuild()
{
    BuildSection(0.0f, 0.0f);
    emit sectionMoved();
    update();
}

QImage CCrossView::Render()
{
    QImage image(size(), QImage::Format_RGB32);
    QPainter painter(&image);
    ProfileScene scene;
    scene.section = &section;
    scene.plot = plotRect;
    scene.selection = selection;
    scene.measurement = measurement;
    scene.measurementComplete = measurementComplete;
    scene.mouse = lastMouse;
    if (measurement && measurementComplete)
    {
        const ProfilePoint& p = section.At(measurement->first);
        const ProfilePoint& q = section.At(measurement->second);
        result = Measure(p.u, p.z, q.u, q.z);
        SetStatusText(MeasurementText(result));
    }
    hoverPoint = PaintProfile(painter, size(), scene, downArrow, upArrow);
    return image;
}

void CCrossView::paintEvent(QPaintEvent*)
{
    const QImage image = Render();
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}

void CCrossView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The profile window keeps its extent in metres: the drawing stretches until the next build.
    plotRect = PlotRectFor(QWidget::width(), height());
}

void CCrossView::keyPressEvent(QKeyEvent* event)
{
    const SectionKey key =
        SectionKeyFor(event->key(), event->modifiers().testFlag(Qt::KeypadModifier));
    if (key == SectionKey::None)
    {
        QWidget::keyPressEvent(event);
        return;
    }
    ClearMeasurement();
    selection.reset();
    if (key == SectionKey::Escape)
    {
        hoverPoint.reset();
        update();
        return;
    }
    if (source.line != nullptr &&
        MoveLineForKey(*source.line, key, width != nullptr ? *width : 0.5f))
    {
        Rebuild();
    }
    update();
}

void CCrossView::wheelEvent(QWheelEvent* event)
{
    const QPoint angle = event->angleDelta();
    const int delta = angle.y() != 0 ? angle.y() : angle.x();
    ClearMeasurement();
    selection.reset();
    if (source.line != nullptr && MoveLineForWheel(*source.line, delta))
    {
        Rebuild();
    }
    update();
    event->accept();
}

void CCrossView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    const int dx = at.x() - lastMouse.x();
    const int dy = at.y() - lastMouse.y();
    if (event->buttons().testFlag(Qt::LeftButton) && section.frame.valid && source.line != nullptr)
    {
        SetStatusText("Ready");
        selection.reset();
        const float scale = section.window.scale;
        const float rise = static_cast<float>(dy) / scale;
        MoveLineAlong(*source.line, static_cast<float>(dx) / scale);
        BuildSection(section.window.box.minimum.y + rise, section.window.box.maximum.y + rise);
        emit sectionMoved();
    }
    if (event->buttons().testFlag(Qt::RightButton) && selection &&
        plotRect.Contains(at.x(), at.y()))
    {
        selection->second = at;
    }
    lastMouse = at;
    update();
}

void CCrossView::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    switch (event->button())
    {
    case Qt::LeftButton:
        ClearMeasurement();
        setFocus(Qt::MouseFocusReason);
        break;
    case Qt::RightButton:
        if (plotRect.Contains(at.x(), at.y()))
        {
            selection = Selection{at, at};
        }
        break;
    case Qt::MiddleButton:
        SetStatusText("Ready");
        measurementComplete = false;
        measurement.reset();
        if (hoverPoint)
        {
            measurement = Measurement{*hoverPoint, *hoverPoint};
            hoverPoint.reset();
        }
        break;
    default:
        break;
    }
    update();
}

void CCrossView::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    switch (event->button())
    {
    case Qt::RightButton:
        if (selection && plotRect.Contains(at.x(), at.y()))
        {
            selection->second = at;
            const QPoint a = selection->first;
            selection = Selection{QPoint(std::min(a.x(), at.x()), std::min(a.y(), at.y())),
                                  QPoint(std::max(a.x(), at.x()), std::max(a.y(), at.y()))};
        }
        break;
    case Qt::MiddleButton:
        if (hoverPoint && measurement)
        {
            measurement->second = *hoverPoint;
            hoverPoint.reset();
        }
        if (measurement)
        {
            measurementComplete = true;
        }
        break;
    default:
        break;
    }
    update();
}

std::vector<std::vector<std::uint32_t>> CCrossView::SelectedPoints() const
{
    std::vector<std::vector<std::uint32_t>> chosen(section.points.size());
    if (!selection)
    {
        return chosen;
    }
    // A rectangle left reversed contains nothing.
    const QPoint low = selection->first;
    const QPoint high = selection->second;
    for (std::size_t f = 0; f < section.points.size(); ++f)
    {
        const std::vector<ProfilePoint>& points = section.points[f];
        for (std::size_t i = 0; i < points.size(); ++i)
        {
            const ScreenPoint at =
                ProfileToScreen(section.window.box, plotRect, points[i].u, points[i].z);
            if (at.x >= low.x() && at.x < high.x() && at.y >= low.y() && at.y < high.y())
            {
                chosen[f].push_back(static_cast<std::uint32_t>(i));
            }
        }
    }
    return chosen;
}

void CCrossView::Reclassify(int code)
{
    if (selection && code >= 0 && code <= 255 && source.set != nullptr)
    {
        ClassEdit edit = ApplyClass(*source.set, section, SelectedPoints(),
                                    static_cast<std::uint8_t>(code), notifier);
        ReflectInTrees(edit, false);
        history.Push(std::move(edit));
    }
    update();
}

bool CCrossView::Undo()
{
    const bool undone = source.set != nullptr && history.Undo(*source.set, section, notifier);
    if (undone && history.NextRedo() != nullptr)
    {
        ReflectInTrees(*history.NextRedo(), true);
    }
    update();
    return undone;
}

bool CCrossView::Redo()
{
    const bool redone = source.set != nullptr && history.Redo(*source.set, section, notifier);
    if (redone && history.NextUndo() != nullptr)
    {
        ReflectInTrees(*history.NextUndo(), false);
    }
    update();
    return redone;
}

void CCrossView::ReflectInTrees(const ClassEdit& edit, bool undo)
{
    if (edit.empty() || source.set == nullptr || source.trees == nullptr)
    {
        return;
    }
    if (source.makeCurrent)
    {
        source.makeCurrent();
    }
    for (const ClassChange& change : edit)
    {
        CPointTree* tree = change.file >= 0 && change.file < source.set->count
                               ? source.trees[change.file]
                               : nullptr;
        const LasHeader* header = source.set->files[change.file].header;
        if (tree == nullptr || header == nullptr)
        {
            continue;
        }
        tree->ChangeClasses(change.records.data(),
                            undo ? change.after.data() : change.before.data(),
                            undo ? change.before.data() : change.after.data(),
                            change.records.size(), header->pointDataFormatId);
    }
    emit classesChanged();
}

} // namespace telvora

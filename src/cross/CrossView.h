#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "common/Notifier.h"
#include "cross/ProfilePainter.h"
#include "cross/ProfileSection.h"

namespace telvora
{

// The profile of the section: distance along the line against height. Zooming and panning move
// the section line itself (the 3D view shows it where it now is) and rebuild the section; the
// middle button measures between two drawn points, the right button drags a selection.
class CCrossView : public QWidget
{
    Q_OBJECT

public:
    explicit CCrossView(QWidget* parent = nullptr);

    // Takes what the section is cut from and builds it with the automatic vertical extent.
    void SetSource(const SectionSource& newSource, const float* widthReference);
    void SetNotifier(INotifier* newNotifier) { notifier = newNotifier; }
    // Where the measurement result and "Ready" go: the frame's status bar.
    void SetStatusSink(std::function<void(const std::string&)> sink)
    {
        statusSink = std::move(sink);
    }

    // Collects the section anew; with zLow = zHigh = 0 the vertical extent is chosen to give both
    // axes the same scale.
    void BuildSection(float zLow, float zHigh);

    // Draws the profile into an image of the client size; sets the hover point and, while the
    // measurement is complete, the status text.
    QImage Render();

    const ProfileSection& Section() const { return section; }
    const PlotRect& Plot() const { return plotRect; }
    const std::optional<Selection>& CurrentSelection() const { return selection; }
    const std::optional<Measurement>& CurrentMeasurement() const { return measurement; }
    bool MeasurementComplete() const { return measurementComplete; }
    const std::optional<PointRef>& HoverPoint() const { return hoverPoint; }

signals:
    // The view moved the section line (zoom, pan, sideways): the 3D view shows it anew.
    void sectionMoved();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void SetStatusText(const std::string& text);
    void ClearMeasurement();
    void Rebuild();

    SectionSource source;
    const float* width = nullptr;
    INotifier* notifier = nullptr;
    std::function<void(const std::string&)> statusSink;
    ProfileSection section;
    PlotRect plotRect;
    std::optional<Selection> selection;
    std::optional<Measurement> measurement;
    bool measurementComplete = false;
    std::optional<PointRef> hoverPoint;
    QPoint lastMouse;
    ProfileMeasurement result;
    QImage downArrow;
    QImage upArrow;
};

} // namespace telvora

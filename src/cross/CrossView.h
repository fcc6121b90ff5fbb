#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "common/Notifier.h"
#include "cross/ProfilePainter.h"
#include "cross/ProfileSection.h"
#include "cross/Reclassification.h"

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

    // Gives the code to every collected point of a visible file inside the selection rectangle,
    // in its file and in the profile, and remembers the change for Undo. Without a selection, or
    // for a code outside 0 to 255, nothing changes. The profile is repainted either way.
    void Reclassify(int code);
    // Writes back what the last reclassification replaced, or writes again what the last undo
    // took back. False when there was nothing to do or the write failed (reported).
    bool Undo();
    bool Redo();
    const CReclassifyHistory& History() const { return history; }
    // The selected points, per file positions in the section's arrays.
    std::vector<std::vector<std::uint32_t>> SelectedPoints() const;
    const SectionSource& Source() const { return source; }
    // Sets the selection as the right button would leave it (tests, and the window's commands).
    void SetSelection(std::optional<Selection> newSelection) { selection = newSelection; }

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
    // Classification bytes changed in the files (a reclassification, an undo or a redo): the
    // trees' counts and filters already follow; whoever shows counts refreshes them.
    void classesChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The trees' classes, counts and shown points after the edit was written (its old bytes
    // for an undo).
    void ReflectInTrees(const ClassEdit& edit, bool undo);
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
    CReclassifyHistory history;
    QImage downArrow;
    QImage upArrow;
};

} // namespace telvora

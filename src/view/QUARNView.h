#pragma once

#include <QElapsedTimer>
#include <QOpenGLWidget>
#include <QPoint>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "common/CommandIds.h"
#include "common/Geometry.h"
#include "common/Notifier.h"
#include "common/StatusServices.h"
#include "scene/PointFilter.h"
#include "view/AdaptiveDetail.h"
#include "view/CapabilityCheck.h"
#include "view/GLContext.h"

namespace telvora
{

class CLasFileSet;
class CPointTree;

// The 3D view. It owns the rendering context (through QOpenGLWidget) and refuses to work when
// the context lacks OpenGL 1.5, GLEW 1.5 or vertex buffer objects. It owns the scene: the
// loaded-file set, one point tree per file, the pick results and the section line. It repaints
// on demand: every handler and operation that changes what is drawn calls update(), so an idle
// viewer costs nothing while a moving camera redraws as fast as frames can be made.
class CQUARNView : public QOpenGLWidget
{
    Q_OBJECT

public:
    using InfoProbe = std::function<GLInfo()>;

    explicit CQUARNView(QWidget* parent = nullptr);
    ~CQUARNView() override;

    // Where the requirement messages go; the main frame passes itself.
    void SetNotifier(INotifier* newNotifier) { notifier = newNotifier; }
    // Replaces what the driver reports, for tests that need a driver the machine does not have.
    void SetInfoProbe(InfoProbe probe) { infoProbe = std::move(probe); }

    bool IsCapable() const { return context.capable; }
    // True once the context exists and the check has run, whatever its result.
    bool IsInitialised() const { return initialised; }

    void Resize(int w, int h);

    // Releases the current scene and takes the set, with an empty tree slot per file. Nothing is
    // drawn until PreprocessScene has run and sceneReady is set.
    void SetScene(std::unique_ptr<CLasFileSet> set);
    // Builds the trees of the set, colours them by intensity and puts the camera at home;
    // colorMode becomes the mode now shown. False when a file's points could not be read: the
    // reporter has been told once, and the scene is not fit to be drawn.
    bool PreprocessScene(IStatusServices& status, INotifier* reporter);
    // Recolours the scene; colorMode becomes the mode in effect afterwards, which is returned.
    int ColorBy(int mode, IStatusServices& status, INotifier* reporter);
    // Drops the trees (deleting their buffers), the set (deleting its temporary files), the pick
    // results and the section line. The camera stays where it is.
    void ReleaseScene();
    // The camera over the middle of the loaded data; without data nothing changes.
    void HomeView();
    // Shows only the classes and returns the filter lets through, in every tree, and keeps the
    // filter for the trees of later loads.
    void SetPointFilter(const PointFilter& filter);
    const PointFilter& CurrentPointFilter() const { return pointFilter; }

    // A left double click at client pixel (x, y): casts pickRay, keeps the nearest match of the
    // visible files in pickedPoint and emits pointPicked, or says "Change the view and try again"
    // when nothing matches. Without a set nothing happens.
    void PickPoint(int x, int y);
    // The scene point under client pixel (x, y), on the mid-height plane of the leaf the ray
    // meets first; (0, 0, 0) when it meets none. For marking section lines.
    Vec3 ScenePointUnderCursor(int x, int y);

    // Whether a cross-section window is open: the application, which owns it, answers. While one
    // is, the window borrows the section line, so marking and Escape leave the line alone.
    void SetCrossSectionQuery(std::function<bool()> query) { crossSectionQuery = std::move(query); }
    bool CrossSectionOpen() const { return crossSectionQuery && crossSectionQuery(); }

    CLasFileSet* FileSet() const { return fileSet.get(); }
    CPointTree* const* Trees() const { return trees.data(); }

    CGLContext context;

    // Distance unit of the wheel and drag moves; set by HomeView from the data's extent.
    float moveStep = 10.0f;
    std::unique_ptr<CRay> pickRay;
    std::unique_ptr<Vec3> pickedPoint;
    std::unique_ptr<SectionLine> sectionLine;
    // The measured points in scene coordinates, first end first (at most two): each drawn as a
    // marker, joined by a line once both are there. Escape and releasing the scene drop them.
    std::vector<Vec3> measureEnds;

    // What the frame's commands read and set.
    bool sceneReady = false;
    bool showNodeBoxes = false;
    bool showPickRay = false;
    bool lodEnabled = true;
    // The first mouse move after the view gains the focus is only taken as the new cursor
    // position: measured from wherever the cursor was before, it would fling the camera.
    bool mouseArmed = true;
    bool marking = false;
    int colorMode = ID_VIEW_INTENSITY;
    int currentArchiveEntry = 0;
    // 64 bits: with the level of detail off, fifty large files draw more than 2^31 points.
    std::int64_t drawnPoints = 0;
    // While the camera moves, frames draw a smaller share of the points (level of detail on
    // only); once it has been still for a moment a full frame follows. Off: every frame draws the
    // full budget.
    bool reduceDetailWhileMoving = true;
    // How long a moving frame should take.
    double movingFrameSeconds = kMovingFrameSeconds;
    // The budget the last frame was drawn with.
    double lastPointBudget = 0.0;

    // Where the view takes the time from; tests set a clock of their own.
    using Clock = CMotionTracker::Clock;
    void SetClock(std::function<Clock::time_point()> newClock) { clock = std::move(newClock); }
    // Counts as a camera move now: the next frames are moving frames.
    void NoteCameraMoved();
    // Once the camera has moved, the full frame is asked for this many milliseconds later; by
    // default a precise single-shot timer brings it. Tests take the request and call Settle
    // themselves, so that no real time passes.
    void SetSettleScheduler(std::function<void(int)> newScheduler)
    {
        settleScheduler = std::move(newScheduler);
    }
    // The camera has been still long enough: the next frame is the full one.
    void Settle();

signals:
    // Emitted once, after the message has been shown, when the check fails.
    void requirementsNotMet();
    // The context exists and passed the check: the view can take a scene. Queued, so that
    // receivers run outside the widget's GL setup.
    void contextReady();
    // Ctrl+O: the main frame's Open command.
    void openRequested();
    // Escape released the pick results and the measured points.
    void pickCleared();
    // A double click picked record `index` of file `file` of the set.
    void pointPicked(int file, quint32 index);
    // A frame has been drawn; drawnPoints holds its count.
    void framePainted();
    // The C key: the cross section of the marked line is wanted.
    void crossSectionRequested();
    // The set, the trees and the section line are about to go: whatever borrows them must let go
    // now.
    void sceneReleasing();

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void CreateContext();
    void ReportFailure(const CapabilityReport& report);
    void DeleteTrees();

    Clock::time_point Now() const { return clock ? clock() : Clock::now(); }

    INotifier* notifier = nullptr;
    InfoProbe infoProbe;
    std::function<bool()> crossSectionQuery;
    std::function<Clock::time_point()> clock;
    CMotionTracker motion;
    std::deque<FrameSample> recentFrames;
    QElapsedTimer frameClock;
    QElapsedTimer swapClock;
    bool frameTiming = false;
    // Brings the full frame once the camera has settled; set when it has, until the next move.
    QTimer settleTimer;
    std::function<void(int)> settleScheduler;
    bool settled = true;
    bool initialised = false;
    std::unique_ptr<CLasFileSet> fileSet;
    // One tree per file of the set, same order; owned.
    std::vector<CPointTree*> trees;
    PointFilter pointFilter;
    QPoint lastCursor;
};

// Whether a context of the view's format can be made at all. Without one Qt cannot even host the
// view's widget, so start-up asks before the main window exists.
bool CanCreateGLContext();

// The pixel format the view asks for: compatibility profile (the view draws with the fixed
// pipeline), double buffered, 24 colour bits, 16 depth bits, no vertical sync. Must be called
// before the QApplication is created.
void SetDefaultViewFormat();

} // namespace telvora

#include "view/QUARNView.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>

#include "scene/ColorModes.h"
#include "scene/LasFileSet.h"
#include "scene/PointTree.h"
#include "scene/Preprocess.h"
#include "view/Camera.h"
#include "view/FrameRendering.h"
#include "view/GLState.h"
#include "view/Picking.h"

namespace telvora
{

namespace
{

// A frame that starts within this time of the last swap follows it at once.
constexpr double kBackToBackSeconds = 0.05;

} // namespace

CQUARNView::CQUARNView(QWidget* parent)
    : QOpenGLWidget(parent)
{
    // An alpha channel in the widget's buffer would let the blend function leave the window
    // half transparent in grabs and compositing.
    setTextureFormat(GL_RGB8);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(1, 1);
    // Moves without a button still have to keep the cursor position, or the next drag would
    // start with a jump.
    setMouseTracking(true);
    connect(this, &QOpenGLWidget::frameSwapped, this,
            [this]
            {
                if (!frameTiming)
                {
                    return;
                }
                frameTiming = false;
                // Frames that follow each other at once are timed from swap to swap, which takes
                // in what the window does between them (other widgets, input).
                const double drawing = static_cast<double>(frameClock.nsecsElapsed()) * 1e-9;
                const double sinceSwap = swapClock.isValid()
                                             ? static_cast<double>(swapClock.nsecsElapsed()) * 1e-9
                                             : drawing;
                const bool backToBack = sinceSwap - drawing < kBackToBackSeconds;
                swapClock.start();
                constexpr std::size_t kSamples = 4;
                recentFrames.push_back(
                    {lastPointBudget, drawnPoints, backToBack ? sinceSwap : drawing});
                while (recentFrames.size() > kSamples)
                {
                    recentFrames.pop_front();
                }
            });
    settleTimer.setSingleShot(true);
    settleTimer.setTimerType(Qt::PreciseTimer);
    connect(&settleTimer, &QTimer::timeout, this, &CQUARNView::Settle);
}

void CQUARNView::Settle()
{
    // Whatever the clock says: a timer a millisecond early must not leave the picture at its
    // moving detail.
    settled = true;
    update();
}

void CQUARNView::NoteCameraMoved()
{
    motion.NoteMove(Now());
    settled = false;
}

CQUARNView::~CQUARNView()
{
    // The trees delete their buffers, which needs the context current.
    ReleaseScene();
}

void CQUARNView::SetScene(std::unique_ptr<CLasFileSet> set)
{
    ReleaseScene();
    fileSet = std::move(set);
    if (fileSet)
    {
        trees.assign(static_cast<std::size_t>(fileSet->count), nullptr);
    }
}

bool CQUARNView::PreprocessScene(IStatusServices& status, INotifier* reporter)
{
    if (!fileSet || !initialised)
    {
        return false;
    }
    makeCurrent();
    PreprocessOptions options;
    options.homeView = [this](const CBoundingBox& bounds)
    { telvora::HomeView(context.camera, moveStep, bounds); };
    const PreprocessResult result =
        Preprocess(*fileSet, trees.data(), status, reporter, colorMode, options);
    colorMode = result.colorMode;
    if (!pointFilter.ShowsAll())
    {
        for (CPointTree* tree : trees)
        {
            if (tree != nullptr)
            {
                tree->ApplyFilter(&pointFilter);
            }
        }
    }
    update();
    return result.complete;
}

void CQUARNView::SetPointFilter(const PointFilter& filter)
{
    pointFilter = filter;
    if (!initialised)
    {
        return;
    }
    makeCurrent();
    for (CPointTree* tree : trees)
    {
        if (tree != nullptr)
        {
            tree->ApplyFilter(&pointFilter);
        }
    }
    update();
}

int CQUARNView::ColorBy(int mode, IStatusServices& status, INotifier* reporter)
{
    if (!fileSet || !initialised)
    {
        return colorMode;
    }
    makeCurrent();
    colorMode = ColorScene(mode, *fileSet, trees.data(), status, reporter, colorMode);
    update();
    return colorMode;
}

void CQUARNView::DeleteTrees()
{
    if (trees.empty())
    {
        return;
    }
    // Without a context there are no buffers to delete, only the trees' memory.
    if (initialised)
    {
        makeCurrent();
    }
    for (CPointTree*& tree : trees)
    {
        delete tree;
        tree = nullptr;
    }
    trees.clear();
}

void CQUARNView::ReleaseScene()
{
    emit sceneReleasing();
    sceneReady = false;
    marking = false;
    DeleteTrees();
    fileSet.reset();
    pickRay.reset();
    pickedPoint.reset();
    sectionLine.reset();
    measureEnds.clear();
    drawnPoints = 0;
    update();
}

void CQUARNView::HomeView()
{
    if (!fileSet)
    {
        return;
    }
    telvora::HomeView(context.camera, moveStep, fileSet->bounds);
    update();
}

void CQUARNView::PickPoint(int x, int y)
{
    pickRay.reset();
    pickedPoint.reset();
    if (!fileSet || !initialised || trees.size() != static_cast<std::size_t>(fileSet->count))
    {
        return;
    }
    makeCurrent();
    pickRay = std::make_unique<CRay>(CursorRay(context, x, y));
    const ScenePick pick = PickScene(*pickRay, *fileSet, trees.data());
    update();
    if (pick.file < 0)
    {
        INotifier& target = notifier != nullptr ? *notifier : StderrNotifier();
        target.ShowMessage("Change the view and try again", "Point wasn't found!!",
                           MessageIcon::Information, {});
        return;
    }
    pickedPoint = std::make_unique<Vec3>(pick.position);
    emit pointPicked(pick.file, static_cast<quint32>(pick.index));
}

Vec3 CQUARNView::ScenePointUnderCursor(int x, int y)
{
    if (!fileSet || !initialised || trees.size() != static_cast<std::size_t>(fileSet->count))
    {
        return {};
    }
    makeCurrent();
    return ScenePointOnRay(CursorRay(context, x, y), *fileSet, trees.data());
}

void CQUARNView::initializeGL()
{
    CreateContext();
}

void CQUARNView::CreateContext()
{
    ApplyFixedState();
    const GLInfo info = infoProbe ? infoProbe() : QueryGLInfo();
    CapabilityReport report = CheckCapabilities(info);
    const bool buffersLoaded = InitialiseGlew();
    if (report.capable && !buffersLoaded && !infoProbe)
    {
        // The extension is advertised but the driver gives no entry points for it.
        report.capable = false;
        report.caption = "Error";
        report.text = "Vertex Buffer Object(VBO) not suported!";
    }
    context.capable = report.capable;
    initialised = true;
    if (!report.capable)
    {
        // Not from inside initializeGL: a modal message box would run a nested event loop while
        // the widget is still setting up its framebuffer.
        QTimer::singleShot(0, this, [this, report] { ReportFailure(report); });
        return;
    }
    QTimer::singleShot(0, this, [this] { emit contextReady(); });
}

void CQUARNView::ReportFailure(const CapabilityReport& report)
{
    INotifier& target = notifier != nullptr ? *notifier : StderrNotifier();
    target.ShowMessage(report.text, report.caption,
                       report.caption == "Error" ? MessageIcon::Error : MessageIcon::Warning, {});
    emit requirementsNotMet();
}

void CQUARNView::resizeGL(int w, int h)
{
    Resize(w, h);
}

void CQUARNView::Resize(int w, int h)
{
    context.width = w;
    context.height = h;
    if (h <= 0 || w <= 0)
    {
        // Minimised or squeezed to nothing: keep the last projection, nothing is drawn.
        return;
    }
    context.aspect = static_cast<float>(w) / static_cast<float>(h);
    if (!initialised)
    {
        return;
    }
    makeCurrent();
    ApplyProjection(context);
}

void CQUARNView::paintGL()
{
    if (!context.capable || context.width <= 0 || context.height <= 0)
    {
        return;
    }
    FrameScene scene;
    scene.set = fileSet.get();
    scene.trees = trees.data();
    scene.sceneReady = sceneReady && fileSet != nullptr &&
                       trees.size() == static_cast<std::size_t>(fileSet->count);
    scene.lodEnabled = lodEnabled;
    scene.showNodeBoxes = showNodeBoxes;
    scene.showPickRay = showPickRay;
    scene.marking = marking;
    scene.sectionLine = sectionLine.get();
    scene.pickRay = pickRay.get();
    scene.pickedPoint = pickedPoint.get();
    scene.measureEnds = measureEnds.data();
    scene.measureEndCount = static_cast<int>(measureEnds.size());
    const Clock::time_point now = Now();
    const bool adaptive = reduceDetailWhileMoving && lodEnabled;
    const bool moving = adaptive && scene.sceneReady && !settled && motion.IsMoving(now);
    scene.pointBudget = moving
                            ? MovingPointBudget(recentFrames, movingFrameSeconds, kFullPointBudget)
                            : kFullPointBudget;
    lastPointBudget = scene.pointBudget;
    frameClock.start();
    drawnPoints = RenderFrame(scene, context);
    // Timed up to the swap of the window (frameSwapped): drawing, putting the window together
    // and showing it are what the user waits for.
    frameTiming = adaptive;
    if (moving)
    {
        // One full frame once the camera has been still long enough.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*motion.SettlesAt() - now);
        const int wait = std::max<int>(1, static_cast<int>(left.count()));
        if (settleScheduler)
        {
            settleScheduler(wait);
        }
        else
        {
            settleTimer.start(wait);
        }
    }
    emit framePainted();
}

void CQUARNView::keyPressEvent(QKeyEvent* event)
{
    CCamera& camera = context.camera;
    bool changed = true;
    // The keys that move the camera, as opposed to those that only switch something on or off.
    bool moved = true;
    switch (event->key())
    {
    case Qt::Key_Escape:
        // An open cross section moves the line in place and keeps it.
        pickRay.reset();
        pickedPoint.reset();
        measureEnds.clear();
        if (!CrossSectionOpen())
        {
            sectionLine.reset();
        }
        emit pickCleared();
        moved = false;
        break;
    case Qt::Key_Home:
    case Qt::Key_H:
        HomeView();
        break;
    case Qt::Key_Left:
        camera.Turn(1.0f);
        break;
    case Qt::Key_Up:
        camera.Pitch(1.0f);
        break;
    case Qt::Key_Right:
        camera.Turn(-1.0f);
        break;
    case Qt::Key_Down:
        camera.Pitch(-1.0f);
        break;
    case Qt::Key_A:
        camera.Strafe(10.0f);
        break;
    case Qt::Key_D:
        camera.Strafe(-10.0f);
        break;
    case Qt::Key_W:
        camera.Advance(10.0f);
        break;
    case Qt::Key_S:
        camera.Advance(-10.0f);
        break;
    case Qt::Key_B:
        showNodeBoxes = !showNodeBoxes;
        moved = false;
        break;
    case Qt::Key_R:
        showPickRay = !showPickRay;
        moved = false;
        break;
    case Qt::Key_L:
        lodEnabled = !lodEnabled;
        moved = false;
        break;
    case Qt::Key_C:
        changed = false;
        moved = false;
        emit crossSectionRequested();
        break;
    case Qt::Key_O:
        changed = false;
        moved = false;
        if (event->modifiers().testFlag(Qt::ControlModifier))
        {
            emit openRequested();
        }
        break;
    default:
        changed = false;
        moved = false;
        break;
    }
    if (changed)
    {
        update();
    }
    if (moved)
    {
        NoteCameraMoved();
    }
    QOpenGLWidget::keyPressEvent(event);
}

void CQUARNView::wheelEvent(QWheelEvent* event)
{
    const QPoint angle = event->angleDelta();
    // Some systems turn a wheel with a modifier into a horizontal one.
    const int delta = angle.y() != 0 ? angle.y() : angle.x();
    const bool fast = event->modifiers().testFlag(Qt::ShiftModifier);
    const float m = fast ? 50.0f * moveStep : moveStep;
    context.camera.Advance(static_cast<float>(delta) / 120.0f * m);
    NoteCameraMoved();
    update();
    event->accept();
}

void CQUARNView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    if (!mouseArmed)
    {
        mouseArmed = true;
        lastCursor = position;
        return;
    }
    const bool fast = event->modifiers().testFlag(Qt::ShiftModifier);
    const float m = fast ? 50.0f * moveStep : moveStep;
    const float dx = static_cast<float>(position.x() - lastCursor.x());
    const float dy = static_cast<float>(position.y() - lastCursor.y());
    const Qt::MouseButtons buttons = event->buttons();
    if (marking && sectionLine)
    {
        const Vec3 hit = ScenePointUnderCursor(position.x(), position.y());
        // A press that hit nothing takes the first point the drag reaches as the start.
        if (sectionLine->start == Vec3{})
        {
            sectionLine->start = hit;
        }
        else
        {
            sectionLine->end = hit == Vec3{} ? sectionLine->start : hit;
        }
        update();
    }
    CCamera& camera = context.camera;
    if (buttons.testFlag(Qt::LeftButton))
    {
        camera.Orbit(dy / 3.0f, -dx / 3.0f);
    }
    if (buttons.testFlag(Qt::RightButton))
    {
        camera.Strafe(dx * m);
        camera.Rise(dy * m);
    }
    if (buttons & (Qt::LeftButton | Qt::RightButton))
    {
        NoteCameraMoved();
        update();
    }
    QOpenGLWidget::mouseMoveEvent(event);
    lastCursor = position;
}

void CQUARNView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
    {
        setFocus(Qt::MouseFocusReason);
    }
    lastCursor = event->position().toPoint();
    if (event->button() == Qt::MiddleButton && fileSet && sceneReady && !CrossSectionOpen())
    {
        marking = true;
        const Vec3 hit = ScenePointUnderCursor(lastCursor.x(), lastCursor.y());
        sectionLine = std::make_unique<SectionLine>(SectionLine{hit, hit});
        update();
    }
    QOpenGLWidget::mousePressEvent(event);
}

void CQUARNView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton && marking)
    {
        marking = false;
        if (sectionLine)
        {
            const QPoint at = event->position().toPoint();
            const Vec3 hit = ScenePointUnderCursor(at.x(), at.y());
            sectionLine->end = hit == Vec3{} ? sectionLine->start : hit;
        }
        update();
    }
    QOpenGLWidget::mouseReleaseEvent(event);
}

void CQUARNView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
    {
        const QPoint at = event->position().toPoint();
        PickPoint(at.x(), at.y());
    }
    QOpenGLWidget::mouseDoubleClickEvent(event);
}

void CQUARNView::focusInEvent(QFocusEvent* event)
{
    QOpenGLWidget::focusInEvent(event);
    mouseArmed = false;
}

bool CanCreateGLContext()
{
    QOpenGLContext probe;
    probe.setFormat(QSurfaceFormat::defaultFormat());
    return probe.create();
}

void SetDefaultViewFormat()
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setDepthBufferSize(16);
    format.setSwapInterval(0);
    QSurfaceFormat::setDefaultFormat(format);
}

} // namespace telvora

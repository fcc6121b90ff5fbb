#include "view/QUARNView.h"

#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QTimer>

#include "view/GLState.h"

namespace telvora
{

CQUARNView::CQUARNView(QWidget* parent)
    : QOpenGLWidget(parent)
{
    // An alpha channel in the widget's buffer would let the blend function leave the window
    // half transparent in grabs and compositing.
    setTextureFormat(GL_RGB8);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(1, 1);
}

CQUARNView::~CQUARNView() = default;

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
    }
}

void CQUARNView::ReportFailure(const CapabilityReport& report)
{
    INotifier& target = notifier != nullptr ? *notifier : StderrNotifier();
    target.ShowMessage(report.text, report.caption,
                       report.caption == "Error" ? MessageIcon::Error : MessageIcon::Warning);
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
    ClearFrame();
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

#pragma once

#include <QOpenGLWidget>
#include <functional>

#include "common/CommandIds.h"
#include "common/Notifier.h"
#include "view/CapabilityCheck.h"
#include "view/GLContext.h"

namespace telvora
{

// The 3D view. It owns the rendering context (through QOpenGLWidget) and refuses to work when
// the context lacks OpenGL 1.5, GLEW 1.5 or vertex buffer objects. It repaints on demand: every
// handler that changes what is drawn calls update().
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

    CGLContext context;

    // What the frame's commands read and set. The scene arrives with the point tree; until
    // then nothing is ever ready to draw.
    bool sceneReady = false;
    bool lodEnabled = true;
    int colorMode = ID_VIEW_INTENSITY;
    int currentArchiveEntry = 0;
    int drawnPoints = 0;

signals:
    // Emitted once, after the message has been shown, when the check fails.
    void requirementsNotMet();

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    void CreateContext();
    void ReportFailure(const CapabilityReport& report);

    INotifier* notifier = nullptr;
    InfoProbe infoProbe;
    bool initialised = false;
};

// Whether a context of the view's format can be made at all. Without one Qt cannot even host the
// view's widget, so start-up asks before the main window exists.
bool CanCreateGLContext();

// The pixel format the view asks for: compatibility profile (the view draws with the fixed
// pipeline), double buffered, 24 colour bits, 16 depth bits, no vertical sync. Must be called
// before the QApplication is created.
void SetDefaultViewFormat();

} // namespace telvora

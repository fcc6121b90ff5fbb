#include "OffscreenGL.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <memory>

#include "view/GLState.h"

namespace telvora::test
{

namespace
{

struct OffscreenGL
{
    std::unique_ptr<QGuiApplication> application;
    std::unique_ptr<QOffscreenSurface> surface;
    std::unique_ptr<QOpenGLContext> context;
};

OffscreenGL& Instance()
{
    static OffscreenGL gl;
    return gl;
}

} // namespace

std::string StartOffscreenGL(int& argc, char** argv)
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setDepthBufferSize(16);
    QSurfaceFormat::setDefaultFormat(format);

    OffscreenGL& gl = Instance();
    gl.application = std::make_unique<QGuiApplication>(argc, argv);
    gl.surface = std::make_unique<QOffscreenSurface>();
    gl.surface->setFormat(format);
    gl.surface->create();
    gl.context = std::make_unique<QOpenGLContext>();
    gl.context->setFormat(format);
    if (!gl.context->create())
    {
        return "no OpenGL context can be created";
    }
    if (!gl.context->makeCurrent(gl.surface.get()))
    {
        return "the OpenGL context cannot be made current";
    }
    if (!InitialiseGlew())
    {
        return "GLEW found no buffer-object entry points";
    }
    return {};
}

void StopOffscreenGL()
{
    OffscreenGL& gl = Instance();
    if (gl.context)
    {
        gl.context->doneCurrent();
    }
    gl.context.reset();
    gl.surface.reset();
    gl.application.reset();
}

} // namespace telvora::test

#include "view/GLState.h"

#include <GL/glew.h>
#include <GL/glu.h>

namespace telvora
{
namespace
{

std::string GLString(GLenum name)
{
    const auto* text = reinterpret_cast<const char*>(glGetString(name));
    return text != nullptr ? std::string(text) : std::string();
}

} // namespace

GLInfo QueryGLInfo()
{
    GLInfo info;
    info.version = GLString(GL_VERSION);
    const auto* glew = reinterpret_cast<const char*>(glewGetString(GLEW_VERSION));
    info.glewVersion = glew != nullptr ? std::string(glew) : std::string();
    info.extensions = GLString(GL_EXTENSIONS);
    return info;
}

bool InitialiseGlew()
{
    glewExperimental = GL_TRUE;
    static_cast<void>(glewInit());
    return glGenBuffers != nullptr && glBindBuffer != nullptr && glBufferData != nullptr &&
           glBufferSubData != nullptr && glMapBuffer != nullptr && glUnmapBuffer != nullptr &&
           glDeleteBuffers != nullptr;
}

void ApplyFixedState()
{
    glClearColor(0.5f, 0.6f, 1.0f, 1.0f);
    glShadeModel(GL_SMOOTH);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void ApplyProjection(const CGLContext& context)
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glViewport(0, 0, context.width, context.height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(context.fovY, context.aspect, context.zNear, context.zFar);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void ClearFrame()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

} // namespace telvora

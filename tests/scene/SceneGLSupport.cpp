#include "SceneGLSupport.h"

#include <GL/glew.h>
#include <GL/glu.h>

namespace telvora::test
{

OffscreenTarget::OffscreenTarget(int w, int h)
    : width(w)
    , height(h)
{
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glGenRenderbuffers(1, &colour);
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    glGenRenderbuffers(1, &depth);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glViewport(0, 0, width, height);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
}

OffscreenTarget::~OffscreenTarget()
{
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteRenderbuffers(1, &depth);
    glDeleteRenderbuffers(1, &colour);
    glDeleteFramebuffers(1, &framebuffer);
}

std::vector<unsigned char> OffscreenTarget::ReadPixels() const
{
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

void LookAt(const Vec3& eye, const Vec3& target, float fovY, float aspect, float zNear, float zFar)
{
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(fovY, aspect, zNear, zFar);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(eye.x, eye.y, eye.z, target.x, target.y, target.z, 0.0, 0.0, 1.0);
}

std::vector<float> ReadBuffer(std::uint32_t name, std::size_t floats)
{
    std::vector<float> data(floats);
    glBindBuffer(GL_ARRAY_BUFFER, name);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(floats * sizeof(float)),
                       data.data());
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    return data;
}

bool IsBuffer(std::uint32_t name)
{
    return glIsBuffer(name) == GL_TRUE;
}

int GLError()
{
    return static_cast<int>(glGetError());
}

void FinishGL()
{
    glFinish();
}

SingleBuffer::SingleBuffer(const float* positions, const float* colors, std::size_t n)
    : count(n)
{
    const auto half = static_cast<GLsizeiptr>(12 * n);
    glGenBuffers(1, &name);
    glBindBuffer(GL_ARRAY_BUFFER, name);
    glBufferData(GL_ARRAY_BUFFER, 2 * half, nullptr, GL_STATIC_DRAW);
    glBufferSubData(GL_ARRAY_BUFFER, 0, half, positions);
    glBufferSubData(GL_ARRAY_BUFFER, half, half, colors);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

SingleBuffer::~SingleBuffer()
{
    glDeleteBuffers(1, &name);
}

void SingleBuffer::Draw() const
{
    glBindBuffer(GL_ARRAY_BUFFER, name);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glPointSize(2.0f);
    glColorPointer(3, GL_FLOAT, 0, reinterpret_cast<const void*>(12 * count));
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(count));
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

} // namespace telvora::test

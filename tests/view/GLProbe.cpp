#include "GLProbe.h"

#include <GL/glew.h>
#include <array>
#include <cstring>

namespace telvora::test
{

FixedState ReadFixedState()
{
    FixedState s;
    glGetFloatv(GL_COLOR_CLEAR_VALUE, s.clearColor.data());
    s.depthTest = glIsEnabled(GL_DEPTH_TEST) == GL_TRUE;
    glGetIntegerv(GL_DEPTH_FUNC, &s.depthFunc);
    s.blend = glIsEnabled(GL_BLEND) == GL_TRUE;
    glGetIntegerv(GL_BLEND_SRC, &s.blendSrc);
    glGetIntegerv(GL_BLEND_DST, &s.blendDst);
    glGetIntegerv(GL_SHADE_MODEL, &s.shadeModel);
    glGetIntegerv(GL_PERSPECTIVE_CORRECTION_HINT, &s.perspectiveHint);
    glGetDoublev(GL_DEPTH_CLEAR_VALUE, &s.clearDepth);
    glGetIntegerv(GL_VIEWPORT, s.viewport.data());
    glGetFloatv(GL_PROJECTION_MATRIX, s.projection.data());
    glGetFloatv(GL_MODELVIEW_MATRIX, s.modelView.data());
    return s;
}

ExpectedState GLConstants()
{
    return {GL_LEQUAL, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_SMOOTH, GL_NICEST};
}

bool BufferRoundTripWorks()
{
    if (glGenBuffers == nullptr || glMapBuffer == nullptr)
    {
        return false;
    }
    const std::array<float, 6> data = {1.0f, 2.0f, 3.0f, -4.0f, 5.5f, 6.25f};
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof(data), nullptr, GL_STATIC_DRAW);
    glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(data), data.data());
    bool same = false;
    if (const void* mapped = glMapBuffer(GL_ARRAY_BUFFER, GL_READ_ONLY))
    {
        // Copied out and compared by value: none of the values is a zero or a NaN, so equal
        // values are equal bytes.
        std::array<float, 6> back{};
        std::memcpy(back.data(), mapped, sizeof(back));
        same = back == data;
        glUnmapBuffer(GL_ARRAY_BUFFER);
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDeleteBuffers(1, &buffer);
    return same && buffer != 0;
}

} // namespace telvora::test

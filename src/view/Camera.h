#pragma once

namespace telvora
{

// Eye, viewing direction, up vector and orbit pivot in scene coordinates. The frame counter
// counts rendered frames; navigation uses it to renormalise the axes now and then.
struct CCamera
{
    float eye[3] = {0.0f, 0.0f, 0.0f};
    float forward[3] = {0.0f, 0.0f, -1.0f};
    float up[3] = {0.0f, 1.0f, 0.0f};
    float pivot[3] = {0.0f, 0.0f, 0.0f};
    int frame = 0;
};

} // namespace telvora

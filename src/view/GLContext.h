#pragma once

#include "view/Camera.h"

namespace telvora
{

// The rendering context of the 3D view with its projection. Under Qt the window, device
// context and GL context handles belong to the QOpenGLWidget; what the rest of the view needs
// to know is whether the context is usable and how it projects.
struct CGLContext
{
    bool capable = false;
    CCamera camera;
    float fovY = 45.0f;
    float aspect = 0.0f;
    float zNear = 0.1f;
    // Also the length of pick rays.
    float zFar = 60000.0f;
    int width = 0;
    int height = 0;
};

} // namespace telvora

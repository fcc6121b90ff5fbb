#pragma once

#include "view/CapabilityCheck.h"
#include "view/GLContext.h"

// The view's OpenGL calls. This header includes no GL header so that Qt's OpenGL widget headers
// and GLEW never meet in one translation unit (GLEW must come before every other GL header).
namespace telvora
{

// Version, GLEW version and extension strings of the current context. The GLEW version is
// known before glewInit; the other two need a current context.
GLInfo QueryGLInfo();

// Loads the buffer-object entry points for the current context. True when they are there.
// glewInit's own result is not trusted: under EGL it reports "no GLX display" although every
// pointer was loaded.
bool InitialiseGlew();

// The state every frame relies on: sky-blue clear colour, smooth shading, depth test with
// GL_LEQUAL, nicest perspective correction, and alpha blending.
void ApplyFixedState();

// Clears colour and depth, sets the viewport and a perspective projection for the context's
// field of view, aspect and clipping distances, and leaves a reset model-view matrix current.
void ApplyProjection(const CGLContext& context);

void ClearFrame();

} // namespace telvora

#pragma once

#include <string>

// An OpenGL context without a window, for the scene tests and benchmarks: Qt makes it (under
// Xvfb with Mesa on the test machines), GLEW loads the buffer entry points. Kept apart from
// GLEW's header, which must not meet Qt's OpenGL headers.
namespace telvora::test
{

// Creates the application object, an offscreen surface and a compatibility-profile context and
// makes it current. Empty on success, otherwise why not.
std::string StartOffscreenGL(int& argc, char** argv);
void StopOffscreenGL();

} // namespace telvora::test

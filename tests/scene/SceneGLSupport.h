#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/Geometry.h"

// GL helpers for the scene tests; the only test file that includes GLEW.
namespace telvora::test
{

// A framebuffer of its own with colour and depth, bound while the object lives, so that drawing
// tests do not depend on what the surface offers.
class OffscreenTarget
{
public:
    OffscreenTarget(int width, int height);
    ~OffscreenTarget();
    OffscreenTarget(const OffscreenTarget&) = delete;
    OffscreenTarget& operator=(const OffscreenTarget&) = delete;

    bool IsComplete() const { return complete; }
    // RGB bytes, bottom row first.
    std::vector<unsigned char> ReadPixels() const;

    int width;
    int height;

private:
    std::uint32_t framebuffer = 0;
    std::uint32_t colour = 0;
    std::uint32_t depth = 0;
    bool complete = false;
};

// Clears to black and sets a perspective camera at eye looking at target (z up).
void LookAt(const Vec3& eye, const Vec3& target, float fovY, float aspect, float zNear, float zFar);

// The whole store of a buffer object.
std::vector<float> ReadBuffer(std::uint32_t name, std::size_t floats);

bool IsBuffer(std::uint32_t name);
int GLError();
void FinishGL();

// One buffer of n points (positions then colours) drawn with a single glDrawArrays: the
// baseline the tree's drawing is measured against.
class SingleBuffer
{
public:
    SingleBuffer(const float* positions, const float* colors, std::size_t n);
    ~SingleBuffer();
    SingleBuffer(const SingleBuffer&) = delete;
    SingleBuffer& operator=(const SingleBuffer&) = delete;
    void Draw() const;
    std::size_t Count() const { return count; }

private:
    std::uint32_t name = 0;
    std::size_t count = 0;
};

} // namespace telvora::test

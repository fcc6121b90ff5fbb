#pragma once

#include <array>

// Reads back GL state for the view tests. Kept apart from the Qt headers, since GLEW must come
// before every other GL header.
namespace telvora::test
{

struct FixedState
{
    std::array<float, 4> clearColor{};
    bool depthTest = false;
    int depthFunc = 0;
    bool blend = false;
    int blendSrc = 0;
    int blendDst = 0;
    int shadeModel = 0;
    int perspectiveHint = 0;
    double clearDepth = 0.0;
    std::array<int, 4> viewport{};
    std::array<float, 16> projection{};
    std::array<float, 16> modelView{};
};

struct ExpectedState
{
    int lequal;
    int srcAlpha;
    int oneMinusSrcAlpha;
    int smooth;
    int nicest;
};

FixedState ReadFixedState();
ExpectedState GLConstants();

// Creates a buffer object, fills it, maps it and reads the data back.
bool BufferRoundTripWorks();

} // namespace telvora::test

#include "cross/ProfileMath.h"

#include <Qt>
#include <cmath>
#include <gtest/gtest.h>

#include "cross/SectionGeometry.h"

namespace telvora
{
namespace
{

void ExpectNear(const Vec3& actual, const Vec3& expected)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-5f);
    EXPECT_NEAR(actual.y, expected.y, 1e-5f);
    EXPECT_NEAR(actual.z, expected.z, 1e-5f);
}

TEST(SectionFrame, LineAlongXLooksAlongMinusYWithStartAtTheRight)
{
    const SectionFrame frame = MakeSectionFrame({{0, 0, 7}, {10, 0, 7}});
    ASSERT_TRUE(frame.valid);
    ExpectNear(frame.plane.normal, {0, -1, 0});
    EXPECT_NEAR(frame.rotation, M_PI, 1e-12);
    EXPECT_NEAR(frame.uStart, 0.0f, 1e-5f);
    EXPECT_NEAR(frame.uEnd, -10.0f, 1e-5f);
    EXPECT_FLOAT_EQ(frame.halfLength, 5.0f);
    // The end plane passes through the middle, perpendicular to the line.
    EXPECT_NEAR(std::fabs(frame.endPlane.SignedDistance({5, 3, 0})), 0.0f, 1e-5f);
    EXPECT_NEAR(std::fabs(frame.endPlane.SignedDistance({0, 0, 0})), 5.0f, 1e-5f);
}

TEST(SectionFrame, LinesWithoutHorizontalExtentAreRefusedAndNeverMoved)
{
    // A click without a drag, and a line straight up.
    for (const SectionLine& original :
         {SectionLine{{5, 5, 0}, {5, 5, 0}}, SectionLine{{5, 5, 0}, {5, 5, 30}}})
    {
        EXPECT_FALSE(MakeSectionFrame(original).valid);
        SectionLine line = original;
        EXPECT_FALSE(MoveLineForKey(line, SectionKey::TowardsEnd, 0.5f));
        EXPECT_FALSE(MoveLineForKey(line, SectionKey::ZoomOut, 0.5f));
        EXPECT_FALSE(MoveLineForWheel(line, -120));
        EXPECT_TRUE(line.start == original.start && line.end == original.end);
    }
}

TEST(ProfileWindow, StaysFiniteWithoutPointsExtentOrRoom)
{
    const ProfileWindow outside = ChooseProfileWindow(-10, 0, 90, 110, 910, 630, 0, 0);
    EXPECT_TRUE(outside.pointsAbove && outside.pointsBelow);
    struct Case
    {
        const char* what;
        float uMin, uMax, zMin, zMax;
        int width, height;
        float zLow, zHigh;
    };
    const Case cases[] = {
        {"nothing collected", -10, 0, 0, 0, 910, 630, 0, 0},
        {"one height far up", -10, 0, 4000, 4000, 910, 630, 0, 0},
        {"no horizontal extent", 0, 0, 0, 0, 910, 630, 0, 0},
        {"window squeezed to nothing", -10, 0, 5, 6, -25, -25, 0, 0},
        {"tiny line far up", 0, 1e-6f, 4000, 4000, 910, 630, 0, 0},
        {"explicit empty range", -10, 0, 5, 6, 910, 630, 7, 7},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        const ProfileWindow w =
            ChooseProfileWindow(c.uMin, c.uMax, c.zMin, c.zMax, c.width, c.height, c.zLow, c.zHigh);
        EXPECT_TRUE(std::isfinite(w.scale) && w.scale > 0.0f);
        EXPECT_TRUE(std::isfinite(w.box.minimum.y) && std::isfinite(w.box.maximum.y));
        EXPECT_GT(w.box.maximum.x, w.box.minimum.x);
        EXPECT_GT(w.box.maximum.y, w.box.minimum.y);
    }
}

TEST(PlotRect, FollowsTheClientSizeInStepsOfTenPixels)
{
    struct Case
    {
        int cx, cy;
        PlotRect expected;
    };
    const Case cases[] = {{1000, 700, {60, 30, 970, 660}}, {995, 705, {60, 25, 970, 665}}};
    for (const Case& c : cases)
    {
        const PlotRect plot = PlotRectFor(c.cx, c.cy);
        EXPECT_EQ(plot.left, c.expected.left);
        EXPECT_EQ(plot.top, c.expected.top);
        EXPECT_EQ(plot.right, c.expected.right);
        EXPECT_EQ(plot.bottom, c.expected.bottom);
    }
}

TEST(SectionKeys, MoveTheLineByTheirRules)
{
    // Line along +x, 10 m long unless told otherwise, width 0.5; n1 = (0, -1, 0).
    struct Case
    {
        const char* what;
        int key;
        bool keypad;
        float length;
        bool moved;
        Vec3 start, end;
    };
    const Case cases[] = {
        {"keypad minus grows", Qt::Key_Minus, true, 10, true, {-0.5f, 0, 0}, {10.5f, 0, 0}},
        {"main minus does nothing", Qt::Key_Minus, false, 10, false, {0, 0, 0}, {10, 0, 0}},
        {"keypad plus shrinks", Qt::Key_Plus, true, 10, true, {0.5f, 0, 0}, {9.5f, 0, 0}},
        {"plus at 2 m shrinks to 1", Qt::Key_Plus, true, 2, true, {0.5f, 0, 0}, {1.5f, 0, 0}},
        {"plus at 1.9 m stays", Qt::Key_Plus, true, 1.9f, false, {0, 0, 0}, {1.9f, 0, 0}},
        {"left moves towards the end", Qt::Key_Left, false, 10, true, {0.5f, 0, 0}, {10.5f, 0, 0}},
        {"keypad 4 likewise", Qt::Key_4, true, 10, true, {0.5f, 0, 0}, {10.5f, 0, 0}},
        {"right towards the start", Qt::Key_Right, false, 10, true, {-0.5f, 0, 0}, {9.5f, 0, 0}},
        {"down moves away along n1", Qt::Key_Down, false, 10, true, {0, -0.5f, 0}, {10, -0.5f, 0}},
        {"keypad 8 towards the viewer", Qt::Key_8, true, 10, true, {0, 0.5f, 0}, {10, 0.5f, 0}},
        {"H rebuilds in place", Qt::Key_H, false, 10, true, {0, 0, 0}, {10, 0, 0}},
        {"main 4 does nothing", Qt::Key_4, false, 10, false, {0, 0, 0}, {10, 0, 0}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        SectionLine line{{0, 0, 0}, {c.length, 0, 0}};
        const SectionKey key = SectionKeyFor(c.key, c.keypad);
        EXPECT_EQ(MoveLineForKey(line, key, 0.5f), c.moved);
        ExpectNear(line.start, c.start);
        ExpectNear(line.end, c.end);
    }
}

TEST(SectionWheel, ForwardShortensUnlessBelowTwoMetresBackwardAlwaysLengthens)
{
    struct Case
    {
        int delta;
        float length;
        bool moved;
        float start, end;
    };
    const Case cases[] = {
        {120, 10, true, 0.5f, 9.5f}, {-120, 10, true, -0.5f, 10.5f},  {240, 10, true, 1.0f, 9.0f},
        {120, 1.9f, false, 0, 1.9f}, {-120, 1.9f, true, -0.5f, 2.4f}, {120, 2, true, 0.5f, 1.5f},
    };
    for (const Case& c : cases)
    {
        SectionLine line{{0, 0, 0}, {c.length, 0, 0}};
        EXPECT_EQ(MoveLineForWheel(line, c.delta), c.moved) << c.delta << " on " << c.length;
        ExpectNear(line.start, {c.start, 0, 0});
        ExpectNear(line.end, {c.end, 0, 0});
    }
}

} // namespace
} // namespace telvora

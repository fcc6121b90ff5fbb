#include "view/Camera.h"

#include <gtest/gtest.h>

#include "view/FrameRendering.h"

namespace telvora
{
namespace
{

constexpr float kTolerance = 1e-5f;

void ExpectNear(const Vec3& actual, const Vec3& expected, float tolerance = kTolerance)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

CBoundingBox Box(Vec3 minimum, Vec3 maximum)
{
    return CBoundingBox::FromCorners(minimum, maximum);
}

// A camera looking north, level, from 100 m above the origin: forward (0, 1, 0), up (0, 0, 1).
CCamera LevelCamera()
{
    CCamera camera;
    camera.eye = {0.0f, 0.0f, 100.0f};
    camera.forward = {0.0f, 1.0f, 0.0f};
    camera.up = {0.0f, 0.0f, 1.0f};
    return camera;
}

TEST(Camera, RotationFollowsTheRightHandAndKeepsTheLength)
{
    ExpectNear(RotateAbout({2.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 5.0f}, 90.0f), {0.0f, 2.0f, 0.0f});
    ExpectNear(RotateAbout({0.0f, 1.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, 90.0f), {0.0f, 0.0f, 1.0f});
    const Vec3 v{0.3f, -1.7f, 2.2f};
    EXPECT_NEAR(Length(RotateAbout(v, {1.0f, 2.0f, 3.0f}, 37.0f)), Length(v), kTolerance);
    // A zero axis has no direction to turn about.
    EXPECT_EQ(RotateAbout(v, {}, 45.0f), v);
}

TEST(Camera, HomeViewLooksDownOnTheMiddleFromTheSquareRootOfTheArea)
{
    // 2,000 m by 500 m with heights from 100 to 300 m: a move step of 1 m, 1,000 m above the
    // mid-height of 200 m.
    CCamera camera = LevelCamera();
    camera.pivot = {5.0f, 5.0f, 5.0f};
    camera.frameCount = 17;
    float moveStep = 10.0f;
    HomeView(camera, moveStep, Box({-1000.0f, -250.0f, 100.0f}, {1000.0f, 250.0f, 300.0f}));
    EXPECT_FLOAT_EQ(moveStep, 1.0f);
    EXPECT_EQ(camera.eye, (Vec3{0.0f, 0.0f, 1200.0f}));
    EXPECT_EQ(camera.forward, (Vec3{0.0f, 0.0f, -1.0f}));
    EXPECT_EQ(camera.up, (Vec3{0.0f, 1.0f, 0.0f}));
    EXPECT_EQ(camera.pivot, Vec3{});
    EXPECT_EQ(camera.frameCount, 0);
}

TEST(Camera, DataWithoutAreaStillGetsAStepThatMovesTheCamera)
{
    // One scan line along x: its length sets the step.
    EXPECT_FLOAT_EQ(MoveStepFor(Box({-500.0f, 0.0f, 10.0f}, {500.0f, 0.0f, 20.0f})), 1.0f);
    // A single point: a centimetre, ten metres above it.
    CCamera camera;
    float moveStep = 0.0f;
    HomeView(camera, moveStep, Box({3.0f, 3.0f, 7.0f}, {3.0f, 3.0f, 7.0f}));
    EXPECT_FLOAT_EQ(moveStep, 0.01f);
    EXPECT_FLOAT_EQ(camera.eye.z, 17.0f);
}

TEST(Camera, KeyMovesTurnTheAxesAndMoveTheEye)
{
    CCamera camera = LevelCamera();
    camera.Turn(90.0f); // left: from north to west
    ExpectNear(camera.forward, {-1.0f, 0.0f, 0.0f});
    ExpectNear(camera.up, {0.0f, 0.0f, 1.0f});

    camera = LevelCamera();
    camera.Pitch(90.0f); // nose down, as a control stick: from level to straight down
    ExpectNear(camera.forward, {0.0f, 0.0f, -1.0f});
    ExpectNear(camera.up, {0.0f, 1.0f, 0.0f});

    // Looking north with z up, up × forward points west: Strafe(+) moves left.
    camera = LevelCamera();
    camera.pivot = {1.0f, 2.0f, 0.0f};
    camera.Strafe(10.0f);
    ExpectNear(camera.eye, {-10.0f, 0.0f, 100.0f});
    ExpectNear(camera.pivot, {-9.0f, 2.0f, 0.0f});
    camera.Rise(5.0f);
    ExpectNear(camera.eye, {-10.0f, 0.0f, 105.0f});
    camera.Advance(-10.0f);
    ExpectNear(camera.eye, {-10.0f, -10.0f, 105.0f});
    // Rising and advancing leave the pivot where it was.
    ExpectNear(camera.pivot, {-9.0f, 2.0f, 0.0f});
}

TEST(Camera, OrbitTurnsAboutThePointAsFarAheadAsThePivot)
{
    // From the home view of the 2,000 m x 500 m example: a left drag of 30 pixels to the right
    // is Orbit(0, -10), a turn of -10 degrees about the vertical through the point 1,200 m
    // ahead, i.e. the origin.
    CCamera camera;
    float moveStep = 0.0f;
    HomeView(camera, moveStep, Box({-1000.0f, -250.0f, 100.0f}, {1000.0f, 250.0f, 300.0f}));
    camera.Orbit(0.0f / 3.0f, -30.0f / 3.0f);
    ExpectNear(camera.eye, {0.0f, 0.0f, 1200.0f}, 1e-3f);
    ExpectNear(camera.forward, {0.0f, 0.0f, -1.0f});
    ExpectNear(camera.up, RotateAbout({0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}, -10.0f));

    // Tilted: the point ahead stays where it is while the eye swings round it.
    camera.Orbit(20.0f, 0.0f);
    camera.pivot = {0.0f, 0.0f, 30.0f}; // Orbit drops the pivot to height 0 first
    const CCamera before = camera;
    const float radius = Distance(before.eye, Vec3{0.0f, 0.0f, 0.0f});
    const Vec3 ahead = before.eye + before.forward * radius;
    camera.Orbit(5.0f, 30.0f);
    ExpectNear(camera.eye + camera.forward * radius, ahead, 1e-2f);
    ExpectNear(camera.forward, RotateAbout(RotateAbout(before.forward, before.Side(), 5.0f),
                                           {0.0f, 0.0f, 1.0f}, 30.0f));
    EXPECT_NEAR(Distance(camera.eye, ahead), radius, 1e-2f);
}

TEST(Camera, AxesStayUnitAndUprightThroughManyFramesOfRotation)
{
    CCamera camera = LevelCamera();
    for (int frame = 0; frame < 20000; ++frame)
    {
        camera.Pitch(frame % 7 == 0 ? 1.0f : -0.3f);
        camera.Turn(1.3f);
        camera.Orbit(0.2f, -0.7f);
        camera.NextFrame();
    }
    EXPECT_NEAR(Length(camera.forward), 1.0f, 1e-4f);
    EXPECT_NEAR(Length(camera.up), 1.0f, 1e-4f);
    EXPECT_NEAR(Dot(camera.forward, camera.up), 0.0f, 1e-3f);
    EXPECT_LE(camera.frameCount, 1000);
}

TEST(FrameOverlays, SectionBandSpansTheLoadedHeightsWhateverTheLinesHeights)
{
    const SectionLine line{{-5.0f, 2.0f, 999.0f}, {7.0f, -3.0f, -999.0f}};
    const SectionBand band = SectionBandOf(line, 100.0f, 300.0f);
    EXPECT_EQ(band.corners[0], (Vec3{-5.0f, 2.0f, 300.0f}));
    EXPECT_EQ(band.corners[1], (Vec3{-5.0f, 2.0f, 100.0f}));
    EXPECT_EQ(band.corners[2], (Vec3{7.0f, -3.0f, 100.0f}));
    EXPECT_EQ(band.corners[3], (Vec3{7.0f, -3.0f, 300.0f}));
}

TEST(FrameOverlays, PickedSphereGrowsWithDistanceToKeepItsSizeOnScreen)
{
    const Vec3 point{10.0f, 10.0f, 10.0f};
    EXPECT_FLOAT_EQ(PickedSphereRadius({10.0f, 10.0f, 760.0f}, point), 3.0f);
    EXPECT_FLOAT_EQ(PickedSphereRadius({10.0f, 10.0f, 1510.0f}, point), 6.0f);
}

} // namespace
} // namespace telvora

#include <QApplication>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "LasImage.h"
#include "PixelChecks.h"
#include "Recorders.h"
#include "Surveys.h"
#include "TestFiles.h"
#include "las/LasHeader.h"
#include "scene/LasFileSet.h"
#include "scene/PointTree.h"
#include "view/AdaptiveDetail.h"
#include "view/Camera.h"
#include "view/FrameRendering.h"
#include "view/QUARNView.h"

namespace telvora
{
namespace
{

using test::CountColour;
using test::kSkyColour;

std::uint64_t StoredPoints(const CPointTree* tree)
{
    std::uint64_t total = 0;
    tree->ForEachNode([&](const CPointNode& node) { total += node.IsLeaf() ? node.count : 0; });
    return total;
}

void Expect(const Vec3& actual, const Vec3& expected, float tolerance = 1e-3f)
{
    QVERIFY2(std::abs(actual.x - expected.x) <= tolerance &&
                 std::abs(actual.y - expected.y) <= tolerance &&
                 std::abs(actual.z - expected.z) <= tolerance,
             qPrintable(QString("(%1, %2, %3) instead of (%4, %5, %6)")
                            .arg(actual.x)
                            .arg(actual.y)
                            .arg(actual.z)
                            .arg(expected.x)
                            .arg(expected.y)
                            .arg(expected.z)));
}

void SendMove(QWidget& widget, QPoint position, Qt::MouseButtons buttons,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(position), widget.mapToGlobal(QPointF(position)),
                     Qt::NoButton, buttons, modifiers);
    QApplication::sendEvent(&widget, &move);
}

void SendWheel(QWidget& widget, int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const QPointF at(10, 10);
    QWheelEvent wheel(at, widget.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&widget, &wheel);
}

// A LAS 1.2 file of format 1 holding the points (in metres, scale 0.01, offset 500000 5400000 0)
// in this order, with the header box around them.
void WriteLas(const std::string& path, const std::vector<std::array<double, 3>>& points)
{
    test::LasImage image = test::LasImage::Make(1);
    LasHeader& h = image.header;
    h.xOffset = 500000.0;
    h.yOffset = 5400000.0;
    h.minX = h.minY = h.minZ = 1e300;
    h.maxX = h.maxY = h.maxZ = -1e300;
    for (const auto& [x, y, z] : points)
    {
        image.records.push_back(test::MakeRecord(28,
                                                 static_cast<std::int32_t>(std::lround(x * 100)),
                                                 static_cast<std::int32_t>(std::lround(y * 100)),
                                                 static_cast<std::int32_t>(std::lround(z * 100))));
        h.minX = std::min(h.minX, x + h.xOffset);
        h.maxX = std::max(h.maxX, x + h.xOffset);
        h.minY = std::min(h.minY, y + h.yOffset);
        h.maxY = std::max(h.maxY, y + h.yOffset);
        h.minZ = std::min(h.minZ, z);
        h.maxZ = std::max(h.maxZ, z);
    }
    image.Layout(0);
    image.Save(path);
}

} // namespace

class ViewSceneTest : public QObject
{
    Q_OBJECT

private:
    std::string Survey(const std::string& name, std::uint32_t points, std::uint8_t format,
                       std::uint64_t seed, double originX = 500000.0)
    {
        return test::WriteSurvey(*folder, name, points, format, seed, originX);
    }

    // A shown view holding the files (by default the two surveys), preprocessed and ready.
    std::unique_ptr<CQUARNView> LoadedView(std::vector<std::string> paths = {})
    {
        if (paths.empty())
        {
            paths = {first, second};
        }
        auto view = std::make_unique<CQUARNView>();
        view->resize(320, 240);
        view->show();
        if (!QTest::qWaitForWindowExposed(view.get()))
        {
            return nullptr;
        }
        if (!QTest::qWaitFor([&] { return view->IsInitialised(); }, 5000))
        {
            return nullptr;
        }
        auto set = std::make_unique<CLasFileSet>(static_cast<std::int32_t>(paths.size()));
        for (std::size_t i = 0; i < paths.size(); ++i)
        {
            set->OpenFile(static_cast<std::int32_t>(i), paths[i].c_str());
        }
        view->SetScene(std::move(set));
        if (!view->PreprocessScene(status, &notifier))
        {
            return nullptr;
        }
        view->sceneReady = true;
        return view;
    }

    std::unique_ptr<test::TempDir> folder;
    std::string first;
    std::string second;
    test::RecordingStatus status;
    test::RecordingNotifier notifier;

private slots:
    void initTestCase()
    {
        folder = std::make_unique<test::TempDir>();
        first = Survey("first.las", 30000, 1, 1);
        second = Survey("second.las", 20000, 3, 2, 500120.0);
    }

    void cleanupTestCase() { folder.reset(); }

    void loadedSceneStartsAtHomeAndDrawsEveryStoredPointOfTheVisibleFiles()
    {
        auto view = LoadedView();
        QVERIFY(view);
        QVERIFY(notifier.shown.empty());
        QCOMPARE(view->colorMode, int(ID_VIEW_INTENSITY));

        CCamera home;
        float step = 0.0f;
        HomeView(home, step, view->FileSet()->bounds);
        QCOMPARE(view->moveStep, step);
        Expect(view->context.camera.eye, home.eye);
        Expect(view->context.camera.forward, {0.0f, 0.0f, -1.0f});

        const std::uint64_t firstStored = StoredPoints(view->Trees()[0]);
        const std::uint64_t secondStored = StoredPoints(view->Trees()[1]);
        QCOMPARE(firstStored, std::uint64_t{30000});
        QCOMPARE(secondStored, std::uint64_t{20000});

        // From home everything is in sight and far below the budget: all of it, LOD or not.
        view->grabFramebuffer();
        QCOMPARE(view->drawnPoints, std::int64_t{50000});
        view->lodEnabled = false;
        view->grabFramebuffer();
        QCOMPARE(view->drawnPoints, std::int64_t{50000});

        view->FileSet()->visible[0] = 0;
        view->grabFramebuffer();
        QCOMPARE(view->drawnPoints, std::int64_t{20000});

        // Nothing visible: only the sky is left.
        view->FileSet()->visible[1] = 0;
        const QImage empty = view->grabFramebuffer();
        QCOMPARE(view->drawnPoints, std::int64_t{0});
        QCOMPARE(CountColour(empty, kSkyColour), empty.width() * empty.height());

        // Looking away culls every leaf with the level of detail on.
        view->FileSet()->visible[0] = 1;
        view->FileSet()->visible[1] = 1;
        view->lodEnabled = true;
        view->context.camera.Pitch(-180.0f);
        const QImage away = view->grabFramebuffer();
        QCOMPARE(view->drawnPoints, std::int64_t{0});
        QCOMPARE(CountColour(away, kSkyColour), away.width() * away.height());
    }

    void pointsShowTheirIntensityGreysOverTheSky()
    {
        auto view = LoadedView();
        QVERIFY(view);
        const QImage image = view->grabFramebuffer();
        int grey = 0;
        for (int y = 0; y < image.height(); ++y)
        {
            for (int x = 0; x < image.width(); ++x)
            {
                const QColor pixel = image.pixelColor(x, y);
                if (test::IsSky(pixel))
                {
                    continue;
                }
                // Intensity colours are greys; anything else means a wrong colour array.
                QVERIFY2(test::IsGrey(pixel),
                         qPrintable(QString("pixel %1,%2 is %3").arg(x).arg(y).arg(pixel.name())));
                ++grey;
            }
        }
        // The survey covers the middle of the picture.
        QVERIFY(grey > image.width() * image.height() / 10);
    }

    void keysMoveByFixedStepsAndToggleTheDisplayFlags()
    {
        auto view = LoadedView();
        QVERIFY(view);
        CCamera& camera = view->context.camera;
        QSignalSpy open(view.get(), &CQUARNView::openRequested);
        QSignalSpy cleared(view.get(), &CQUARNView::pickCleared);

        CCamera expected = camera;
        QTest::keyClick(view.get(), Qt::Key_W);
        expected.Advance(10.0f);
        Expect(camera.eye, expected.eye);
        QTest::keyClick(view.get(), Qt::Key_A);
        expected.Strafe(10.0f);
        Expect(camera.eye, expected.eye);
        Expect(camera.pivot, expected.pivot);
        QTest::keyClick(view.get(), Qt::Key_D);
        QTest::keyClick(view.get(), Qt::Key_D);
        expected.Strafe(-20.0f);
        QTest::keyClick(view.get(), Qt::Key_S);
        expected.Advance(-10.0f);
        Expect(camera.eye, expected.eye);
        QTest::keyClick(view.get(), Qt::Key_Up);
        expected.Pitch(1.0f);
        QTest::keyClick(view.get(), Qt::Key_Left);
        expected.Turn(1.0f);
        QTest::keyClick(view.get(), Qt::Key_Right);
        QTest::keyClick(view.get(), Qt::Key_Right);
        expected.Turn(-2.0f);
        QTest::keyClick(view.get(), Qt::Key_Down);
        expected.Pitch(-1.0f);
        Expect(camera.forward, expected.forward, 1e-5f);
        Expect(camera.up, expected.up, 1e-5f);

        const Vec3 moved = camera.eye;
        QTest::keyClick(view.get(), Qt::Key_H);
        Expect(camera.eye, {0.0f, 0.0f, camera.eye.z});
        Expect(camera.forward, {0.0f, 0.0f, -1.0f});
        QVERIFY(camera.eye.z != moved.z || camera.eye.x != moved.x);
        camera.eye.x = 50.0f;
        QTest::keyClick(view.get(), Qt::Key_Home);
        QCOMPARE(camera.eye.x, 0.0f);

        QTest::keyClick(view.get(), Qt::Key_B);
        QTest::keyClick(view.get(), Qt::Key_R);
        QTest::keyClick(view.get(), Qt::Key_L);
        QVERIFY(view->showNodeBoxes);
        QVERIFY(view->showPickRay);
        QVERIFY(!view->lodEnabled);
        QTest::keyClick(view.get(), Qt::Key_L);
        QVERIFY(view->lodEnabled);

        QTest::keyClick(view.get(), Qt::Key_O);
        QCOMPARE(open.count(), 0);
        QTest::keyClick(view.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(open.count(), 1);

        view->pickRay = std::make_unique<CRay>();
        view->pickedPoint = std::make_unique<Vec3>();
        view->sectionLine = std::make_unique<SectionLine>();
        QTest::keyClick(view.get(), Qt::Key_Escape);
        QVERIFY(!view->pickRay && !view->pickedPoint && !view->sectionLine);
        QCOMPARE(cleared.count(), 1);
    }

    void homeWithoutDataLeavesTheCameraAlone()
    {
        CQUARNView view;
        view.resize(160, 120);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.context.camera.eye = {1.0f, 2.0f, 3.0f};
        QTest::keyClick(&view, Qt::Key_H);
        QTest::keyClick(&view, Qt::Key_Home);
        Expect(view.context.camera.eye, {1.0f, 2.0f, 3.0f});
        QCOMPARE(view.moveStep, 10.0f);
    }

    void wheelAndDragsMoveInUnitsOfTheMoveStep()
    {
        auto view = LoadedView();
        QVERIFY(view);
        CCamera& camera = view->context.camera;
        const float m = view->moveStep;
        QVERIFY(m > 0.0f);

        CCamera expected = camera;
        SendWheel(*view, 120);
        expected.Advance(m);
        Expect(camera.eye, expected.eye);
        SendWheel(*view, -240, Qt::ShiftModifier);
        expected.Advance(-100.0f * m);
        Expect(camera.eye, expected.eye, 1e-2f);
        Expect(camera.pivot, expected.pivot);

        // After the view gains the focus the first move only takes the cursor position.
        QFocusEvent focus(QEvent::FocusIn, Qt::OtherFocusReason);
        QApplication::sendEvent(view.get(), &focus);
        QVERIFY(!view->mouseArmed);
        SendMove(*view, {100, 100}, Qt::LeftButton);
        QVERIFY(view->mouseArmed);
        Expect(camera.forward, expected.forward, 1e-6f);

        // 30 pixels to the right with the left button: a turn of -10 degrees about the point
        // ahead.
        SendMove(*view, {130, 100}, Qt::LeftButton);
        expected.Orbit(0.0f, -10.0f);
        Expect(camera.eye, expected.eye, 1e-2f);
        Expect(camera.forward, expected.forward, 1e-5f);

        // Right button: the scene follows the cursor, by the move step per pixel.
        SendMove(*view, {140, 95}, Qt::RightButton);
        expected.Strafe(10.0f * m);
        expected.Rise(-5.0f * m);
        Expect(camera.eye, expected.eye, 1e-2f);
        SendMove(*view, {141, 95}, Qt::RightButton, Qt::ShiftModifier);
        expected.Strafe(50.0f * m);
        Expect(camera.eye, expected.eye, 1e-2f);

        // Without a button the cursor is only followed.
        SendMove(*view, {10, 10}, Qt::NoButton);
        Expect(camera.eye, expected.eye, 1e-2f);
        SendMove(*view, {13, 10}, Qt::LeftButton);
        expected.Orbit(0.0f, -1.0f);
        Expect(camera.forward, expected.forward, 1e-5f);
    }

    void overlaysBlendOverTheSceneInTheirColours()
    {
        auto view = LoadedView();
        QVERIFY(view);
        // Only the overlays: every file hidden, the camera level and 300 m south of the band,
        // which it sees face on.
        view->FileSet()->visible[0] = 0;
        view->FileSet()->visible[1] = 0;
        const CBoundingBox& bounds = view->FileSet()->bounds;
        CCamera& camera = view->context.camera;
        camera.eye = {0.0f, -300.0f, bounds.centre.z};
        camera.forward = {0.0f, 1.0f, 0.0f};
        camera.up = {0.0f, 0.0f, 1.0f};
        view->sectionLine =
            std::make_unique<SectionLine>(SectionLine{{-40.0f, 0.0f, 0.0f}, {40.0f, 0.0f, 0.0f}});
        const QImage band = view->grabFramebuffer();
        // Half red over the sky, and the opaque red edges.
        const QColor halfRed(191, 76, 128);
        const int bandPixels = CountColour(band, halfRed);
        const int sky = CountColour(band, kSkyColour);
        const int edges = CountColour(band, QColor(255, 0, 0));
        QVERIFY2(bandPixels > 200, qPrintable(QString("%1 band pixels").arg(bandPixels)));
        QVERIFY(edges > 2);
        // Nothing else: the band has no other colour, and no point leaked through.
        QVERIFY2(bandPixels + sky + edges >= band.width() * band.height() - band.height() * 2,
                 qPrintable(QString("%1 band, %2 sky, %3 edge pixels of %4")
                                .arg(bandPixels)
                                .arg(sky)
                                .arg(edges)
                                .arg(band.width() * band.height())));
        view->sectionLine.reset();

        // The pick ray: drawn only while showPickRay is set, half blue over the sky.
        view->pickRay = std::make_unique<CRay>(
            CRay{{-60.0f, 0.0f, bounds.centre.z}, {1.0f, 0.0f, 0.0f}, 120.0f});
        const QColor halfBlue(64, 77, 255);
        QCOMPARE(CountColour(view->grabFramebuffer(), halfBlue), 0);
        view->showPickRay = true;
        const QImage ray = view->grabFramebuffer();
        const int rayPixels = CountColour(ray, halfBlue);
        QVERIFY2(rayPixels > 100 &&
                     rayPixels + CountColour(ray, kSkyColour) == ray.width() * ray.height(),
                 qPrintable(QString("%1 ray pixels").arg(rayPixels)));
        view->pickRay.reset();

        // The picked point: a green sphere with alpha 0.6 that keeps its size on screen. It is
        // a few pixels across, so the view is made larger to count them.
        view->resize(1000, 800);
        HomeView(view->context.camera, view->moveStep, view->FileSet()->bounds);
        view->pickedPoint = std::make_unique<Vec3>(Vec3{0.0f, 0.0f, 0.0f});
        const QColor green(51, 214, 102);
        const int far = CountColour(view->grabFramebuffer(), green, 3);
        view->context.camera.Advance(view->context.camera.eye.z / 2.0f);
        const int near = CountColour(view->grabFramebuffer(), green, 3);
        QVERIFY2(far >= 20 && std::abs(near - far) <= far / 4,
                 qPrintable(QString("%1 pixels far, %2 near").arg(far).arg(near)));
    }

    void doubleClickPicksTheNearestPointOfTheVisibleFiles()
    {
        // Both files span 200 m by 200 m around the same middle, where each has one point on the
        // vertical through it: the first's 10 m above the second's.
        const std::string upper = folder->File("upper.las");
        const std::string lower = folder->File("lower.las");
        WriteLas(upper, {{-100, -100, 0}, {100, 100, 0}, {0, 0, 20}});
        WriteLas(lower, {{-100, -100, 0}, {0, 0, 10}, {100, 100, 0}});
        auto view = std::make_unique<CQUARNView>();
        view->SetNotifier(&notifier);
        view->resize(320, 240);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        QTRY_VERIFY(view->IsInitialised());
        auto set = std::make_unique<CLasFileSet>(2);
        set->OpenFile(0, upper.c_str());
        set->OpenFile(1, lower.c_str());
        view->SetScene(std::move(set));
        QVERIFY(view->PreprocessScene(status, &notifier));
        view->sceneReady = true;
        notifier.shown.clear();
        QSignalSpy picked(view.get(), &CQUARNView::pointPicked);

        // From home the eye looks straight down on the middle; window x 160 and window y 120
        // (client y 119) unproject onto the vertical through it.
        const QPoint middle(160, 119);
        QTest::mouseDClick(view.get(), Qt::LeftButton, Qt::NoModifier, middle);
        QCOMPARE(picked.size(), 1);
        QCOMPARE(picked[0][0].toInt(), 0);
        QCOMPARE(picked[0][1].toUInt(), 2u);
        QVERIFY(view->pickedPoint && view->pickRay);
        Expect(*view->pickedPoint, {0, 0, 20});

        // A hidden file is never picked.
        view->FileSet()->visible[0] = 0;
        QTest::mouseDClick(view.get(), Qt::LeftButton, Qt::NoModifier, middle);
        QCOMPARE(picked.size(), 2);
        QCOMPARE(picked[1][0].toInt(), 1);
        QCOMPARE(picked[1][1].toUInt(), 1u);
        QVERIFY(notifier.shown.empty());

        // Escape drops the pick.
        QSignalSpy cleared(view.get(), &CQUARNView::pickCleared);
        QTest::keyClick(view.get(), Qt::Key_Escape);
        QCOMPARE(cleared.size(), 1);
        QVERIFY(!view->pickedPoint && !view->pickRay);

        // Looking up at the sky nothing is hit: the message, a ray to draw, no picked point.
        view->context.camera.forward = {0, 0, 1};
        view->context.camera.up = {0, 1, 0};
        QTest::mouseDClick(view.get(), Qt::LeftButton, Qt::NoModifier, middle);
        QCOMPARE(picked.size(), 2);
        QCOMPARE(notifier.shown.size(), std::size_t{1});
        QCOMPARE(notifier.shown[0].text, std::string("Change the view and try again"));
        QCOMPARE(notifier.shown[0].caption, std::string("Point wasn't found!!"));
        QVERIFY(view->pickRay && !view->pickedPoint);
        notifier.shown.clear();
    }

    void doubleClickAtUtmCoordinatesPicksThePointUnderTheCursor()
    {
        // Around easting 500,123.46 and northing 5,400,302.61 (the box's middle, so the cursor's
        // vertical): A 10 m up right under it, neighbours 30 cm north and south of it and 10 m
        // higher, outside the 20 cm the pick allows. Rounded to floats before the scene offset
        // is taken away, the southern one would land on A's spot (a float steps by 0.5 m here)
        // and win for being nearer the eye.
        const std::string path = folder->File("utm.las");
        WriteLas(path, {{23.46, 202.61, 0},
                        {223.46, 402.61, 0},
                        {123.46, 302.61, 10},
                        {123.46, 302.31, 20},
                        {123.46, 302.91, 20}});
        auto view = LoadedView({path});
        QVERIFY(view);
        view->SetNotifier(&notifier);
        notifier.shown.clear();
        // Close to the data, where only points near the ray count.
        view->context.camera.eye = {0, 0, 100};
        QSignalSpy picked(view.get(), &CQUARNView::pointPicked);
        QTest::mouseDClick(view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(160, 119));
        QCOMPARE(picked.size(), 1);
        QCOMPARE(picked[0][1].toUInt(), 2u);
        Expect(*view->pickedPoint, {0, 0, 10});
        QVERIFY(notifier.shown.empty());
    }

    void movingFramesDrawLessAndTheStillFrameAfterThemIsTheFullOne()
    {
        // 300,000 points, more than the least a moving frame draws.
        const std::string dense = Survey("dense.las", 300000, 1, 7);
        auto view = std::make_unique<CQUARNView>();
        CQUARNView::Clock::time_point now{};
        view->SetClock([&now] { return now; });
        // The full frame comes when the test says so, not when a real timer runs out.
        std::vector<int> settleRequests;
        view->SetSettleScheduler([&settleRequests](int ms) { settleRequests.push_back(ms); });
        // Any measured speed then asks for the least budget.
        view->movingFrameSeconds = 1e-6;
        view->resize(320, 240);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        QTRY_VERIFY(view->IsInitialised());
        auto set = std::make_unique<CLasFileSet>(1);
        set->OpenFile(0, dense.c_str());
        view->SetScene(std::move(set));
        QVERIFY(view->PreprocessScene(status, &notifier));
        view->sceneReady = true;

        const QImage still = view->grabFramebuffer();
        QCOMPARE(view->drawnPoints, std::int64_t{300000});
        const CCamera home = view->context.camera;
        // Frames timed as on screen: drawn by the view itself, up to the window's swap.
        const auto shown = [&view]
        {
            QSignalSpy swapped(view.get(), &QOpenGLWidget::frameSwapped);
            view->update();
            return swapped.wait(10000);
        };
        QVERIFY(shown());

        // Keys held: moving frames of the least budget, a part of every leaf.
        QTest::keyClick(view.get(), Qt::Key_W);
        QVERIFY(shown());
        QCOMPARE(view->lastPointBudget, kMinimumMovingBudget);
        QVERIFY(view->drawnPoints <= 100000 && view->drawnPoints > 90000);
        QTest::keyClick(view.get(), Qt::Key_Left);
        QVERIFY(shown());
        QVERIFY(view->drawnPoints <= 100000);

        // Back where it was and 200 ms later: the same picture as before any move.
        view->context.camera = home;
        now += std::chrono::milliseconds(199);
        QVERIFY(shown());
        QVERIFY(view->drawnPoints <= 100000);
        now += std::chrono::milliseconds(1);
        QVERIFY(view->grabFramebuffer() == still);
        QCOMPARE(view->drawnPoints, std::int64_t{300000});

        // Key repeats pile up into one frame, and the settling timer brings the full one without
        // any further input.
        settleRequests.clear();
        QSignalSpy painted(view.get(), &CQUARNView::framePainted);
        for (int i = 0; i < 10; ++i)
        {
            QTest::keyPress(view.get(), Qt::Key_W);
        }
        QTRY_COMPARE(painted.size(), 1);
        QVERIFY(view->lastPointBudget < kFullPointBudget);
        // The clock stands still: the camera settles 200 ms after the presses.
        QCOMPARE(settleRequests, std::vector<int>{200});
        view->Settle();
        QTRY_COMPARE(painted.size(), 2);
        QCOMPARE(view->lastPointBudget, kFullPointBudget);
        // The full frame asks for no further one.
        QCoreApplication::processEvents();
        QCOMPARE(painted.size(), 2);
        QCOMPARE(settleRequests.size(), std::size_t{1});

        // Switched off: every frame draws the full budget.
        view->reduceDetailWhileMoving = false;
        QTest::keyClick(view.get(), Qt::Key_S);
        view->grabFramebuffer();
        QCOMPARE(view->lastPointBudget, kFullPointBudget);
        QCOMPARE(view->drawnPoints, std::int64_t{300000});
    }

    void middleDragMarksTheSectionOnWhiteUnlessACrossSectionIsOpen()
    {
        auto view = LoadedView();
        QVERIFY(view);
        const QPoint a(100, 120);
        const QPoint b(220, 100);
        const Vec3 atA = view->ScenePointUnderCursor(a.x(), a.y());
        const Vec3 atB = view->ScenePointUnderCursor(b.x(), b.y());
        QVERIFY(atA != Vec3{} && atB != Vec3{} && atA != atB);

        QTest::mousePress(view.get(), Qt::MiddleButton, Qt::NoModifier, a);
        QVERIFY(view->marking && view->sectionLine);
        Expect(view->sectionLine->start, atA);
        Expect(view->sectionLine->end, atA);
        const QImage marking = view->grabFramebuffer();
        QCOMPARE(CountColour(marking, kSkyColour), 0);
        QVERIFY(CountColour(marking, QColor(255, 255, 255)) > 0);
        SendMove(*view, b, Qt::MiddleButton);
        Expect(view->sectionLine->end, atB);
        QTest::mouseRelease(view.get(), Qt::MiddleButton, Qt::NoModifier, b);
        QVERIFY(!view->marking);
        Expect(view->sectionLine->start, atA);
        Expect(view->sectionLine->end, atB);
        QVERIFY(CountColour(view->grabFramebuffer(), kSkyColour) > 0);

        QSignalSpy requested(view.get(), &CQUARNView::crossSectionRequested);
        QTest::keyClick(view.get(), Qt::Key_C);
        QCOMPARE(requested.size(), 1);

        // An open window borrows the line: no new marking, and Escape leaves it.
        bool open = true;
        view->SetCrossSectionQuery([&] { return open; });
        QTest::mousePress(view.get(), Qt::MiddleButton, Qt::NoModifier, b);
        QVERIFY(!view->marking);
        QTest::mouseRelease(view.get(), Qt::MiddleButton, Qt::NoModifier, a);
        QTest::keyClick(view.get(), Qt::Key_Escape);
        QVERIFY(view->sectionLine);
        Expect(view->sectionLine->start, atA);
        Expect(view->sectionLine->end, atB);
        open = false;
        QTest::keyClick(view.get(), Qt::Key_Escape);
        QVERIFY(!view->sectionLine);

        // Whoever borrows the scene hears of its release while it still exists.
        bool hadSet = false;
        // Disconnected before hadSet goes: the view's destructor releases the scene again.
        const QMetaObject::Connection heard = connect(view.get(), &CQUARNView::sceneReleasing, this,
                                                      [&] { hadSet = view->FileSet() != nullptr; });
        view->ReleaseScene();
        disconnect(heard);
        QVERIFY(hadSet);
    }

    void releasingTheSceneDropsEverythingButTheCamera()
    {
        auto view = LoadedView();
        QVERIFY(view);
        view->pickedPoint = std::make_unique<Vec3>();
        view->sectionLine = std::make_unique<SectionLine>();
        const Vec3 eye = view->context.camera.eye;
        view->ReleaseScene();
        QVERIFY(view->FileSet() == nullptr);
        QVERIFY(!view->sceneReady);
        QVERIFY(!view->pickedPoint && !view->sectionLine);
        Expect(view->context.camera.eye, eye);
        const QImage image = view->grabFramebuffer();
        QCOMPARE(view->drawnPoints, std::int64_t{0});
        QCOMPARE(CountColour(image, kSkyColour), image.width() * image.height());
        // A second release, as Close after Close, is harmless.
        view->ReleaseScene();
    }
};

} // namespace telvora

int main(int argc, char* argv[])
{
    telvora::SetDefaultViewFormat();
    QApplication app(argc, argv);
    telvora::ViewSceneTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ViewSceneTest.moc"

// Frames of the 3D view, drawn by the application's own main frame, view and scene, each next to
// a baseline drawn in the same run on the same context and framebuffer: the same points from one
// buffer object with a single glDrawArrays.
//   - a demo scene of four 750,000-point tiles: home view with the level of detail on and off,
//     a view pitched up from home and a low oblique view of the whole scene;
//   - the 10-million-point survey likewise;
//   - opening the survey up to its first frame, against reading its positions and intensities,
//     uploading them into one buffer and drawing them once;
//   - picking points in the survey by double click, next to one frame;
//   - flying through the survey for three seconds with and without reduced detail while moving.
// Needs a display: run it under xvfb-run -a -s '-screen 0 1280x1024x24'.

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fmt/core.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "SceneGLSupport.h"
#include "ViewBenchGL.h"
#include "app/MainFrame.h"
#include "app/QUARNApp.h"
#include "common/Notifier.h"
#include "las/LasFile.h"
#include "scene/LasFileSet.h"
#include "telvora-lasgen/SurveyGenerator.h"
#include "view/FrameRendering.h"
#include "view/QUARNView.h"

namespace
{

using namespace telvora;

// A 3-million-point frame takes about a second on a software renderer, a 10-million-point one
// several: fewer repeats for the survey keep the whole run to a few minutes.
constexpr int kDemoFrames = 5;
constexpr int kSurveyFrames = 3;
constexpr int kOpenRounds = 3;
constexpr float kTiltDegrees = 40.0f;
constexpr float kOrbitDegrees = 60.0f;

using bench::Median;
using bench::Seconds;

// Four adjoining tiles of a survey, generated on first use and kept like the shared survey.
QStringList DemoTilePaths()
{
    QStringList paths;
    // The tiles of the main job's demo survey: rows to the north, columns to the east.
    for (int row = 0; row < 2; ++row)
    {
        for (int column = 0; column < 2; ++column)
        {
            lasgen::SurveyOptions options;
            options.format = 3;
            options.points = 750'000;
            options.vlrs = 2;
            options.seed =
                1 + 2 * static_cast<std::uint64_t>(row) + static_cast<std::uint64_t>(column);
            options.originX = 500'000.0 + 440.0 * column;
            options.originY = 5'400'000.0 + 310.0 * row;
            const std::string path =
                (bench::BenchFolder() / fmt::format("telvora-bench-tile-{}{}.las", row, column))
                    .string();
            if (!std::filesystem::exists(path))
            {
                fmt::print(stderr, "generating {} points into {}\n", options.points, path);
                lasgen::WriteSurvey(path, options);
            }
            paths << QString::fromStdString(path);
        }
    }
    return paths;
}

// What the view's paintGL hands to RenderFrame.
FrameScene SceneOf(const CQUARNView& view)
{
    FrameScene scene;
    const CLasFileSet* set = view.FileSet();
    scene.set = set;
    scene.trees = view.Trees();
    scene.sceneReady = view.sceneReady && set != nullptr && scene.trees != nullptr;
    scene.lodEnabled = view.lodEnabled;
    scene.showNodeBoxes = view.showNodeBoxes;
    scene.showPickRay = view.showPickRay;
    scene.marking = view.marking;
    scene.sectionLine = view.sectionLine.get();
    scene.pickRay = view.pickRay.get();
    scene.pickedPoint = view.pickedPoint.get();
    return scene;
}

std::uint64_t TotalPoints(const CQUARNView& view)
{
    const CLasFileSet* set = view.FileSet();
    std::uint64_t total = 0;
    for (int i = 0; set != nullptr && i < set->count; ++i)
    {
        total += set->files[i].header->numberOfPointRecords;
    }
    return total;
}

// Lets the view paint a frame of its own through the event loop; -1 when none came.
std::int64_t PaintedByView(CQUARNView& view)
{
    bool painted = false;
    const QMetaObject::Connection connection =
        QObject::connect(&view, &CQUARNView::framePainted, [&] { painted = true; });
    view.update();
    const bool came = QTest::qWaitFor([&] { return painted; }, 60'000);
    QObject::disconnect(connection);
    return came ? view.drawnPoints : -1;
}

void MakeCurrent(CQUARNView& view)
{
    view.makeCurrent();
    bench::SetViewport(view.context.width, view.context.height);
}

struct FrameFigures
{
    double frame = 0.0;
    double baseline = 0.0;
    std::int64_t drawn = 0;
    std::size_t baselinePoints = 0;
    std::int64_t paintedByView = 0;
};

// Frames of the view as it stands, each followed by the baseline. A first frame, not timed,
// tells which points the baseline draws.
FrameFigures MeasureFrames(CQUARNView& view, int frames)
{
    FrameFigures figures;
    figures.paintedByView = PaintedByView(view);
    MakeCurrent(view);
    const FrameScene scene = SceneOf(view);
    figures.drawn = RenderFrame(scene, view.context);
    bench::FinishGL();
    std::unique_ptr<test::SingleBuffer> single;
    {
        const bench::DrawnPoints points = bench::CopyDrawnPoints(scene, view.context.camera);
        single = std::make_unique<test::SingleBuffer>(points.positions.data(), points.colors.data(),
                                                      points.Count());
    }
    figures.baselinePoints = single->Count();
    bench::BeginPlainFrame(view.context);
    single->Draw();
    bench::FinishGL();

    std::vector<double> frameTimes;
    std::vector<double> baselineTimes;
    for (int r = 0; r < frames; ++r)
    {
        std::int64_t drawn = 0;
        frameTimes.push_back(Seconds(
            [&]
            {
                drawn = RenderFrame(scene, view.context);
                bench::FinishGL();
            }));
        if (drawn != figures.drawn)
        {
            fmt::print("  ! frame {} drew {} points, the first {}\n", r, drawn, figures.drawn);
        }
        baselineTimes.push_back(Seconds(
            [&]
            {
                bench::BeginPlainFrame(view.context);
                single->Draw();
                bench::FinishGL();
            }));
    }
    figures.frame = Median(frameTimes);
    figures.baseline = Median(baselineTimes);
    return figures;
}

void PrintFrames(const char* label, const FrameFigures& f)
{
    fmt::print("  {:<30} {:7.3f} s  {:>9} points  {:5.2f} M points/s   {:5.2f} x baseline\n", label,
               f.frame, f.drawn, static_cast<double>(f.drawn) / f.frame / 1e6,
               f.frame / f.baseline);
    fmt::print("  {:<30} {:7.3f} s  {:>9} points  {:5.2f} M points/s   (baseline)\n",
               "  one glDrawArrays", f.baseline, f.baselinePoints,
               static_cast<double>(f.baselinePoints) / f.baseline / 1e6);
    if (static_cast<std::int64_t>(f.baselinePoints) != f.drawn)
    {
        fmt::print("  ! the baseline holds {} points, the frame drew {}\n", f.baselinePoints,
                   f.drawn);
    }
    if (f.paintedByView != f.drawn)
    {
        fmt::print("  ! the view's own paint drew {} points, RenderFrame here {}\n",
                   f.paintedByView, f.drawn);
    }
}

// Home view with the level of detail on and off, then tilted with it on.
void MeasureScene(CQUARNView& view, int frames)
{
    fmt::print("  {} files, {} points, view {} x {} pixels\n", view.FileSet()->count,
               TotalPoints(view), view.context.width, view.context.height);
    view.HomeView();
    view.lodEnabled = true;
    PrintFrames("home, level of detail on", MeasureFrames(view, frames));
    view.lodEnabled = false;
    PrintFrames("home, level of detail off", MeasureFrames(view, frames));
    view.lodEnabled = true;
    // Looking ahead from where home put the camera: most of the data leaves the picture.
    view.HomeView();
    view.context.camera.Pitch(kTiltDegrees);
    PrintFrames(fmt::format("pitched up {:.0f} deg, detail on", kTiltDegrees).c_str(),
                MeasureFrames(view, frames));
    // A low oblique view of the whole scene: the far side is thinned out by distance.
    view.HomeView();
    view.context.camera.Orbit(kOrbitDegrees, 0.0f);
    PrintFrames(fmt::format("orbited {:.0f} deg, detail on", kOrbitDegrees).c_str(),
                MeasureFrames(view, frames));
    view.HomeView();
}

// Double clicks at twenty places spread over the view from home: each is the cursor's ray, one
// leaf per visible file read back from its buffer and searched. Next to one home frame.
void MeasurePicking(CQUARNView& view)
{
    constexpr int kPicks = 20;
    view.HomeView();
    view.lodEnabled = true;
    const double frame = MeasureFrames(view, 1).frame;
    std::vector<double> times;
    int hits = 0;
    for (int k = 0; k < kPicks; ++k)
    {
        const int x = view.context.width * (1 + k % 5) / 6;
        const int y = view.context.height * (1 + k / 5) / 5;
        times.push_back(Seconds([&] { view.PickPoint(x, y); }));
        hits += view.pickedPoint != nullptr ? 1 : 0;
    }
    const double median = Median(times);
    fmt::print("  pick, median of {} ({} hit a point)  {:7.3f} ms   max {:7.3f} ms   "
               "{:6.4f} x one home frame ({:.3f} s)\n",
               kPicks, hits, 1000.0 * median,
               1000.0 * *std::max_element(times.begin(), times.end()), median / frame, frame);
    view.pickRay.reset();
    view.pickedPoint.reset();
}

// Input arriving as a user's would: posted to the view, handled between frames.
class ScriptedFlight : public QObject
{
public:
    explicit ScriptedFlight(CQUARNView& target)
        : view(target)
    {
        view.installEventFilter(this);
        connect(&view, &CQUARNView::framePainted, this,
                [this]
                {
                    const double at = Elapsed();
                    frames.push_back({at, view.lastPointBudget, view.drawnPoints});
                });
    }
    ~ScriptedFlight() override { view.removeEventFilter(this); }
    ScriptedFlight(const ScriptedFlight&) = delete;
    ScriptedFlight& operator=(const ScriptedFlight&) = delete;

    struct Frame
    {
        double at = 0.0;
        double budget = 0.0;
        std::int64_t drawn = 0;
    };

    // seconds of input, an event every 30 ms: key repeats of W and Left, and left drags.
    void Fly(double seconds)
    {
        clock.start();
        frames.clear();
        QTimer input;
        int step = 0;
        connect(&input, &QTimer::timeout, this,
                [&]
                {
                    if (Elapsed() >= seconds)
                    {
                        input.stop();
                        return;
                    }
                    const int kind = step++ % 3;
                    lastPosted = Elapsed();
                    if (kind == 2)
                    {
                        const QPointF at(400 + step % 40, 300);
                        QCoreApplication::postEvent(
                            &view, new QMouseEvent(QEvent::MouseMove, at, view.mapToGlobal(at),
                                                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier));
                        return;
                    }
                    QCoreApplication::postEvent(
                        &view, new QKeyEvent(QEvent::KeyPress, kind == 0 ? Qt::Key_W : Qt::Key_Left,
                                             Qt::NoModifier, QString(), true));
                });
        input.start(30);
        static_cast<void>(QTest::qWaitFor([&] { return !input.isActive(); }, 60'000));
    }

    // Seconds from the last input to the first frame after it that drew the full budget.
    double SettledAfter(double fullBudget)
    {
        static_cast<void>(QTest::qWaitFor(
            [&] {
                return !frames.empty() && frames.back().at > lastHandled &&
                       frames.back().budget == fullBudget;
            },
            10'000));
        for (const Frame& frame : frames)
        {
            if (frame.at > lastHandled && frame.budget == fullBudget)
            {
                return frame.at - lastPosted;
            }
        }
        return -1.0;
    }

    // The time between frames drawn while the input went on.
    std::vector<double> FrameIntervals() const
    {
        std::vector<double> intervals;
        for (std::size_t i = 1; i < frames.size() && frames[i].at <= lastHandled; ++i)
        {
            intervals.push_back(frames[i].at - frames[i - 1].at);
        }
        return intervals;
    }

    std::vector<Frame> frames;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::MouseMove)
        {
            lastHandled = Elapsed();
        }
        return false;
    }

private:
    // Seconds since Fly started; a double carries nanosecond counts exactly for over 100 days.
    double Elapsed() const { return static_cast<double>(clock.nsecsElapsed()) * 1e-9; }

    CQUARNView& view;
    QElapsedTimer clock;
    double lastPosted = 0.0;
    double lastHandled = 0.0;
};

// Three seconds of flying from home with reduced detail while moving and without it: the time
// between frames while the input goes on, and from the last input to the full frame.
void MeasureFlight(CQUARNView& view)
{
    for (const bool reduce : {true, false})
    {
        view.reduceDetailWhileMoving = reduce;
        view.lodEnabled = true;
        view.HomeView();
        PaintedByView(view);
        ScriptedFlight flight(view);
        flight.Fly(3.0);
        const double settled = flight.SettledAfter(kFullPointBudget);
        const std::vector<double> intervals = flight.FrameIntervals();
        std::int64_t fewest = view.drawnPoints;
        for (const ScriptedFlight::Frame& frame : flight.frames)
        {
            fewest = std::min(fewest, frame.drawn);
        }
        fmt::print("  {:<28} frames while moving: median {:5.3f} s ({} frames, fewest {} points)"
                   "   last input to full frame {:5.3f} s\n",
                   reduce ? "reduce detail while moving" : "full detail on every frame",
                   intervals.empty() ? 0.0 : Median(intervals), intervals.size() + 1, fewest,
                   settled);
    }
    view.reduceDetailWhileMoving = true;
    view.HomeView();
}

struct OpenFigures
{
    double open = 0.0;
    double firstFrame = 0.0;
    std::int64_t drawn = 0;
    double read = 0.0;
    double upload = 0.0;
    double draw = 0.0;
    std::uint32_t points = 0;
};

// One round: the application opens the survey and draws its first frame; then the plainest
// pipeline that shows the same file from the same camera.
OpenFigures MeasureOpen(CMainFrame& frame, const std::string& path)
{
    OpenFigures figures;
    CQUARNView& view = *frame.View();
    // Releasing the previous round's scene is not part of opening this one.
    frame.CloseScene();
    bool loaded = false;
    figures.open = Seconds([&] { loaded = frame.OpenFiles({QString::fromStdString(path)}); });
    if (!loaded)
    {
        fmt::print("  ! {} did not open\n", path);
        return figures;
    }
    MakeCurrent(view);
    const FrameScene scene = SceneOf(view);
    figures.firstFrame = Seconds(
        [&]
        {
            figures.drawn = RenderFrame(scene, view.context);
            bench::FinishGL();
        });

    bench::NullProgress status;
    std::unique_ptr<float[]> positions;
    std::vector<float> greys;
    // In the scene's frame, as the view reads them.
    const Vec3d offset = view.FileSet()->sceneOffset;
    figures.read = Seconds(
        [&]
        {
            CLasFile file;
            file.SetPath(path.c_str());
            file.ReadHeader();
            figures.points = file.header->numberOfPointRecords;
            positions = file.ReadPositions(&status, nullptr, offset);
            const auto intensities = file.ReadIntensities(&status);
            if (!positions || !intensities || figures.points == 0)
            {
                positions.reset();
                return;
            }
            const auto [low, high] =
                std::minmax_element(intensities.get(), intensities.get() + figures.points);
            const float scale = *high > *low ? 1.0f / static_cast<float>(*high - *low) : 0.0f;
            greys.resize(3 * std::size_t{figures.points});
            for (std::uint32_t j = 0; j < figures.points; ++j)
            {
                const float grey = static_cast<float>(intensities[j] - *low) * scale;
                greys[3 * std::size_t{j}] = grey;
                greys[3 * std::size_t{j} + 1] = grey;
                greys[3 * std::size_t{j} + 2] = grey;
            }
        });
    if (!positions)
    {
        fmt::print("  ! {} could not be read\n", path);
        return figures;
    }
    std::unique_ptr<test::SingleBuffer> single;
    figures.upload = Seconds(
        [&]
        {
            single =
                std::make_unique<test::SingleBuffer>(positions.get(), greys.data(), figures.points);
            bench::FinishGL();
        });
    positions.reset();
    greys = {};
    figures.draw = Seconds(
        [&]
        {
            bench::BeginPlainFrame(view.context);
            single->Draw();
            bench::FinishGL();
        });
    return figures;
}

// Passes status texts and progress on to the main frame, counting the calls and their time.
class TimedStatus final : public IStatusServices
{
public:
    explicit TimedStatus(IStatusServices& shown)
        : target(shown)
    {
    }

    void SetStatusText(const std::string& text) override
    {
        Count([&] { target.SetStatusText(text); });
    }
    void SetProgressRange(int lower, int upper) override
    {
        Count([&] { target.SetProgressRange(lower, upper); });
    }
    int GetProgressPos() const override { return target.GetProgressPos(); }
    void SetProgressPos(int pos) override
    {
        Count([&] { target.SetProgressPos(pos); });
    }

    int calls = 0;
    double seconds = 0.0;

private:
    void Count(const std::function<void()>& call)
    {
        ++calls;
        seconds += Seconds(call);
    }

    IStatusServices& target;
};

// Where opening spends its time: the view's preprocessing with progress that goes nowhere, and
// with the main frame's status bar and progress bar.
void MeasurePreprocessing(CMainFrame& frame, const std::string& path)
{
    CQUARNView& view = *frame.View();
    auto preprocess = [&](IStatusServices& status)
    {
        frame.CloseScene();
        auto set = std::make_unique<CLasFileSet>(1);
        set->OpenFile(0, path.c_str());
        view.SetScene(std::move(set));
        const double seconds = Seconds(
            [&]
            {
                view.PreprocessScene(status, &frame);
                view.makeCurrent();
                bench::FinishGL();
            });
        frame.CloseScene();
        return seconds;
    };
    bench::NullProgress silent;
    const double quiet = preprocess(silent);
    TimedStatus shown(frame);
    const double withBars = preprocess(shown);
    fmt::print("  PreprocessScene alone, progress going nowhere      {:7.3f} s\n", quiet);
    fmt::print(
        "  PreprocessScene alone, the frame's status bar      {:7.3f} s   {} status-bar calls "
        "taking {:.3f} s\n",
        withBars, shown.calls, shown.seconds);
}

void MeasureOpening(CMainFrame& frame, const std::string& path)
{
    std::vector<OpenFigures> rounds;
    rounds.reserve(kOpenRounds);
    for (int r = 0; r < kOpenRounds; ++r)
    {
        rounds.push_back(MeasureOpen(frame, path));
    }
    auto median = [&](double OpenFigures::*field)
    {
        std::vector<double> values;
        values.reserve(rounds.size());
        for (const OpenFigures& round : rounds)
        {
            values.push_back(round.*field);
        }
        return Median(values);
    };
    const double open = median(&OpenFigures::open);
    const double firstFrame = median(&OpenFigures::firstFrame);
    const double read = median(&OpenFigures::read);
    const double upload = median(&OpenFigures::upload);
    const double draw = median(&OpenFigures::draw);
    std::vector<double> totals;
    std::vector<double> baselineTotals;
    for (const OpenFigures& round : rounds)
    {
        totals.push_back(round.open + round.firstFrame);
        baselineTotals.push_back(round.read + round.upload + round.draw);
    }
    const double total = Median(totals);
    const double baseline = Median(baselineTotals);
    fmt::print("  OpenFiles (header, trees, buffers, colours, home)  {:7.3f} s\n", open);
    fmt::print("  first frame ({} points)                       {:7.3f} s\n", rounds.back().drawn,
               firstFrame);
    fmt::print(
        "  open to first frame                                {:7.3f} s   {:5.2f} x baseline\n",
        total, total / baseline);
    MeasurePreprocessing(frame, path);
    fmt::print("  baseline: read positions and intensities, greys    {:7.3f} s\n", read);
    fmt::print("            upload into one buffer                   {:7.3f} s\n", upload);
    fmt::print("            one glDrawArrays of {} points      {:7.3f} s\n", rounds.back().points,
               draw);
    fmt::print("            in all                                   {:7.3f} s\n", baseline);
}

} // namespace

int main(int argc, char** argv)
{
    // Settings and the decompression folder go to a folder of this run only.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    SetDefaultViewFormat();
    QApplication application(argc, argv);

    const QStringList demo = DemoTilePaths();
    const std::string survey = bench::BenchSurveyPath();

    CQUARNApp app;
    CMainFrame frame(app);
    // A message box would wait for a click that never comes.
    frame.SetMessageSink(&StderrNotifier());
    frame.resize(1280, 800);
    frame.show();
    CQUARNView& view = *frame.View();
    if (!QTest::qWaitForWindowExposed(&frame) ||
        !QTest::qWaitFor([&] { return view.IsInitialised(); }, 10'000) || !view.IsCapable())
    {
        fmt::print(stderr, "view_bench needs a display with OpenGL 1.5 and buffer objects\n");
        return 1;
    }

    // "flight" alone: only the flight through the survey, for working on it.
    const bool flightOnly = argc > 1 && std::string(argv[1]) == "flight";
    if (flightOnly)
    {
        if (!frame.OpenFiles({QString::fromStdString(survey)}))
        {
            fmt::print(stderr, "the survey did not open\n");
            return 1;
        }
        fmt::print("Flying through the survey: 3 s of key repeats and drags, from home\n");
        MeasureFlight(view);
        view.makeCurrent();
        frame.CloseScene();
        return 0;
    }

    fmt::print("Demo scene, medians of {} frames after one untimed\n", kDemoFrames);
    if (!frame.OpenFiles(demo))
    {
        fmt::print(stderr, "the demo tiles did not open\n");
        return 1;
    }
    MeasureScene(view, kDemoFrames);

    fmt::print("Survey {}, medians of {} frames after one untimed\n", survey, kSurveyFrames);
    if (!frame.OpenFiles({QString::fromStdString(survey)}))
    {
        fmt::print(stderr, "the survey did not open\n");
        return 1;
    }
    MeasureScene(view, kSurveyFrames);
    MeasurePicking(view);
    fmt::print("Flying through the survey: 3 s of key repeats and drags, from home\n");
    MeasureFlight(view);

    fmt::print("Opening the survey up to its first frame, warm page cache, medians of {}\n",
               kOpenRounds);
    MeasureOpening(frame, survey);

    view.makeCurrent();
    frame.CloseScene();
    return 0;
}

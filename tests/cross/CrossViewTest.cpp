#include "cross/CrossView.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "LasImage.h"
#include "Recorders.h"
#include "Surveys.h"
#include "TestData.h"
#include "TestFiles.h"
#include "cross/CrossFrame.h"
#include "cross/PropertiesCrossWnd.h"
#include "las/ByteOrder.h"
#include "panes/PropertyGrid.h"
#include "panes/PropertyRow.h"
#include "scene/LasFileSet.h"
#include "scene/Palettes.h"
#include "scene/PointFilter.h"
#include "scene/PointTree.h"
#include "scene/TreeDrawing.h"
#include "view/QUARNView.h"

namespace telvora
{
namespace
{

struct Record
{
    double x, y, z;
    std::uint8_t classification;
};

// Where a test file lies in the world: a record at (x, y, z) is stored as origin + (x, y) at the
// scale, against the header's offsets; z as it is.
struct Placement
{
    double originX = 0.0;
    double originY = 0.0;
    double scale = 0.01;
    double offsetX = 0.0;
    double offsetY = 0.0;
    // 1 (LAS 1.2) or 6 (LAS 1.4, classification in byte 16 behind the flags).
    std::uint8_t format = 1;
};

// A survey in UTM metres, where a float steps by 1/32 m in x and half a metre in y.
constexpr Placement kUtm{500123.457, 5400302.86, 0.001, 500000.0, 5400000.0};

// Format 1 unless placed otherwise; the header box spans x and y from -50 to 50 around the
// placement's origin, so the scene offset is the origin and scene coordinates are the records' (x,
// y, z).
void WriteLas(const std::string& path, const std::vector<Record>& records, const Placement& at = {})
{
    test::LasImage image = test::LasImage::Make(at.format);
    LasHeader& h = image.header;
    h.xScaleFactor = h.yScaleFactor = h.zScaleFactor = at.scale;
    h.xOffset = at.offsetX;
    h.yOffset = at.offsetY;
    h.minX = at.originX - 50.0;
    h.maxX = at.originX + 50.0;
    h.minY = at.originY - 50.0;
    h.maxY = at.originY + 50.0;
    h.minZ = 0.0;
    h.maxZ = 200.0;
    for (const Record& r : records)
    {
        auto raw = [&](double metres)
        { return static_cast<std::int32_t>(std::lround(metres / at.scale)); };
        std::vector<unsigned char> bytes =
            test::MakeRecord(h.pointDataRecordLength, raw(at.originX - at.offsetX + r.x),
                             raw(at.originY - at.offsetY + r.y), raw(r.z));
        bytes[at.format >= 6 ? 16 : 15] = r.classification;
        if (at.format >= 6)
        {
            // Every flag set: they must not leak into the class.
            bytes[15] = 0x0F;
        }
        image.records.push_back(bytes);
    }
    image.Layout(0);
    image.Save(path);
}

void SendMouse(QWidget& widget, QEvent::Type type, QPoint at, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(at), widget.mapToGlobal(QPointF(at)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

void Move(QWidget& widget, QPoint at, Qt::MouseButtons buttons = Qt::NoButton)
{
    SendMouse(widget, QEvent::MouseMove, at, Qt::NoButton, buttons);
}

bool Near(const Vec3& a, const Vec3& b)
{
    return std::fabs(a.x - b.x) < 1e-4f && std::fabs(a.y - b.y) < 1e-4f &&
           std::fabs(a.z - b.z) < 1e-4f;
}

} // namespace

class CrossViewTest : public QObject
{
    Q_OBJECT

private:
    // The 3D view holds the GL context and the trees the section is cut from.
    bool Load(const std::vector<std::string>& paths)
    {
        view = std::make_unique<CQUARNView>();
        view->resize(200, 150);
        view->show();
        if (!QTest::qWaitForWindowExposed(view.get()) ||
            !QTest::qWaitFor([&] { return view->IsInitialised(); }, 5000))
        {
            return false;
        }
        auto set = std::make_unique<CLasFileSet>(static_cast<std::int32_t>(paths.size()));
        for (std::size_t i = 0; i < paths.size(); ++i)
        {
            set->OpenFile(static_cast<std::int32_t>(i), paths[i].c_str());
        }
        view->SetScene(std::move(set));
        return view->PreprocessScene(status, &notifier);
    }

    // The loaded scene with the line as the view's section line.
    SectionSource Source(const SectionLine& line)
    {
        view->sectionLine = std::make_unique<SectionLine>(line);
        SectionSource source;
        source.set = view->FileSet();
        source.trees = view->Trees();
        source.sceneOffset = view->FileSet()->sceneOffset;
        source.line = view->sectionLine.get();
        source.makeCurrent = [this] { view->makeCurrent(); };
        return source;
    }

    // A profile view of 1000 x 700 (plot 910 x 630) over the loaded scene and the line.
    std::unique_ptr<CCrossView> Profile(const SectionLine& line)
    {
        auto profile = std::make_unique<CCrossView>();
        profile->resize(1000, 700);
        profile->SetNotifier(&notifier);
        profile->SetStatusSink([this](const std::string& text) { statusText = text; });
        profile->SetSource(Source(line), &width);
        return profile;
    }

    // The cross-section window over the loaded scene and the line, with its pane.
    std::unique_ptr<CCrossFrame> Frame(const SectionLine& line)
    {
        auto frame = std::make_unique<CCrossFrame>(nullptr, nullptr);
        frame->SetNotifier(&notifier);
        frame->show();
        frame->SetSection(Source(line), 0.5f);
        return frame;
    }

    static void Choose(CCrossFrame& frame, const QString& name)
    {
        PropertiesCrossWnd& pane = *frame.Properties();
        emit pane.Grid()->choiceSelected(pane.ClassificationRow(), name);
    }

    // The whole plot selected.
    static void SelectAll(CCrossView& profile)
    {
        const PlotRect& plot = profile.Plot();
        profile.SetSelection(
            Selection{QPoint(plot.left, plot.top), QPoint(plot.right, plot.bottom)});
    }

    QPoint ScreenOf(const CCrossView& profile, float u, float z)
    {
        const ScreenPoint at = ProfileToScreen(profile.Section().window.box, profile.Plot(), u, z);
        return {at.x, at.y};
    }

    // empty.las, slab.las and hidden.las at the placement.
    void WriteFiles(const Placement& at)
    {
        WriteLas(empty, {{-50, -50, 100, 1}, {50, 50, 100, 1}}, at);
        // Records 2 to 7 test the short line (0, 0, 100) to (10, 0, 100): n1 = (0, -1, 0),
        // u = -x, half length 5 around x = 5. Records 8 to 11 lie on the long line's part
        // left of x = 0 for the measurements.
        WriteLas(slab,
                 {{-50, 50, 100, 1},
                  {50, -50, 100, 1},
                  {5, 0.5, 101, 2},   // exactly width from the plane: in
                  {5, -0.51, 102, 3}, // width + 1 cm: out
                  {0, 0, 103, 4},     // exactly h from the middle, at start: in
                  {10.01, 0, 104, 5}, // h + 1 cm: out
                  {3, -0.3, 99, 6},   // in
                  {10, 0.2, 100, 9},  // exactly h, at end: in
                  {-10, 0, 100, 2},   // P
                  {-13, 0, 104, 2},   // Q: 3 m right of P in the profile, 4 m up
                  {-7, 0, 96, 2},     // R: 3 m left, 4 m down
                  {-10, 0.1, 96, 2}}, // S: 4 m straight below
                 at);
        WriteLas(hidden, {{5, 0, 100, 7}, {-50, -50, 0, 1}}, at);
    }

    // The same scene in local coordinates and in UTM metres: every rule holds to the millimetre
    // of the files, far from the origin too.
    static void Placements()
    {
        QTest::addColumn<bool>("utm");
        QTest::addColumn<int>("format");
        QTest::newRow("local") << false << 1;
        QTest::newRow("UTM") << true << 1;
        QTest::newRow("UTM, LAS 1.4 format 6") << true << 6;
    }

    std::unique_ptr<test::TempDir> folder;
    std::string empty, slab, hidden;
    std::unique_ptr<CQUARNView> view;
    test::RecordingStatus status;
    test::RecordingNotifier notifier;
    std::string statusText;
    float width = 0.5f;

private slots:
    void init()
    {
        folder = std::make_unique<test::TempDir>();
        empty = folder->File("empty.las");
        slab = folder->File("slab.las");
        hidden = folder->File("hidden.las");
        WriteFiles({});
        notifier.shown.clear();
        statusText.clear();
        view.reset();
    }

    void cleanup()
    {
        view.reset();
        folder.reset();
    }

    void collectsTheSlabOfTheVisibleFilesAndCentresOnTheirHeights_data() { Placements(); }
    void collectsTheSlabOfTheVisibleFilesAndCentresOnTheirHeights()
    {
        QFETCH(bool, utm);
        QFETCH(int, format);
        Placement at = utm ? kUtm : Placement{};
        at.format = static_cast<std::uint8_t>(format);
        WriteFiles(at);
        QVERIFY(Load({empty, slab, hidden}));
        QCOMPARE(view->FileSet()->sceneOffset.x, at.originX);
        QCOMPARE(view->FileSet()->sceneOffset.y, at.originY);
        view->FileSet()->visible[2] = 0;
        auto profile = Profile({{0, 0, 100}, {10, 0, 100}});
        const ProfileSection& section = profile->Section();
        QCOMPARE(section.indices.size(), std::size_t{3});
        QVERIFY(section.indices[0].empty());
        QVERIFY(section.indices[2].empty());
        QCOMPARE(section.indices[1], (std::vector<std::uint32_t>{2, 4, 6, 7}));
        const std::array<std::array<float, 3>, 4> expected = {
            {{-5, 101, 2}, {0, 103, 4}, {-3, 99, 6}, {-10, 100, 9}}};
        for (std::size_t k = 0; k < expected.size(); ++k)
        {
            const ProfilePoint& p = section.points[1][k];
            QVERIFY(std::fabs(p.u - expected[k][0]) < 1e-4f);
            QCOMPARE(p.z, expected[k][1]);
            QCOMPARE(int(p.classification), int(expected[k][2]));
        }
        // 910 px over 10 m is 91 px/m; 630 px are 6.923 m around (99 + 103) / 2.
        const CBoundingBox& box = section.window.box;
        QVERIFY(std::fabs(box.minimum.x + 10) < 1e-4f && std::fabs(box.maximum.x) < 1e-4f);
        QVERIFY(std::fabs(box.minimum.y - (101.0f - 315.0f / 91.0f)) < 1e-3f);
        QVERIFY(std::fabs(box.maximum.y - (101.0f + 315.0f / 91.0f)) < 1e-3f);
        QVERIFY(!section.window.pointsAbove && !section.window.pointsBelow);
        QVERIFY(notifier.shown.empty());
    }

    // Record i's classification byte in a LAS file's bytes, from the header's own fields.
    static std::size_t ClassByte(const std::vector<unsigned char>& bytes, std::uint32_t record)
    {
        const std::uint32_t offset = LoadLE<std::uint32_t>(bytes.data() + 96);
        const std::uint16_t length = LoadLE<std::uint16_t>(bytes.data() + 105);
        return offset + static_cast<std::size_t>(record) * length + (bytes[104] >= 6 ? 16 : 15);
    }

    void aClassChangesExactlyTheSelectedBytesOfARealFileAndUndoRestoresThem()
    {
        const std::filesystem::path real =
            std::filesystem::path(TELVORA_TESTDATA_LAS) / "MixedConifer.las";
        if (!std::filesystem::exists(real))
        {
            TELVORA_QT_MISSING_TEST_INPUT("the real LAS files are not beside the repository");
        }
        const std::string path = folder->File("conifer.las");
        std::filesystem::copy_file(real, path);
        std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
        QVERIFY(Load({path}));
        // Across the middle of the data, west to east.
        const CLasFileSet& set = *view->FileSet();
        const float half = (set.bounds.maximum.x - set.bounds.minimum.x) / 2.0f;
        auto frame = Frame({{-half, 0, 0}, {half, 0, 0}});
        CCrossView& profile = *frame->View();

        // Three drawn points alone in a band of plot columns.
        std::vector<std::pair<int, std::uint32_t>> drawn;
        for (std::size_t i = 0; i < profile.Section().points[0].size(); ++i)
        {
            const ProfilePoint& p = profile.Section().points[0][i];
            const QPoint at = ScreenOf(profile, p.u, p.z);
            if (profile.Plot().Contains(at.x(), at.y()))
            {
                drawn.emplace_back(at.x(), profile.Section().indices[0][i]);
            }
        }
        std::sort(drawn.begin(), drawn.end());
        std::size_t first = 1;
        while (first + 3 < drawn.size() && !(drawn[first - 1].first < drawn[first].first &&
                                             drawn[first + 2].first < drawn[first + 3].first))
        {
            ++first;
        }
        QVERIFY(first + 3 < drawn.size());
        const PlotRect& plot = profile.Plot();
        const QPoint low(drawn[first].first, plot.top);
        const QPoint high(drawn[first + 2].first + 1, plot.bottom);
        profile.SetSelection(Selection{low, high});

        const std::vector<unsigned char> original = test::ReadAll(path);
        std::vector<unsigned char> ground = original;
        for (std::size_t k = first; k < first + 3; ++k)
        {
            ground[ClassByte(original, drawn[k].second)] = 2;
        }
        Choose(*frame, "Ground");
        QCOMPARE(test::ReadAll(path), ground);
        QCOMPARE(frame->Properties()->ClassificationRow()->GetValue(), QString());
        int shownAsGround = 0;
        for (const ProfilePoint& p : profile.Section().points[0])
        {
            shownAsGround += p.classification == 2 ? 1 : 0;
        }
        QVERIFY(shownAsGround >= 3);

        // Nothing selected, or a rectangle left reversed: nothing changes.
        profile.SetSelection(std::nullopt);
        Choose(*frame, "Water");
        profile.SetSelection(Selection{high, low});
        Choose(*frame, "Water");
        QCOMPARE(test::ReadAll(path), ground);

        profile.SetSelection(Selection{low, high});
        Choose(*frame, "Building");
        QVERIFY(test::ReadAll(path) != ground);
        frame->UndoAction()->trigger();
        QCOMPARE(test::ReadAll(path), ground);
        frame->UndoAction()->trigger();
        QCOMPARE(test::ReadAll(path), original);
        QVERIFY(!frame->UndoAction()->isEnabled());
        frame->RedoAction()->trigger();
        QCOMPARE(test::ReadAll(path), ground);
        QVERIFY(notifier.shown.empty());
    }

    void theWidthRowRebuildsAndAWholeByteIsReplaced()
    {
        // Line (0, 0, 100) to (10, 0, 100): records 2 to 5 lie 0.5, 0.51, 1.0 and 1.01 m off it.
        const std::string path = folder->File("w.las");
        WriteLas(path, {{-50, 50, 100, 1},
                        {50, -50, 100, 1},
                        {5, 0.5, 101, 0x82},
                        {5, -0.51, 102, 3},
                        {5, 1.0, 103, 1},
                        {5, 1.01, 104, 1}});
        QVERIFY(Load({path}));
        auto frame = Frame({{0, 0, 100}, {10, 0, 100}});
        CCrossView& profile = *frame->View();
        QCOMPARE(profile.Section().indices[0], (std::vector<std::uint32_t>{2}));
        PropertiesCrossWnd& pane = *frame->Properties();
        emit pane.Grid()->integerChanged(pane.WidthRow(), 100);
        QCOMPARE(frame->width, 1.0f);
        QCOMPARE(profile.Section().indices[0], (std::vector<std::uint32_t>{2, 3, 4}));

        const std::vector<unsigned char> original = test::ReadAll(path);
        std::vector<unsigned char> expected = original;
        for (const std::uint32_t record : {2u, 3u, 4u})
        {
            expected[ClassByte(original, record)] = 5;
        }
        QCOMPARE(int(original[ClassByte(original, 2)]), 0x82);
        SelectAll(profile);
        Choose(*frame, "High Vegetation");
        QCOMPARE(test::ReadAll(path), expected);

        // The profile as CSV: x, y and z to the centimetre the scale factor stores.
        const std::string csv = folder->File("profile.csv");
        QVERIFY(frame->ExportProfile(QString::fromStdString(csv)));
        const std::vector<unsigned char> bytes = test::ReadAll(csv);
        QCOMPARE(std::string(bytes.begin(), bytes.end()),
                 std::string("file,record,u,profile_z,x,y,z,classification\n"
                             "w.las,2,-5,101,5.00,0.50,101.00,5\n"
                             "w.las,3,-5,102,5.00,-0.51,102.00,5\n"
                             "w.las,4,-5,103,5.00,1.00,103.00,5\n"));
    }

    // With class 5 hidden, points reclassified to it disappear from the 3D view and come back
    // on Undo; the counts by class follow both.
    void aReclassificationMovesPointsInAndOutOfAHiddenClass()
    {
        const std::string path = folder->File("w.las");
        WriteLas(path, {{-50, 50, 100, 1},
                        {50, -50, 100, 1},
                        {5, 0.5, 101, 2},
                        {5, -0.4, 102, 3},
                        {5, 0.3, 103, 1}});
        QVERIFY(Load({path}));
        CPointTree& tree = *view->Trees()[0];
        PointFilter filter;
        filter.hiddenClasses.set(5);
        view->makeCurrent();
        tree.ApplyFilter(&filter);
        QCOMPARE(CountDrawn(tree, nullptr, 0.0), std::int64_t{5});
        auto frame = Frame({{0, 0, 100}, {10, 0, 100}});
        QSignalSpy changed(frame->View(), &CCrossView::classesChanged);
        SelectAll(*frame->View());
        Choose(*frame, "High Vegetation");
        QCOMPARE(changed.size(), 1);
        QCOMPARE(tree.classCounts[5], std::uint64_t{3});
        QCOMPARE(tree.classCounts[1], std::uint64_t{2});
        view->makeCurrent();
        QCOMPARE(CountDrawn(tree, nullptr, 0.0), std::int64_t{2});

        QVERIFY(frame->View()->Undo());
        QCOMPARE(changed.size(), 2);
        QCOMPARE(tree.classCounts[5], std::uint64_t{0});
        QCOMPARE(tree.classCounts[1], std::uint64_t{3});
        view->makeCurrent();
        QCOMPARE(CountDrawn(tree, nullptr, 0.0), std::int64_t{5});
        QVERIFY(frame->View()->Redo());
        QCOMPARE(tree.classCounts[5], std::uint64_t{3});

        // Hidden now, they are left out of the next collection and so of the profile's CSV.
        PropertiesCrossWnd& pane = *frame->Properties();
        emit pane.Grid()->integerChanged(pane.WidthRow(), 60);
        QVERIFY(frame->View()->Section().indices[0].empty());
        const std::string csv = folder->File("hidden.csv");
        QVERIFY(frame->ExportProfile(QString::fromStdString(csv)));
        const std::vector<unsigned char> bytes = test::ReadAll(csv);
        QCOMPARE(std::string(bytes.begin(), bytes.end()),
                 std::string("file,record,u,profile_z,x,y,z,classification\n"));
    }

    void aFileThatCannotBeWrittenStopsTheChangeWithOneMessageAndUndoCoversWhatWasWritten()
    {
        const std::string writable = folder->File("a.las");
        const std::string locked = folder->File("b.las");
        WriteLas(writable, {{-50, 50, 100, 1}, {50, -50, 100, 1}, {2, 0, 101, 1}});
        WriteLas(locked, {{-50, 50, 100, 1}, {50, -50, 100, 1}, {4, 0, 101, 1}});
        std::filesystem::permissions(locked, std::filesystem::perms::owner_read);
        QVERIFY(Load({writable, locked}));
        auto frame = Frame({{0, 0, 100}, {10, 0, 100}});
        CCrossView& profile = *frame->View();
        const std::vector<unsigned char> before = test::ReadAll(writable);
        const std::vector<unsigned char> lockedBefore = test::ReadAll(locked);
        SelectAll(profile);
        Choose(*frame, "Ground");

        QCOMPARE(notifier.shown.size(), std::size_t{1});
        QCOMPARE(notifier.shown[0].text, std::string("WriteError::File could not be open."));
        QCOMPARE(std::filesystem::path(notifier.shown[0].detail).filename().string(),
                 std::string("b.las: the file is read-only"));
        std::vector<unsigned char> changed = before;
        changed[ClassByte(before, 2)] = 2;
        QCOMPARE(test::ReadAll(writable), changed);
        QCOMPARE(test::ReadAll(locked), lockedBefore);
        QCOMPARE(int(profile.Section().points[0][0].classification), 2);
        QCOMPARE(int(profile.Section().points[1][0].classification), 1);

        QVERIFY(profile.Undo());
        QCOMPARE(test::ReadAll(writable), before);
        QCOMPARE(int(profile.Section().points[0][0].classification), 1);
        QVERIFY(!profile.History().CanUndo());
    }

    void onlyAChangedByteDropsRedo()
    {
        const std::string first = folder->File("a.las");
        const std::string second = folder->File("b.las");
        WriteLas(first, {{-50, 50, 100, 1}, {50, -50, 100, 1}, {2, 0, 101, 1}});
        WriteLas(second, {{-50, 50, 100, 1}, {50, -50, 100, 1}, {4, 0, 101, 1}});
        QVERIFY(Load({first, second}));
        auto frame = Frame({{0, 0, 100}, {10, 0, 100}});
        CCrossView& profile = *frame->View();
        const std::vector<unsigned char> before = test::ReadAll(first);
        std::vector<unsigned char> ground = before;
        ground[ClassByte(before, 2)] = 2;
        const PlotRect& plot = profile.Plot();
        const Selection all{QPoint(plot.left, plot.top), QPoint(plot.right, plot.bottom)};
        const Selection reversed{all.second, all.first};
        struct Case
        {
            const char* what;
            std::optional<Selection> selection;
            const char* name;
            bool firstLocked;
            bool keepsRedo;
        } cases[] = {
            {"nothing selected", std::nullopt, "Water", false, true},
            {"a reversed rectangle", reversed, "Water", false, true},
            {"the class the points have", all, "Unclassified", false, true},
            {"a first file that cannot be written", all, "Water", true, true},
            {"a new class", all, "Water", false, false},
        };
        for (const Case& c : cases)
        {
            profile.SetSelection(all);
            Choose(*frame, "Ground");
            QVERIFY2(profile.Undo(), c.what);
            std::filesystem::permissions(first, c.firstLocked ? std::filesystem::perms::owner_read
                                                              : std::filesystem::perms::owner_all);
            profile.SetSelection(c.selection);
            Choose(*frame, c.name);
            std::filesystem::permissions(first, std::filesystem::perms::owner_all);
            notifier.shown.clear();
            QVERIFY2(profile.Redo() == c.keepsRedo, c.what);
            QVERIFY2(!c.keepsRedo || test::ReadAll(first) == ground, c.what);
            profile.Undo();
        }
    }

    void unreadableRecordsAreReportedOncePerBuildAndEarlierPointsKept()
    {
        QVERIFY(Load({empty, slab, hidden}));
        // slab.las loses records 6 on; hidden.las (visible here) vanishes altogether.
        std::filesystem::resize_file(slab, 227 + 6 * 28);
        std::filesystem::remove(hidden);
        auto profile = Profile({{0, 0, 100}, {10, 0, 100}});
        QCOMPARE(notifier.shown.size(), std::size_t{1});
        QCOMPARE(notifier.shown[0].text, std::string("ReadError::LAS Point"));
        QVERIFY(notifier.shown[0].detail.find("slab.las") != std::string::npos);
        QCOMPARE(profile->Section().indices[1], (std::vector<std::uint32_t>{2, 4}));
        QCOMPARE(profile->Section().points[1].size(), std::size_t{2});
        QTest::keyClick(profile.get(), Qt::Key_H);
        QCOMPARE(notifier.shown.size(), std::size_t{2});
    }

    void leftDragPansTheLineAndHRestoresTheVerticalExtent()
    {
        QVERIFY(Load({empty, slab}));
        // 91 m over 910 px: 10 px/m.
        auto profile = Profile({{-45.5f, 0, 100}, {45.5f, 0, 100}});
        QCOMPARE(profile->Section().window.scale, 10.0f);
        const CBoundingBox before = profile->Section().window.box;
        const QPoint p = ScreenOf(*profile, 10, 100);
        Move(*profile, {500, 300});
        SendMouse(*profile, QEvent::MouseButtonPress, {500, 300}, Qt::LeftButton, Qt::LeftButton);
        Move(*profile, {550, 320}, Qt::LeftButton);
        SendMouse(*profile, QEvent::MouseButtonRelease, {550, 320}, Qt::LeftButton, Qt::NoButton);
        // 5 m towards the end; the window 2 m up, so the points follow the mouse down.
        QVERIFY(Near(view->sectionLine->start, {-40.5f, 0, 100}));
        QVERIFY(Near(view->sectionLine->end, {50.5f, 0, 100}));
        const CBoundingBox dragged = profile->Section().window.box;
        QVERIFY(std::fabs(dragged.minimum.y - (before.minimum.y + 2)) < 1e-3f);
        const QPoint moved = ScreenOf(*profile, 10, 100);
        QVERIFY(std::abs(moved.x() - (p.x() + 50)) <= 1);
        QVERIFY(std::abs(moved.y() - (p.y() + 20)) <= 1);

        QTest::keyClick(profile.get(), Qt::Key_H);
        QVERIFY(Near(view->sectionLine->start, {-40.5f, 0, 100}));
        QVERIFY(std::fabs(profile->Section().window.box.minimum.y - before.minimum.y) < 1e-3f);
        QVERIFY(std::fabs(profile->Section().window.box.maximum.y - before.maximum.y) < 1e-3f);
    }

    void middleButtonMeasuresBetweenDrawnPoints_data() { Placements(); }
    void middleButtonMeasuresBetweenDrawnPoints()
    {
        QFETCH(bool, utm);
        QFETCH(int, format);
        Placement at = utm ? kUtm : Placement{};
        at.format = static_cast<std::uint8_t>(format);
        WriteFiles(at);
        QVERIFY(Load({empty, slab}));
        auto profile = Profile({{-45.5f, 0, 100}, {45.5f, 0, 100}});
        struct Case
        {
            float u, z;
            const char* text;
        };
        // From P at u = 10, z = 100.
        const Case cases[] = {{13, 104, "Angle: 53.13°, Distance: 5.000 m"},
                              {7, 96, "Angle: 233.13°, Distance: 5.000 m"},
                              {10, 96, "Angle: -90.00°, Distance: 4.000 m"},
                              {10, 100, "Angle: 90.00°, Distance: 0.000 m"}};
        for (const Case& c : cases)
        {
            const QPoint from = ScreenOf(*profile, 10, 100);
            const QPoint to = ScreenOf(*profile, c.u, c.z);
            Move(*profile, from);
            profile->grab();
            QVERIFY(profile->HoverPoint().has_value());
            SendMouse(*profile, QEvent::MouseButtonPress, from, Qt::MiddleButton, Qt::MiddleButton);
            Move(*profile, to, Qt::MiddleButton);
            profile->grab();
            SendMouse(*profile, QEvent::MouseButtonRelease, to, Qt::MiddleButton, Qt::NoButton);
            QVERIFY(profile->MeasurementComplete());
            profile->grab();
            QCOMPARE(QString::fromStdString(statusText), QString::fromUtf8(c.text));
        }
        QTest::keyClick(profile.get(), Qt::Key_Escape);
        QCOMPARE(QString::fromStdString(statusText), QString("Ready"));
        QVERIFY(!profile->CurrentMeasurement());
    }

    void surveySectionIsDrawnInClassColoursInsideThePlotOnly()
    {
        const std::string survey = test::WriteSurvey(*folder, "survey.las", 60000, 1, 5);
        QVERIFY(Load({survey}));
        const CLasFileSet& set = *view->FileSet();
        const float half = (set.bounds.maximum.x - set.bounds.minimum.x) / 4.0f;
        auto profile = Profile({{-half, 0, 0}, {half, 0, 0}});
        QVERIFY(!profile->Section().points[0].empty());
        std::set<QRgb> classColours;
        for (const ProfilePoint& p : profile->Section().points[0])
        {
            const Color c = ClassColor(p.classification);
            classColours.insert(qRgb(int(c[0] * 255), int(c[1] * 255), int(c[2] * 255)));
        }
        // Ground, lines and labels of the plot itself are not what is looked for.
        classColours.erase(qRgb(0, 0, 0));
        QVERIFY(!classColours.empty());
        const QImage picture = profile->Render();
        const PlotRect plot = profile->Plot();
        int inside = 0;
        for (int y = 0; y < picture.height(); ++y)
        {
            for (int x = 0; x < picture.width(); ++x)
            {
                if (classColours.count(picture.pixel(x, y) | 0xff000000u) == 0)
                {
                    continue;
                }
                // A point's disc reaches 3 pixels beyond its centre, which lies inside.
                const bool inPlot = x >= plot.left - 3 && x <= plot.right + 3 &&
                                    y >= plot.top - 3 && y <= plot.bottom + 3;
                QVERIFY2(inPlot, qPrintable(QString("class colour at %1, %2").arg(x).arg(y)));
                ++inside;
            }
        }
        QVERIFY(inside > 1000);
    }
};

} // namespace telvora

int main(int argc, char* argv[])
{
    telvora::SetDefaultViewFormat();
    QApplication app(argc, argv);
    telvora::CrossViewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "CrossViewTest.moc"

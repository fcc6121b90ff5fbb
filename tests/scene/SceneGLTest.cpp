#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "LasImage.h"
#include "Recorders.h"
#include "SceneGLSupport.h"
#include "Surveys.h"
#include "TestData.h"
#include "TestFiles.h"
#include "common/CommandIds.h"
#include "scene/ColorModes.h"
#include "scene/LasFileSet.h"
#include "scene/Palettes.h"
#include "scene/Preprocess.h"
#include "telvora-lasgen/SurveyGenerator.h"

namespace telvora
{
namespace
{

using RecordColors = std::map<std::int32_t, std::array<float, 3>>;

// What the buffers of a tree hold, by record index.
struct BufferContents
{
    std::map<std::int32_t, std::array<float, 3>> positions;
    RecordColors colors;
};

BufferContents ReadTree(const CPointTree& tree)
{
    BufferContents contents;
    tree.ForEachNode(
        [&](const CPointNode& node)
        {
            if (node.buffer == nullptr)
            {
                return;
            }
            const std::size_t n = node.count;
            const std::vector<float> data = test::ReadBuffer(node.buffer->name, 6 * n);
            for (std::size_t k = 0; k < n; ++k)
            {
                contents.positions[node.indices[k]] = {data[3 * k], data[3 * k + 1],
                                                       data[3 * k + 2]};
                contents.colors[node.indices[k]] = {data[3 * n + 3 * k], data[3 * n + 3 * k + 1],
                                                    data[3 * n + 3 * k + 2]};
            }
        });
    return contents;
}

// The greys of the grey-scale modes for every record of a file, worked out from their rules with
// plain loops over the records rather than with the colouring code.
class GreyOracle
{
public:
    explicit GreyOracle(CLasFile& file)
        : records(PointCount(*file.header))
        , intensities(file.ReadIntensities(nullptr))
        , degrees(file.ReadScanAngles(nullptr))
    {
        std::map<int, std::uint64_t> perIntensity;
        for (std::size_t j = 0; j < records; ++j)
        {
            intensityMin = std::min<int>(intensityMin, intensities[j]);
            intensityMax = std::max<int>(intensityMax, intensities[j]);
            angleMin = std::min<double>(angleMin, std::fabs(degrees[j]));
            angleMax = std::max<double>(angleMax, std::fabs(degrees[j]));
            ++perIntensity[intensities[j]];
        }
        // The rule sums count / N in float, which drifts from the exact share; a grey as close
        // as that sum, or closer, passes. The drift here is a few millionths, far below the
        // share of one record (1 / N), so a grey counting records below v instead of up to it
        // still fails.
        std::uint64_t atMost = 0;
        float runningSum = 0.0f;
        double drift = 0.0;
        for (const auto& [value, count] : perIntensity)
        {
            atMost += count;
            shares[value] = static_cast<double>(atMost) / static_cast<double>(records);
            runningSum += static_cast<float>(count) / static_cast<float>(records);
            drift = std::max(drift, std::abs(static_cast<double>(runningSum) - shares[value]));
        }
        shareTolerance = drift + std::ldexp(1.0, -24);
    }

    // (v - min) / (max - min) over the file. The operands are whole numbers below 2^16, exact in
    // float, and a double quotient rounded to float is the correctly rounded float quotient: the
    // grey is exact.
    float Intensity(std::size_t j) const
    {
        return Spread(intensities[j], intensityMin, intensityMax);
    }
    // Angles in whole degrees (formats 0 to 5) give exact greys as above; those in 0.006-degree
    // steps (6 to 10) are worked out in double here, so the grey may differ in its last bits.
    double ScanAngle(std::size_t j) const
    {
        return (std::fabs(static_cast<double>(degrees[j])) - angleMin) / (angleMax - angleMin);
    }
    // The share of the file's records whose intensity is at most that of record j.
    double Share(std::size_t j) const { return shares.at(intensities[j]); }
    bool HasRanges() const { return intensityMin < intensityMax && angleMin < angleMax; }

    double shareTolerance = 0.0;

private:
    static float Spread(int v, int min, int max)
    {
        return static_cast<float>(static_cast<double>(v - min) / static_cast<double>(max - min));
    }

    std::size_t records;
    std::unique_ptr<std::uint16_t[]> intensities;
    std::unique_ptr<float[]> degrees;
    int intensityMin = 65535;
    int intensityMax = 0;
    double angleMin = 127;
    double angleMax = 0;
    std::map<int, double> shares;
};

Color Grey(float g)
{
    return {g, g, g};
}

// A set of generated surveys, preprocessed, with its trees; released like the view does.
class LoadedScene
{
public:
    LoadedScene(const std::vector<std::string>& paths, std::uint64_t forcedTotal = 0)
        : set(static_cast<std::int32_t>(paths.size()))
        , trees(paths.size(), nullptr)
    {
        for (std::size_t i = 0; i < paths.size(); ++i)
        {
            set.OpenFile(static_cast<std::int32_t>(i), paths[i].c_str());
        }
        if (forcedTotal != 0)
        {
            set.totalPoints = forcedTotal;
        }
        PreprocessOptions options;
        options.shuffleSeed = 99;
        options.homeView = [this](const CBoundingBox& bounds)
        {
            homeBounds = bounds;
            ++homeCalls;
        };
        mode = Preprocess(set, trees.data(), status, &notifier, ID_VIEW_HEIGHT, options).colorMode;
    }
    ~LoadedScene()
    {
        for (CPointTree* tree : trees)
        {
            delete tree;
        }
    }

    CLasFileSet set;
    std::vector<CPointTree*> trees;
    test::RecordingStatus status;
    test::RecordingNotifier notifier;
    int mode = 0;
    CBoundingBox homeBounds;
    int homeCalls = 0;
};

class SceneGL : public testing::Test
{
protected:
    std::string Survey(const std::string& name, std::uint32_t points, std::uint8_t format,
                       std::uint64_t seed, double originX = 500000.0)
    {
        return test::WriteSurvey(folder, name, points, format, seed, originX);
    }

    test::TempDir folder;
};

TEST_F(SceneGL, PreprocessStoresEveryRecordAtItsScenePosition)
{
    const std::string a = Survey("a.las", 30000, 1, 1);
    const std::string b = Survey("b.las", 20000, 3, 2, 500150.0);
    LoadedScene scene({a, b});

    EXPECT_EQ(scene.mode, ID_VIEW_INTENSITY);
    EXPECT_EQ(scene.homeCalls, 1);
    EXPECT_EQ(scene.homeBounds.minimum, scene.set.bounds.minimum);
    const LasHeader& ha = *scene.set.files[0].header;
    const LasHeader& hb = *scene.set.files[1].header;
    EXPECT_EQ(scene.set.sceneOffset.x,
              (std::min(ha.minX, hb.minX) + std::max(ha.maxX, hb.maxX)) / 2);
    EXPECT_EQ(scene.set.sceneOffset.y,
              (std::min(ha.minY, hb.minY) + std::max(ha.maxY, hb.maxY)) / 2);
    EXPECT_EQ(scene.set.sceneOffset.z, 0.0);
    ASSERT_GE(scene.status.texts.size(), 3u);
    EXPECT_EQ(scene.status.texts[0], "PreProcessing a.las file (1 of 2)");
    EXPECT_EQ(scene.status.texts[1], "PreProcessing b.las file (2 of 2)");
    EXPECT_EQ(scene.status.texts[2], "Generating colors depending on intensity");
    EXPECT_EQ(scene.status.position, 0);
    EXPECT_TRUE(scene.notifier.shown.empty());

    for (int i = 0; i < 2; ++i)
    {
        CLasFile& file = scene.set.files[i];
        auto expected = file.ReadPositions(nullptr, nullptr, scene.set.sceneOffset);
        const BufferContents contents = ReadTree(*scene.trees[i]);
        ASSERT_EQ(contents.positions.size(), PointCount(*file.header));
        for (const auto& [j, p] : contents.positions)
        {
            const std::size_t at = 3 * static_cast<std::size_t>(j);
            ASSERT_EQ(p[0], expected[at]);
            ASSERT_EQ(p[1], expected[at + 1]);
            ASSERT_EQ(p[2], expected[at + 2]);
        }
        // Colours by intensity over the file's own range.
        const GreyOracle oracle(file);
        ASSERT_TRUE(oracle.HasRanges());
        for (const auto& [j, c] : contents.colors)
        {
            ASSERT_EQ(c, Grey(oracle.Intensity(j))) << "record " << j;
        }
    }
}

// Classes are counted over every record, flags set or not.
TEST_F(SceneGL, ClassesAreCountedOverTheFileWhateverTheirFlags)
{
    const std::string path = folder.File("classes.las");
    test::LasImage image = test::LasImage::Make(1, 6);
    // Class 2, class 2 with the synthetic bit, class 5 three times (one withheld), class 7.
    const std::uint8_t bytes[] = {2, 0x22, 5, 5, 0x85, 7};
    for (std::size_t j = 0; j < 6; ++j)
    {
        image.records[j][15] = bytes[j];
    }
    image.header.maxX = image.header.maxY = 0.1;
    image.header.minZ = -0.06;
    image.Layout(0);
    image.Save(path);
    LoadedScene scene({path});
    ASSERT_TRUE(scene.notifier.shown.empty());
    const CPointTree& tree = *scene.trees[0];
    EXPECT_EQ(tree.classCounts[2], 2u);
    EXPECT_EQ(tree.classCounts[5], 3u);
    EXPECT_EQ(tree.classCounts[7], 1u);
    EXPECT_EQ(tree.classCounts[0x22], 0u);
}

TEST_F(SceneGL, AboveTenMillionPointsOnlyEveryThirdRecordIsStored)
{
    EXPECT_EQ(PointStep(10000000), 1);
    EXPECT_EQ(PointStep(10000001), 3);
    const std::string a = Survey("a.las", 3000, 0, 3);
    LoadedScene scene({a}, 10000001);
    const BufferContents contents = ReadTree(*scene.trees[0]);
    EXPECT_EQ(contents.positions.size(), 1000u);
    for (const auto& entry : contents.positions)
    {
        ASSERT_EQ(entry.first % 3, 0);
    }
}

TEST_F(SceneGL, SmallFileAdvancesTheInsertionProgressOnce)
{
    const std::string a = Survey("a.las", 250, 0, 4);
    // What the reader alone reports for this file.
    CLasFile file;
    file.SetPath(a.c_str());
    file.ReadHeader();
    test::RecordingStatus reader;
    reader.upper = 200;
    (void)file.ReadPositions(&reader);

    // 250 / 100 / 3 is 0: insertion moves the bar once, at record 0. Preprocessing starts with a
    // reset to 0 and the colouring starts with one.
    LoadedScene scene({a}, 10000001);
    const std::vector<int>& positions = scene.status.positions;
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(positions[0], 0);
    const std::size_t r = reader.positions.size();
    ASSERT_GT(positions.size(), r + 2);
    EXPECT_TRUE(
        std::equal(reader.positions.begin(), reader.positions.end(), positions.begin() + 1));
    EXPECT_EQ(positions[r + 1], reader.position + 1);
    EXPECT_EQ(positions[r + 2], 0);
}

// A file that vanished or was cut after it was opened: the work stops with exactly one message
// that names the file, whichever reader met the failure first.
TEST_F(SceneGL, FileThatChangedAfterOpeningStopsTheWorkWithOneMessageNamingIt)
{
    struct Case
    {
        const char* label;
        std::uintmax_t cutTo; // 0: the file is removed
        const char* text;
        const char* detail;
    };
    // b.las: 5,000 records of 28 bytes behind a 227-byte header; cut to 227 + 100 * 28 + 5.
    const Case cases[] = {
        {"removed", 0, "ReadError::File could not be open.", "b.las: no such file or folder"},
        {"cut", 227 + 100 * 28 + 5, "Can't Read LasPoint0",
         "b.las ends inside its point records: 100 of 5000 are complete"},
    };
    for (const Case& c : cases)
    {
        const std::string a = Survey("a.las", 5000, 1, 5);
        const std::string b = Survey("b.las", 5000, 1, 6, 500100.0);
        CLasFileSet set(2);
        set.OpenFile(0, a.c_str());
        set.OpenFile(1, b.c_str());
        if (c.cutTo == 0)
        {
            std::filesystem::remove(b);
        }
        else
        {
            std::filesystem::resize_file(b, c.cutTo);
        }
        std::vector<CPointTree*> trees(2, nullptr);
        test::RecordingStatus status;
        test::RecordingNotifier notifier;
        int homeCalls = 0;
        PreprocessOptions options;
        options.homeView = [&homeCalls](const CBoundingBox&) { ++homeCalls; };
        const PreprocessResult result =
            Preprocess(set, trees.data(), status, &notifier, ID_VIEW_HEIGHT, options);
        EXPECT_FALSE(result.complete) << c.label;
        EXPECT_EQ(homeCalls, 0) << c.label;
        ASSERT_EQ(notifier.shown.size(), 1u) << c.label;
        EXPECT_EQ(notifier.shown[0].text, c.text) << c.label;
        EXPECT_EQ(notifier.shown[0].detail, c.detail) << c.label;
        for (CPointTree* tree : trees)
        {
            delete tree;
        }
    }
}

TEST_F(SceneGL, EveryModeWritesItsColoursIntoTheBuffers)
{
    const std::string a = Survey("a.las", 20000, 3, 7);
    const std::string b = Survey("b.las", 10000, 2, 8, 500200.0);
    // LAS 1.4: 4-bit return numbers, classification in byte 16, scan angles in 0.006-degree steps.
    const std::string c8 = Survey("c.las", 10000, 8, 9, 500400.0);
    LoadedScene scene({a, b, c8});
    for (int mode = ID_VIEW_INTENSITY; mode <= ID_VIEW_COLOR; ++mode)
    {
        test::RecordingStatus status;
        EXPECT_EQ(ColorScene(mode, scene.set, scene.trees.data(), status, &scene.notifier,
                             ID_VIEW_INTENSITY),
                  mode);
        ASSERT_EQ(status.texts.size(), 1u);
        EXPECT_EQ(status.texts[0], ColorModeStatusText(mode));
        EXPECT_EQ(status.upper, (mode == ID_VIEW_COLOR ? 100 : 200) * 3);
        for (int i = 0; i < 3; ++i)
        {
            CLasFile& file = scene.set.files[i];
            const RecordColors colors = ReadTree(*scene.trees[i]).colors;
            auto classes = file.ReadClassifications(nullptr);
            auto returns = file.ReadReturnNumbers(nullptr);
            auto world = file.ReadPositions(nullptr);
            auto rgb = file.ReadColors(nullptr);
            const GreyOracle oracle(file);
            // The generated surveys spread their intensities and angles; a file without a range
            // would leave the grey to the implementation.
            ASSERT_TRUE(oracle.HasRanges());
            for (const auto& [j, c] : colors)
            {
                const std::size_t at = 3 * static_cast<std::size_t>(j);
                Color expected{};
                switch (mode)
                {
                case ID_VIEW_INTENSITY:
                    expected = Grey(oracle.Intensity(j));
                    break;
                case ID_VIEW_HISTOGRAM:
                    // Summed in float: near the exact share, and a grey.
                    ASSERT_NEAR(c[0], oracle.Share(j), oracle.shareTolerance)
                        << "file " << i << " record " << j;
                    expected = Grey(c[0]);
                    break;
                case ID_VIEW_SCANANGLERANK:
                    ASSERT_NEAR(c[0], oracle.ScanAngle(j), 1e-6) << "file " << i << " record " << j;
                    expected = Grey(c[0]);
                    break;
                case ID_VIEW_CLASSIFICATION:
                    expected = ClassColor(classes[j]);
                    break;
                case ID_VIEW_RETURNNUMBER:
                    expected = ClassColor(returns[j]);
                    break;
                case ID_VIEW_HEIGHT:
                    expected = HeightColor(world[at + 2]);
                    break;
                case ID_VIEW_FILES:
                    expected = ClassColor(static_cast<std::uint8_t>(i));
                    break;
                case ID_VIEW_COLOR:
                    expected = {rgb[at], rgb[at + 1], rgb[at + 2]};
                    break;
                default:
                    ADD_FAILURE() << "no expectation for mode " << mode;
                    return;
                }
                ASSERT_EQ(c, expected) << "mode " << mode << " file " << i << " record " << j;
            }
        }
    }
}

TEST_F(SceneGL, ReaderFailureStopsTheModeAndEarlierFilesKeepTheirNewColours)
{
    std::vector<std::string> paths;
    for (int i = 0; i < 4; ++i)
    {
        const std::string name = std::string("f") += static_cast<char>('0' + i);
        paths.push_back(Survey(name + ".las", 4000, 1, static_cast<std::uint64_t>(i) + 10,
                               500000.0 + 150.0 * i));
    }
    LoadedScene scene(paths);
    std::vector<RecordColors> before;
    for (CPointTree* tree : scene.trees)
    {
        before.push_back(ReadTree(*tree).colors);
    }
    std::filesystem::remove(paths[2]);
    test::RecordingStatus status;
    EXPECT_EQ(ColorScene(ID_VIEW_CLASSIFICATION, scene.set, scene.trees.data(), status,
                         &scene.notifier, ID_VIEW_INTENSITY),
              ID_VIEW_INTENSITY);
    // The reader says nothing when it cannot open the file; the user still learns which one.
    ASSERT_EQ(scene.notifier.shown.size(), 1u);
    EXPECT_EQ(scene.notifier.shown[0].text, "ReadError::File could not be open.");
    EXPECT_EQ(scene.notifier.shown[0].detail, "f2.las: no such file or folder");
    for (int i = 0; i < 4; ++i)
    {
        const RecordColors now = ReadTree(*scene.trees[i]).colors;
        if (i < 2)
        {
            EXPECT_NE(now, before[i]) << i;
        }
        else
        {
            EXPECT_EQ(now, before[i]) << i;
        }
    }
}

TEST_F(SceneGL, EightBitColourFilesAreScaledAndSixteenBitFilesAreNot)
{
    const std::filesystem::path data(TELVORA_TESTDATA_LAS);
    const std::string simple = (data / "simple.las").string();
    const std::string warsaw = (data / "warsaw_small.las").string();
    if (!std::filesystem::exists(simple) || !std::filesystem::exists(warsaw))
    {
        TELVORA_MISSING_TEST_INPUT("real LAS files not found in " + data.string());
    }
    LoadedScene scene({simple, warsaw});
    test::RecordingStatus status;
    ASSERT_EQ(ColorScene(ID_VIEW_COLOR, scene.set, scene.trees.data(), status, &scene.notifier,
                         ID_VIEW_INTENSITY),
              ID_VIEW_COLOR);
    for (int i = 0; i < 2; ++i)
    {
        auto rgb = scene.set.files[i].ReadColors(nullptr);
        const RecordColors colors = ReadTree(*scene.trees[i]).colors;
        ASSERT_FALSE(colors.empty());
        float brightest = 0.0f;
        for (const auto& [j, c] : colors)
        {
            const float scale = i == 0 ? 65535.0f / 255.0f : 1.0f;
            const std::size_t at = 3 * static_cast<std::size_t>(j);
            ASSERT_NEAR(c[0], rgb[at] * scale, 1e-5f);
            ASSERT_NEAR(c[2], rgb[at + 2] * scale, 1e-5f);
            brightest = std::max(brightest, c[0]);
        }
        // The 8-bit sample's brightest red is 249 of 255, not 249 of 65535.
        if (i == 0)
        {
            EXPECT_GT(brightest, 0.9f);
        }
    }
}

} // namespace
} // namespace telvora

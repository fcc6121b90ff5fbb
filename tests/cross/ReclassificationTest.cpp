// Reclassification, undo and redo against the files themselves: the section is laid out by hand,
// so no display is needed and the writes can run in child processes under limits.

#include "cross/Reclassification.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "FailureInjection.h"
#include "LasImage.h"
#include "Recorders.h"
#include "TestFiles.h"
#include "scene/LasFileSet.h"

namespace telvora
{
namespace
{

namespace fs = std::filesystem;
using test::ReadAll;

// Records 10, 200 and 299 of test::FormatOneFile, collected in a section of each entry.
const std::vector<std::uint32_t> kRecords = {10, 200, 299};

std::size_t ClassByte(std::uint32_t record)
{
    return 227 + std::size_t{record} * 28 + 15;
}

struct Scene
{
    explicit Scene(const std::vector<std::string>& paths)
        : set(static_cast<std::int32_t>(paths.size()))
    {
        for (std::size_t i = 0; i < paths.size(); ++i)
        {
            set.OpenFile(static_cast<std::int32_t>(i), paths[i].c_str());
            section.indices.push_back(kRecords);
            section.points.emplace_back(kRecords.size());
            chosen.push_back({0, 1, 2});
        }
    }

    bool Reclassify(std::uint8_t code)
    {
        history.Push(ApplyClass(set, section, chosen, code, &notifier));
        return notifier.shown.empty();
    }

    CLasFileSet set;
    ProfileSection section;
    std::vector<std::vector<std::uint32_t>> chosen;
    CReclassifyHistory history;
    test::RecordingNotifier notifier;
};

// One file loaded as two entries (a set not built through Open) is written twice; undo takes
// back the second entry's change first, so that the first one's "before" bytes, the file's own,
// are the last written.
TEST(Reclassification, UndoOfOneFileWrittenThroughTwoEntriesRestoresItByteForByte)
{
    test::TempDir dir;
    const std::string path = dir.File("twice.las");
    const std::vector<unsigned char> original = test::FormatOneFile();
    test::WriteAll(path, original);
    Scene scene({path, path});
    std::vector<unsigned char> ground = original;
    for (const std::uint32_t record : kRecords)
    {
        ground[ClassByte(record)] = 2;
    }

    ASSERT_TRUE(scene.Reclassify(2));
    EXPECT_EQ(ReadAll(path), ground);
    ASSERT_TRUE(scene.history.Undo(scene.set, scene.section, &scene.notifier));
    EXPECT_EQ(ReadAll(path), original);
    ASSERT_TRUE(scene.history.Redo(scene.set, scene.section, &scene.notifier));
    EXPECT_EQ(ReadAll(path), ground);
    ASSERT_TRUE(scene.history.Undo(scene.set, scene.section, &scene.notifier));
    EXPECT_EQ(ReadAll(path), original);
    EXPECT_TRUE(scene.notifier.shown.empty());
}

// Formats 6 to 10 keep the classification in byte 16 and their flags in byte 15, which stays.
TEST(Reclassification, FormatSixChangesByteSixteenAndUndoRestoresTheFile)
{
    test::TempDir dir;
    const std::string path = dir.File("six.las");
    test::LasImage image = test::LasImage::Make(6, 300);
    for (auto& record : image.records)
    {
        record[15] = 0x0F;
        record[16] = 1;
    }
    image.Layout(0);
    const std::vector<unsigned char> original = image.Bytes();
    test::WriteAll(path, original);
    Scene scene({path});
    std::vector<unsigned char> ground = original;
    for (const std::uint32_t record : kRecords)
    {
        ground[375 + std::size_t{record} * 30 + 16] = 2;
    }

    ASSERT_TRUE(scene.Reclassify(2));
    EXPECT_EQ(ReadAll(path), ground);
    ASSERT_TRUE(scene.history.Undo(scene.set, scene.section, &scene.notifier));
    EXPECT_EQ(ReadAll(path), original);
    EXPECT_TRUE(scene.notifier.shown.empty());
}

TEST(Reclassification, AFailedWriteNamesTheFileSaysWhyAndChangesNothing)
{
    enum class Step
    {
        Reclassify,
        Undo,
        Redo
    };
    enum class Failure
    {
        // Below record 10's classification byte: the first byte written is refused.
        FileSizeLimit,
        Deleted,
        // By a file of the same size whose points start 1,008 bytes later.
        Replaced
    };
    const std::string tooLarge = "the file is too large (a file-size limit was reached); 0 of 3 "
                                 "records were changed";
    const std::string gone = "no such file or folder";
    const std::string changed = "the file was changed by another program since it was opened";
    struct Case
    {
        Step step;
        Failure failure;
        const char* text;
        const std::string& reason;
    };
    const char* const pointError = "WriteError::LAS Point";
    const char* const openError = "WriteError::File could not be open.";
    const Case cases[] = {
        {Step::Reclassify, Failure::FileSizeLimit, pointError, tooLarge},
        {Step::Reclassify, Failure::Deleted, openError, gone},
        {Step::Reclassify, Failure::Replaced, openError, changed},
        {Step::Undo, Failure::FileSizeLimit, pointError, tooLarge},
        {Step::Undo, Failure::Deleted, openError, gone},
        {Step::Undo, Failure::Replaced, openError, changed},
        {Step::Redo, Failure::FileSizeLimit, pointError, tooLarge},
        {Step::Redo, Failure::Deleted, openError, gone},
        {Step::Redo, Failure::Replaced, openError, changed},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE("step " + std::to_string(static_cast<int>(c.step)) + ", failure " +
                     std::to_string(static_cast<int>(c.failure)));
        test::TempDir dir;
        const std::string path = dir.File("survey.las");
        test::WriteAll(path, test::FormatOneFile());
        test::WriteAll(dir.File("neighbour.las"), test::FormatOneFileWithPointsLater());
        Scene scene({path});
        // The program's own writes before the step must not count as another program's.
        if (c.step != Step::Reclassify)
        {
            ASSERT_TRUE(scene.Reclassify(2));
        }
        if (c.step == Step::Redo)
        {
            ASSERT_TRUE(scene.history.Undo(scene.set, scene.section, &scene.notifier));
        }
        test::WriteLimits limits;
        switch (c.failure)
        {
        case Failure::FileSizeLimit:
            limits.fileSizeBytes = static_cast<std::int64_t>(ClassByte(10));
            break;
        case Failure::Deleted:
            fs::remove(path);
            break;
        case Failure::Replaced:
            test::ReplaceFile(path, test::FormatOneFileWithPointsLater());
            break;
        }
        const auto before = test::FilesUnder(dir.Path());

        const test::ChildOutcome outcome = test::RunWithLimits(
            limits,
            [&]
            {
                bool done = false;
                switch (c.step)
                {
                case Step::Reclassify:
                    done = scene.Reclassify(6);
                    break;
                case Step::Undo:
                    done = scene.history.Undo(scene.set, scene.section, &scene.notifier);
                    break;
                case Step::Redo:
                    done = scene.history.Redo(scene.set, scene.section, &scene.notifier);
                    break;
                }
                if (done || scene.notifier.shown.size() != 1)
                {
                    throw test::ReportedMessage("not one reported failure", "");
                }
                throw test::ReportedMessage(scene.notifier.shown[0].text,
                                            scene.notifier.shown[0].detail);
            });
        EXPECT_TRUE(outcome.threw);
        EXPECT_EQ(outcome.text, c.text);
        EXPECT_EQ(outcome.detail, path + ": " + c.reason);
        EXPECT_EQ(test::FilesUnder(dir.Path()), before);
    }
}

} // namespace
} // namespace telvora

#include "common/PathHelpers.h"

#include <gtest/gtest.h>

namespace telvora
{
namespace
{

TEST(FileNameOf, TakesThePartAfterTheLastSlashOrBackslash)
{
    EXPECT_EQ(FileNameOf("/data/survey/a.las"), "a.las");
    EXPECT_EQ(FileNameOf("C:\\data\\b.las"), "b.las");
    EXPECT_EQ(FileNameOf("mixed/dir\\c.las"), "c.las");
    EXPECT_EQ(FileNameOf("plain.las"), "plain.las");
    EXPECT_EQ(FileNameOf("folder/"), "");
}

TEST(FolderOf, TakesThePartBeforeTheLastSeparator)
{
    EXPECT_EQ(FolderOf("/data/survey/a.las"), "/data/survey");
    EXPECT_EQ(FolderOf("/a.las"), "/");
    EXPECT_EQ(FolderOf("a.las"), ".");
    EXPECT_EQ(FolderOf("C:\\data\\b.las"), "C:\\data");
}

} // namespace
} // namespace telvora

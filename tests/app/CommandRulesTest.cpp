#include "app/CommandRules.h"

#include <gtest/gtest.h>

#include "app/Placement.h"

namespace telvora
{
namespace
{

UiState WithSet(int files, int visible, bool allColour)
{
    UiState state;
    state.capable = true;
    state.hasSet = true;
    state.fileCount = files;
    state.visibleCount = visible;
    state.allFilesHaveColor = allColour;
    return state;
}

TEST(CommandRules, WithoutASceneOnlyOpenAndTheAlwaysOnCommandsAreEnabled)
{
    UiState state;
    state.capable = true;
    for (int id :
         {ID_FILE_OPEN, ID_COMPRESSION_OPEN, ID_APP_OPTIONS, ID_APP_EXIT, ID_APP_ABOUT,
          ID_VIEW_STATUS_BAR, ID_VIEW_CLASSES, ID_STATUSBAR_PANE_LOD, ID_STATUSBAR_PANE_POINTS,
          ID_VIEW_APPLOOK_OFF_2007_BLUE, ID_VIEW_APPLOOK_WINDOWS_7})
    {
        EXPECT_TRUE(IsCommandEnabled(id, state)) << id;
    }
    for (int id = ID_VIEW_INTENSITY; id <= ID_VIEW_COLOR; ++id)
    {
        EXPECT_FALSE(IsCommandEnabled(id, state)) << id;
    }
    for (int id : {ID_FILE_CLOSE, ID_FILE_SAVE, ID_FILE_SAVE_AS, ID_FILE_PRINT, ID_FILE_NEW,
                   ID_FILE_PRINT_DIRECT, ID_VIEW_FILE, ID_TOOLS_CROSSSECTION, ID_TOOLS_MEASURE})
    {
        EXPECT_FALSE(IsCommandEnabled(id, state)) << id;
    }
}

TEST(CommandRules, AListedArchiveCanOnlyBeClosedUntilAnEntryIsLoaded)
{
    UiState state;
    state.capable = true;
    state.archiveListed = true;
    EXPECT_TRUE(IsCommandEnabled(ID_FILE_CLOSE, state));
    for (int id : {ID_FILE_SAVE, ID_FILE_SAVE_AS, ID_VIEW_FILE, ID_VIEW_INTENSITY, ID_VIEW_COLOR})
    {
        EXPECT_FALSE(IsCommandEnabled(id, state)) << id;
    }
}

TEST(CommandRules, OpenCommandsFollowTheCapableFlag)
{
    UiState state;
    state.capable = false;
    EXPECT_FALSE(IsCommandEnabled(ID_FILE_OPEN, state));
    EXPECT_FALSE(IsCommandEnabled(ID_COMPRESSION_OPEN, state));
}

TEST(CommandRules, SaveAsNeedsExactlyOneVisibleFile)
{
    EXPECT_FALSE(IsCommandEnabled(ID_FILE_SAVE_AS, WithSet(2, 2, false)));
    EXPECT_TRUE(IsCommandEnabled(ID_FILE_SAVE_AS, WithSet(2, 1, false)));
    EXPECT_FALSE(IsCommandEnabled(ID_FILE_SAVE_AS, WithSet(2, 0, false)));
    EXPECT_TRUE(IsCommandEnabled(ID_FILE_SAVE, WithSet(2, 0, false)));
    EXPECT_FALSE(IsCommandEnabled(ID_FILE_SAVE, WithSet(0, 0, false)));
    EXPECT_TRUE(IsCommandEnabled(ID_FILE_CLOSE, WithSet(0, 0, false)));
}

TEST(CommandRules, ColorModeNeedsColourInEveryFileOtherModesOnlyASet)
{
    for (int id = ID_VIEW_INTENSITY; id < ID_VIEW_COLOR; ++id)
    {
        EXPECT_TRUE(IsCommandEnabled(id, WithSet(3, 3, false))) << id;
    }
    EXPECT_FALSE(IsCommandEnabled(ID_VIEW_COLOR, WithSet(3, 3, false)));
    EXPECT_TRUE(IsCommandEnabled(ID_VIEW_COLOR, WithSet(3, 3, true)));
}

TEST(CommandRules, LoadedFileItemsExistOnlyForFilesOfTheSet)
{
    const UiState state = WithSet(2, 2, false);
    EXPECT_TRUE(IsCommandEnabled(ID_VIEW_FILE_FIRST + 1, state));
    EXPECT_FALSE(IsCommandEnabled(ID_VIEW_FILE_FIRST + 2, state));
}

TEST(CommandRules, CrossSectionNeedsALineAndNoOpenWindow)
{
    UiState state;
    EXPECT_FALSE(IsCommandEnabled(ID_TOOLS_CROSSSECTION, state));
    state.hasSectionLine = true;
    EXPECT_TRUE(IsCommandEnabled(ID_TOOLS_CROSSSECTION, state));
    state.crossSectionOpen = true;
    EXPECT_FALSE(IsCommandEnabled(ID_TOOLS_CROSSSECTION, state));
}

TEST(CommandRules, MeasureNeedsASetAndIsCheckedWhileArmed)
{
    UiState state = WithSet(1, 0, false);
    EXPECT_TRUE(IsCommandEnabled(ID_TOOLS_MEASURE, state));
    EXPECT_FALSE(IsCommandChecked(ID_TOOLS_MEASURE, state));
    state.measuring = true;
    EXPECT_TRUE(IsCommandChecked(ID_TOOLS_MEASURE, state));
}

TEST(CommandRules, ChecksFollowModeLookEntryLodAndStatusBar)
{
    UiState state;
    state.colorMode = ID_VIEW_HEIGHT;
    state.look = ID_VIEW_APPLOOK_OFF_2007_AQUA;
    state.currentArchiveEntry = ID_COMPRESSION_ENTRY_FIRST + 4;
    state.lodEnabled = false;
    state.statusBarVisible = true;
    for (int id = ID_VIEW_INTENSITY; id <= ID_VIEW_COLOR; ++id)
    {
        EXPECT_EQ(IsCommandChecked(id, state), id == ID_VIEW_HEIGHT) << id;
    }
    for (int id = ID_VIEW_APPLOOK_OFF_2007_BLUE; id <= ID_VIEW_APPLOOK_WINDOWS_7; ++id)
    {
        EXPECT_EQ(IsCommandChecked(id, state), id == ID_VIEW_APPLOOK_OFF_2007_AQUA) << id;
    }
    EXPECT_TRUE(IsCommandChecked(ID_COMPRESSION_ENTRY_FIRST + 4, state));
    EXPECT_FALSE(IsCommandChecked(ID_COMPRESSION_ENTRY_FIRST + 3, state));
    EXPECT_FALSE(IsCommandChecked(ID_STATUSBAR_PANE_LOD, state));
    EXPECT_TRUE(IsCommandChecked(ID_VIEW_STATUS_BAR, state));
    EXPECT_FALSE(IsCommandChecked(ID_VIEW_CLASSES, state));
    state.classesPaneVisible = true;
    EXPECT_TRUE(IsCommandChecked(ID_VIEW_CLASSES, state));
    EXPECT_FALSE(IsCommandCheckable(ID_FILE_OPEN));
}

TEST(Placement, FormatsTenNumbersEachFollowedByASemicolon)
{
    WindowPlacement p;
    p.showCmd = kShowMaximized;
    p.left = 100;
    p.top = 100;
    p.right = 900;
    p.bottom = 700;
    EXPECT_EQ(FormatPlacement(p), "0;3;-1;-1;-1;-1;100;100;900;700;");
    const auto back = ParsePlacement(FormatPlacement(p));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->showCmd, kShowMaximized);
    EXPECT_EQ(back->left, 100);
    EXPECT_EQ(back->bottom, 700);
}

TEST(Placement, ShortGarbledOrEmptyValuesAreNotRestored)
{
    for (const char* text :
         {"", "0;1;-1;-1;", "0;1;-1;-1;-1;-1;100;100;900;700", "0;1;-1;-1;-1;-1;100;100;abc;700;",
          "0;1;-1;-1;-1;-1;100;100;100;700;", "0;1;-1;-1;-1;-1;100;100;900;99999999999;"})
    {
        EXPECT_FALSE(ParsePlacement(text).has_value()) << text;
    }
}

} // namespace
} // namespace telvora

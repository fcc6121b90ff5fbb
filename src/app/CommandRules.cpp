#include "app/CommandRules.h"

namespace telvora
{
namespace
{

bool IsColorMode(int id)
{
    return id >= ID_VIEW_INTENSITY && id <= ID_VIEW_COLOR;
}

bool IsLook(int id)
{
    return id >= ID_VIEW_APPLOOK_OFF_2007_BLUE && id <= ID_VIEW_APPLOOK_WINDOWS_7;
}

bool IsArchiveEntry(int id)
{
    return id >= ID_COMPRESSION_ENTRY_FIRST && id <= ID_COMPRESSION_ENTRY_LAST;
}

} // namespace

bool IsCommandEnabled(int id, const UiState& state)
{
    if (IsColorMode(id))
    {
        if (!state.hasSet)
        {
            return false;
        }
        return id != ID_VIEW_COLOR || state.allFilesHaveColor;
    }
    if (id >= ID_VIEW_FILE_FIRST && id <= ID_VIEW_FILE_LAST)
    {
        return state.hasSet && id - ID_VIEW_FILE_FIRST < state.fileCount;
    }
    switch (id)
    {
    case ID_FILE_OPEN:
    case ID_COMPRESSION_OPEN:
        return state.capable;
    case ID_FILE_CLOSE:
        return state.hasSet || state.archiveListed;
    case ID_VIEW_FILE:
    case ID_VIEW_FILE_ALL:
    case ID_VIEW_FILE_NONE:
    case ID_TOOLS_MEASURE:
        return state.hasSet;
    case ID_FILE_SAVE:
        return state.hasSet && state.fileCount >= 1;
    case ID_FILE_SAVE_AS:
        return state.hasSet && state.visibleCount == 1;
    case ID_TOOLS_CROSSSECTION:
        return state.hasSectionLine && !state.crossSectionOpen;
    case ID_FILE_NEW:
    case ID_FILE_PRINT:
    case ID_FILE_PRINT_DIRECT:
        return false;
    default:
        return true;
    }
}

bool IsCommandChecked(int id, const UiState& state)
{
    if (IsColorMode(id))
    {
        return id == state.colorMode;
    }
    if (IsLook(id))
    {
        return id == state.look;
    }
    if (IsArchiveEntry(id))
    {
        return id == state.currentArchiveEntry;
    }
    if (id >= ID_VIEW_FILE_FIRST && id <= ID_VIEW_FILE_LAST)
    {
        const int file = id - ID_VIEW_FILE_FIRST;
        return state.hasSet && file < state.fileCount && file < 64 &&
               ((state.visibleFiles >> file) & 1u) != 0;
    }
    switch (id)
    {
    case ID_VIEW_STATUS_BAR:
        return state.statusBarVisible;
    case ID_VIEW_CLASSES:
        return state.classesPaneVisible;
    case ID_STATUSBAR_PANE_LOD:
        return state.lodEnabled;
    case ID_TOOLS_MEASURE:
        return state.measuring;
    default:
        return false;
    }
}

bool IsCommandCheckable(int id)
{
    return IsColorMode(id) || IsLook(id) || IsArchiveEntry(id) ||
           (id >= ID_VIEW_FILE_FIRST && id <= ID_VIEW_FILE_LAST) || id == ID_VIEW_STATUS_BAR ||
           id == ID_VIEW_CLASSES || id == ID_STATUSBAR_PANE_LOD || id == ID_TOOLS_MEASURE;
}

} // namespace telvora

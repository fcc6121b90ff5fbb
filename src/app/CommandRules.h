#pragma once

#include <cstdint>

#include "common/CommandIds.h"

namespace telvora
{

// Everything the enable and check rules of the commands look at, gathered from the frame and
// the view each time the commands are updated.
struct UiState
{
    bool capable = false;
    // A set of loaded files (an archive that is only listed has none yet).
    bool hasSet = false;
    // An archive is open and its entries listed, none loaded.
    bool archiveListed = false;
    int fileCount = 0;
    int visibleCount = 0;
    // Bit i is set while file i is visible (a set holds at most 50 files).
    std::uint64_t visibleFiles = 0;
    // Every file of the set carries colour (point formats 2 and 3).
    bool allFilesHaveColor = false;
    bool hasSectionLine = false;
    bool crossSectionOpen = false;
    // The next picks are the ends of a measurement.
    bool measuring = false;
    int colorMode = ID_VIEW_INTENSITY;
    int currentArchiveEntry = 0;
    bool lodEnabled = true;
    bool statusBarVisible = true;
    bool classesPaneVisible = false;
    int look = ID_VIEW_APPLOOK_WINDOWS_7;
};

// Whether a command may be chosen in the given state. Commands without a rule are enabled;
// whether a command has a handler at all is the command table's business.
bool IsCommandEnabled(int id, const UiState& state);

// Whether a command shows as checked. Commands that are never checked return false.
bool IsCommandChecked(int id, const UiState& state);

// Whether the command shows a check mark (or check box) at all.
bool IsCommandCheckable(int id);

} // namespace telvora

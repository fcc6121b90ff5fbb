#pragma once

#include <string>
#include <vector>

namespace telvora
{

// What an Open tells the user about files it did not load. Plain strings, no widgets, so that the
// wording is tested on its own.
struct OpenMessage
{
    std::string text;
    std::string detail;
};

// A file the check refused: the program's fixed text and the "name: why" reason.
struct RefusedFile
{
    std::string text;
    std::string reason;
};

// A chosen file that is another name (or the same name) of a file chosen before it.
struct SameFile
{
    std::string name;
    std::string firstName;
};

// One message for every refused file: the distinct fixed texts, one per line in the order they
// first occur, and every reason, one per line.
OpenMessage RefusalMessage(const std::vector<RefusedFile>& refused);

// The files that were not loaded a second time, each beside the name it is loaded under.
OpenMessage SameFileMessage(const std::vector<SameFile>& repeated);

// The files beyond the limit of one Open, by name.
OpenMessage LeftOutMessage(const std::vector<std::string>& leftOutNames, int limit);

} // namespace telvora

// telvora-las: the header, variable length records, point records and statistics of a LAS file,
// as the viewer reads them, for scripts and for checking files without opening the viewer.

#include <cstdint>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include <CLI/CLI.hpp>

#include "common/SystemErrors.h"
#include "common/TerminalText.h"
#include "telvora-las/LasReport.h"

namespace
{

using namespace telvora::lascli;

// Record numbers go through from_chars rather than the option parser, so that what is accepted
// does not depend on the locale and every bad value gets the same message.
bool ParseIndexOption(const std::string& option, const std::string& text,
                      std::optional<std::uint32_t>& value)
{
    value = ParseIndex(text);
    if (!value.has_value())
    {
        std::cerr << option << ": '" << telvora::TerminalText(text)
                  << "' is not a record number (a whole number from 0 to 4294967295)\n";
        return false;
    }
    return true;
}

int Run(int argc, char** argv)
{
    CLI::App app{"Shows what the viewer reads from a LAS file", "telvora-las"};
    app.require_subcommand(1);

    std::string path;
    bool json = false;
    bool stats = false;
    std::vector<std::string> indexTexts;
    std::string firstText;
    std::string countText;

    CLI::App* info = app.add_subcommand(
        "info", "Header fields, variable length records and whether the viewer opens the file");
    info->add_option("file", path, "LAS file")->required();
    info->add_flag("--json", json, "One JSON object instead of text");
    info->add_flag("--stats", stats,
                   "Also read every record and report what the records hold: bounds of the "
                   "scaled coordinates (as the viewer's float positions), returns, classes, "
                   "intensities and scan angles");

    CLI::App* points = app.add_subcommand(
        "points", "Point records; without --index, --first or --count the first 10");
    points->add_option("file", path, "LAS file")->required();
    points->add_option("--index", indexTexts, "Record to list (repeatable)")
        ->allow_extra_args(false);
    CLI::Option* first = points->add_option("--first", firstText, "First record of a range");
    CLI::Option* count =
        points->add_option("--count", countText,
                           "Number of records of the range, cut at the last record (default 10)");
    points->add_flag("--json", json, "A JSON array of objects instead of text");

    CLI11_PARSE(app, argc, argv);

    if (info->parsed())
    {
        // Progress only on a terminal: redirected error output stays free of carriage returns.
        PercentProgress progress(::isatty(STDERR_FILENO) != 0 ? &std::cerr : nullptr);
        return RunInfo(path, InfoOptions{json, stats}, std::cout, std::cerr, &progress);
    }

    PointSelection selection;
    for (const std::string& text : indexTexts)
    {
        std::optional<std::uint32_t> index;
        if (!ParseIndexOption("--index", text, index))
        {
            return kExitUsage;
        }
        selection.indices.push_back(*index);
    }
    if ((first->count() > 0 && !ParseIndexOption("--first", firstText, selection.first)) ||
        (count->count() > 0 && !ParseIndexOption("--count", countText, selection.count)))
    {
        return kExitUsage;
    }
    return RunPoints(path, selection, json, std::cout, std::cerr);
}

} // namespace

int main(int argc, char** argv)
{
    // It writes only to its output streams, but a redirected one may meet a file-size limit.
    telvora::IgnoreFileSizeLimitSignal();
    // Nothing may escape as an uncaught exception: a script must always get a message and a
    // non-zero status.
    try
    {
        return Run(argc, argv);
    }
    catch (const std::exception& error)
    {
        std::cerr << "telvora-las: " << error.what() << '\n';
    }
    catch (...)
    {
        std::cerr << "telvora-las: unexpected failure\n";
    }
    return kExitFailure;
}

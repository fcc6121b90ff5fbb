// telvora-lcmp: the LAS files of an LCMP archive, listed or extracted, for scripts and for
// checking archives without opening the viewer.

#include <atomic>
#include <csignal>
#include <exception>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include <CLI/CLI.hpp>

#include "telvora-lcmp/LcmpCommands.h"

namespace
{

using namespace telvora::lcmpcli;

int Run(int argc, char** argv)
{
    // Past a file-size limit a write fails with EFBIG instead of the signal ending the program
    // before the partial file can be removed and the reason told.
    std::signal(SIGXFSZ, SIG_IGN);

    CLI::App app{"Lists and extracts the LAS files of an LCMP archive", "telvora-lcmp"};
    app.require_subcommand(1);

    std::string archive;
    ExtractOptions options;

    CLI::App* list = app.add_subcommand("list", "Entry names, one per line, in directory order");
    list->add_option("archive", archive, "LCMP archive")->required();

    CLI::App* extract = app.add_subcommand("extract", "Rebuilds entries as LAS files in a folder");
    extract->add_option("archive", archive, "LCMP archive")->required();
    extract->add_option("names", options.names, "Entries to extract (default: all)");
    extract->add_option("--into", options.folder, "Existing folder for the LAS files")->required();
    extract->add_flag("--force", options.force, "Replace files that already exist");

    try
    {
        app.parse(argc, argv);
    }
    catch (const CLI::ParseError& error)
    {
        // --help is a parse "error" too; everything else is a usage error.
        return app.exit(error) == 0 ? kExitOk : kExitUsage;
    }

    if (list->parsed())
    {
        return RunList(archive, std::cout, std::cerr);
    }
    const std::atomic<bool>& interrupted = CatchInterrupts();
    // Progress only on a terminal: redirected error output stays free of carriage returns.
    std::ostream* progress = ::isatty(STDERR_FILENO) != 0 ? &std::cerr : nullptr;
    return RunExtract(archive, options, std::cerr, progress, &interrupted);
}

} // namespace

int main(int argc, char** argv)
{
    // Nothing may escape as an uncaught exception: a script must always get a message and a
    // non-zero status.
    try
    {
        return Run(argc, argv);
    }
    catch (const std::exception& error)
    {
        std::cerr << "telvora-lcmp: " << error.what() << '\n';
    }
    catch (...)
    {
        std::cerr << "telvora-lcmp: unexpected failure\n";
    }
    return kExitFailure;
}

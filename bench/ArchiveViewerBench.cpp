// Decompressing an archive entry in the viewer's "Decompress" dialog (worker thread, refresh
// timer, the dialog's event loop) next to `telvora-lcmp extract` of the same entry, on the
// generated 3-million-point survey archive. Runs alternate, so that both see the same machine;
// the medians and their ratio are printed. Run with
//   build/bench/archive_viewer_bench      (QT_QPA_PLATFORM=offscreen without a display)

#include <QApplication>
#include <QProcess>
#include <QStringList>
#include <cstdio>
#include <filesystem>
#include <fmt/core.h>
#include <vector>

#include "BenchArchive.h"
#include "app/CompressionDialog.h"

namespace
{

using namespace telvora;

constexpr int kRounds = 5;
// The dialog may cost at most this much over the command-line tool.
constexpr double kTargetRatio = 1.10;

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const bench::SurveyArchive archive = bench::EnsureSurveyArchive();
    const std::filesystem::path folder = bench::BenchFolder() / "telvora-archive-viewer-bench";
    std::filesystem::create_directories(folder);
    const std::filesystem::path output = folder / bench::SurveyArchive::kEntryName;

    std::vector<double> tool;
    std::vector<double> viewer;
    for (int round = 0; round < kRounds; ++round)
    {
        std::filesystem::remove(output);
        int status = -1;
        tool.push_back(bench::Seconds(
            [&]
            {
                status = QProcess::execute(TELVORA_LCMP_CLI,
                                           {"extract", QString::fromStdString(archive.archivePath),
                                            bench::SurveyArchive::kEntryName, "--into",
                                            QString::fromStdString(folder.string())});
            }));
        if (status != 0 || !std::filesystem::exists(output))
        {
            fmt::print(stderr, "telvora-lcmp extract failed with status {}\n", status);
            return 1;
        }

        std::filesystem::remove(output);
        DecompressionOutcome outcome = DecompressionOutcome::Failed;
        viewer.push_back(bench::Seconds(
            [&]
            {
                CCompressionDialog dialog({QString::fromStdString(archive.archivePath),
                                           bench::SurveyArchive::kEntryName,
                                           QString::fromStdString(folder.string())});
                dialog.exec();
                outcome = dialog.Outcome();
            }));
        if (outcome != DecompressionOutcome::Complete)
        {
            fmt::print(stderr, "the dialog did not complete the entry\n");
            return 1;
        }
    }
    std::filesystem::remove(output);

    const double toolSeconds = bench::Median(tool);
    const double viewerSeconds = bench::Median(viewer);
    fmt::print("Survey archive: {} points of format 3, {} bytes ({} bytes as LAS)\n",
               archive.points, archive.archiveBytes, archive.lasBytes);
    fmt::print("telvora-lcmp extract  {:>8.3f} s   (median of {})\n", toolSeconds, kRounds);
    fmt::print("Decompress dialog     {:>8.3f} s   (median of {})\n", viewerSeconds, kRounds);
    const double ratio = viewerSeconds / toolSeconds;
    fmt::print("dialog / tool         {:>8.3f}     (target <= {:.2f}: {})\n", ratio, kTargetRatio,
               ratio <= kTargetRatio ? "met" : "NOT met");
    return 0;
}

// A long session: fifty files opened and closed two hundred times with a cross section opened and
// closed each time, and every fourth cycle an archive entry decompressed and aborted at a random
// stream, while the process's resident memory is watched.

#include <QApplication>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "AppTestMain.h"
#include "Recorders.h"
#include "Surveys.h"
#include "TestFiles.h"
#include "WorkerHold.h"
#include "app/ArchiveCommands.h"
#include "app/CompressionDialog.h"
#include "app/CrossSectionCommands.h"
#include "app/MainFrame.h"
#include "app/QUARNApp.h"
#include "cross/CrossFrame.h"
#include "cross/CrossView.h"
#include "cross/PropertiesCrossWnd.h"
#include "encoder/ArchiveBuilder.h"
#include "lcmp/LCMPStreamContext.h"
#include "panes/PropertyGrid.h"
#include "scene/LasFileSet.h"
#include "view/QUARNView.h"

#if defined(__SANITIZE_ADDRESS__)
#define TELVORA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TELVORA_ASAN 1
#endif
#endif

#ifdef TELVORA_ASAN
// Freed blocks wait in AddressSanitizer's quarantine (256 MB by default) before they are reused,
// which would read as growth; a small one fills while the session warms up and still catches
// uses of recently freed blocks. The sanitizer also keeps the call stack of every allocation
// in a store that only grows (about 100 KB a cycle here, 10 % over the session): without them
// a report names the bad access and where it was freed less precisely, and the figures measure
// the program instead of the sanitizer.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options()
{
    return "quarantine_size_mb=8:malloc_context_size=0";
}
#endif

namespace telvora
{
namespace
{

namespace fs = std::filesystem;

constexpr int kFiles = 50;
constexpr int kCycles = 200;
// Cycles before the first reading: fonts, shaders and the allocator's pools are set up once.
constexpr int kWarmUp = 10;

// VmRSS from /proc/self/status, in KiB; 0 when it cannot be read.
long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key)
    {
        if (key == "VmRSS:")
        {
            status >> value;
            return value;
        }
        status.ignore(1 << 10, '\n');
    }
    return 0;
}

} // namespace

class SoakTest : public QObject
{
    Q_OBJECT

private slots:
    void openingAndClosingFiftyFilesTwoHundredTimesKeepsMemoryFlat()
    {
        test::TempDir folder;
        QStringList paths;
        for (int i = 0; i < kFiles; ++i)
        {
            // Tiles side by side, 60 points each.
            const std::string name = "tile" + std::to_string(i) + ".las";
            paths << QString::fromStdString(test::WriteSurvey(
                folder, name, 60, 1, static_cast<std::uint64_t>(i) + 1, 500000.0 + 200.0 * i));
        }
        // One entry of one chunk in format 1: its streams are aborted after a random one of them.
        testenc::ArchiveInput entry;
        entry.name = testenc::ArchiveInput::Name("entry.las");
        entry.lasFile = test::ReadAll(test::WriteSurvey(folder, "entry.las", 20000, 1, 77));
        const std::string archive = folder.File("soak.lcmp");
        test::WriteAll(archive, testenc::BuildArchive({entry}));
        const int streams = LCMPStreamContext::StreamsPerChunk(1);
        std::mt19937 random(27);
        std::uniform_int_distribution<int> abortAfter(1, streams - 1);

        CQUARNApp app;
        app.decompressPath = QString::fromStdString(folder.File("work"));
        fs::create_directories(folder.File("work"));
        CMainFrame frame(app);
        test::WorkerHold hold;
        int aborted = 0;
        // The Abort question is answered Yes; the dialog hook holds the worker after the chosen
        // stream and aborts from the user-interface thread meanwhile.
        frame.Archives().SetAsker([](QWidget*, const QString&, const QString&, QuestionButtons)
                                  { return true; });
        test::RecordingNotifier messages;
        frame.SetMessageSink(&messages);
        frame.resize(640, 480);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QTRY_VERIFY(frame.View()->IsInitialised());
        CQUARNView& view = *frame.View();
        CCrossSectionCommands& cross = *frame.CrossSections();

        long start = 0;
        const long before = ResidentKiB();
        for (int cycle = 0; cycle < kCycles; ++cycle)
        {
            if (cycle == kWarmUp)
            {
                start = ResidentKiB();
            }
            QVERIFY(frame.OpenFiles(paths));
            QCOMPARE(view.FileSet()->count, kFiles);
            const CBoundingBox& box = view.FileSet()->bounds;
            const float half = (box.maximum.x - box.minimum.x) / 2.0f;
            view.sectionLine =
                std::make_unique<SectionLine>(SectionLine{{-half, 0.0f, 0.0f}, {half, 0.0f, 0.0f}});
            frame.UpdateCommandUI();
            QVERIFY(frame.Commands().Execute(ID_TOOLS_CROSSSECTION));
            CCrossFrame* window = cross.Frame();
            QVERIFY(window != nullptr);
            // A slab 20 m either side, so that every cycle reads records of the files.
            PropertiesCrossWnd& pane = *window->Properties();
            emit pane.Grid()->integerChanged(pane.WidthRow(), 2000);
            std::size_t collected = 0;
            for (const auto& file : window->View()->Section().indices)
            {
                collected += file.size();
            }
            QVERIFY(collected > 0);
            window->View()->Render();
            cross.CloseCrossSection();
            QVERIFY(frame.Commands().Execute(ID_FILE_CLOSE));
            QVERIFY(view.FileSet() == nullptr);
            if (cycle % 4 == 0)
            {
                const int at = abortAfter(random);
                hold.Arm();
                frame.Archives().SetDialogHook(
                    [&hold, at](CCompressionDialog& dialog)
                    {
                        dialog.SetWorkerHooks(
                            [&hold, &dialog, at](std::int32_t done)
                            {
                                if (done != at)
                                {
                                    return;
                                }
                                QMetaObject::invokeMethod(
                                    &dialog,
                                    [&hold, &dialog]
                                    {
                                        dialog.OnAbort();
                                        hold.Release();
                                    },
                                    Qt::QueuedConnection);
                                hold.Wait();
                            },
                            nullptr);
                    });
                QVERIFY(frame.OpenFiles({QString::fromStdString(archive)}));
                QVERIFY(frame.Commands().Execute(ID_COMPRESSION_ENTRY_FIRST));
                QVERIFY(!hold.GaveUp());
                QVERIFY(view.FileSet() != nullptr && view.FileSet()->files[0].path == nullptr);
                QVERIFY(fs::is_empty(folder.File("work")));
                QVERIFY(frame.Commands().Execute(ID_FILE_CLOSE));
                QVERIFY(view.FileSet() == nullptr);
                ++aborted;
            }
            // Whatever Qt deletes later must not pile up between the cycles.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
        }
        const long end = ResidentKiB();
        qInfo("Resident memory: %ld KiB before the first open, %ld KiB after %d cycles, %ld KiB "
              "after %d",
              before, start, kWarmUp, end, kCycles);
        QVERIFY(messages.shown.empty());
        QCOMPARE(aborted, kCycles / 4);
        QVERIFY(start > 0);
        QVERIFY2(end * 10 <= start * 11, "resident memory grew by more than 10 %");
    }
};

} // namespace telvora

int main(int argc, char* argv[])
{
    return telvora::test::RunAppTest<telvora::SoakTest>(argc, argv);
}

#include "SoakTest.moc"

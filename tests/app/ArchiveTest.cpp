#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <csignal>
#include <filesystem>
#include <fmt/format.h>
#include <memory>
#include <sys/mount.h>
#include <sys/resource.h>

#include "AppTestMain.h"
#include "FailureInjection.h"
#include "Recorders.h"
#include "Surveys.h"
#include "TestFiles.h"
#include "WorkerHold.h"
#include "app/ArchiveCommands.h"
#include "app/CompressionDialog.h"
#include "app/MainFrame.h"
#include "app/QUARNApp.h"
#include "app/RibbonBar.h"
#include "encoder/ArchiveBuilder.h"
#include "scene/LasFileSet.h"
#include "view/QUARNView.h"

namespace telvora
{
namespace
{

namespace fs = std::filesystem;

constexpr int kFirstEntry = ID_COMPRESSION_ENTRY_FIRST;

QString Q(const std::string& path)
{
    return QString::fromStdString(path);
}

// What a dialog showed when it ended, and whether its worker was gone by then.
struct DialogEnd
{
    int progress = -1;
    QString ratio;
    QStringList steps;
    QString counter;
    bool workerRunning = true;
    DecompressionOutcome outcome = DecompressionOutcome::Failed;
    // What the held worker had done when the action ran: its streams (of sixteen), and whether
    // the complete entry lay in a hidden part file beside the output.
    int streamsDoneAtAction = -1;
    bool entryInPartFileAtAction = false;
};

} // namespace

class ArchiveTest : public QObject
{
    Q_OBJECT

private:
    std::string Work(const std::string& name) const { return folder->File("work/" + name); }

    // Everything in the decompression folder: no part file may be left behind.
    QStringList WorkFiles() const
    {
        return QDir(Q(folder->File("work")))
            .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    // The folder holds a hidden part file with the complete survey entry.
    bool EntryInPartFile() const
    {
        for (const QString& name : WorkFiles())
        {
            if (name.startsWith(".lcmp-") && test::ReadAll(Work(name.toStdString())) == survey)
            {
                return true;
            }
        }
        return false;
    }

    QStringList EntryMenu() const
    {
        QStringList texts;
        for (const QAction* action : frame->Ribbon()->ArchiveOpenButton()->menu()->actions())
        {
            texts << action->text();
        }
        return texts;
    }

    // Where the next dialog's worker is held: after its first stream of sixteen, or once the
    // entry is complete in its part file, before anything is renamed.
    enum class HoldAt
    {
        Nowhere,
        FirstStream,
        EntryComplete
    };

    // Records how the next dialog ends. When a point is given, the worker stops there and the
    // action runs on the user-interface thread while it waits; the worker goes on once the action
    // is done (or releases it earlier itself). Nothing depends on how fast either thread is.
    void WatchDialog(HoldAt at = HoldAt::Nowhere,
                     std::function<void(CCompressionDialog&)> action = nullptr)
    {
        end = DialogEnd();
        hold.Arm();
        frame->Archives().SetDialogHook(
            [this, at, action = std::move(action)](CCompressionDialog& dialog)
            {
                const auto pause = [this, &dialog, action]
                {
                    QMetaObject::invokeMethod(
                        &dialog,
                        [this, &dialog, action]
                        {
                            end.streamsDoneAtAction = dialog.Archive().Context().StreamsDone();
                            end.entryInPartFileAtAction = EntryInPartFile();
                            action(dialog);
                            hold.Release();
                        },
                        Qt::QueuedConnection);
                    hold.Wait();
                };
                dialog.SetWorkerHooks(at == HoldAt::FirstStream ? std::function<void(std::int32_t)>(
                                                                      [pause](std::int32_t done)
                                                                      {
                                                                          if (done == 1)
                                                                          {
                                                                              pause();
                                                                          }
                                                                      })
                                                                : nullptr,
                                      at == HoldAt::EntryComplete ? std::function<void()>(pause)
                                                                  : nullptr);
                connect(&dialog, &QDialog::finished, this,
                        [this, &dialog]
                        {
                            end.progress = dialog.Progress()->value();
                            end.ratio = dialog.RatioText()->text();
                            for (int i = 0; i < dialog.Steps()->count(); ++i)
                            {
                                end.steps << dialog.Steps()->item(i)->text();
                            }
                            end.counter = dialog.CounterText()->text();
                            end.workerRunning = dialog.WorkerRunning();
                            end.outcome = dialog.Outcome();
                        });
            });
    }

    void ExpectListedAgain()
    {
        const CLasFileSet* set = frame->View()->FileSet();
        QVERIFY(set != nullptr);
        QCOMPARE(QString(set->archivePath), Q(archivePath));
        QVERIFY(set->files[0].path == nullptr);
        QVERIFY(!frame->View()->sceneReady);
        QCOMPARE(frame->View()->currentArchiveEntry, 0);
        QCOMPARE(EntryMenu(), QStringList({"small.las", "survey.las"}));
        // Nothing to colour, save or list as a loaded file, but the archive can be closed.
        QVERIFY(frame->Ribbon()->LoadedFilesButton()->menu()->actions().isEmpty());
        QVERIFY(!frame->Commands().IsEnabled(ID_VIEW_INTENSITY));
        QVERIFY(frame->Commands().IsEnabled(ID_FILE_CLOSE));
    }

    std::unique_ptr<test::TempDir> folder;
    std::string archivePath;
    std::vector<std::uint8_t> small;
    std::vector<std::uint8_t> survey;
    std::unique_ptr<CQUARNApp> app;
    std::unique_ptr<CMainFrame> frame;
    test::RecordingNotifier messages;
    std::vector<QString> questions;
    bool answerOverwrite = false;
    bool answerAbort = false;
    // The Abort question lets the held worker go on and is answered only once the end of its job
    // has reached the dialog: the entry finishes while the question is open.
    bool releaseWhileAsking = false;
    test::WorkerHold hold;
    DialogEnd end;

private slots:
    void initTestCase()
    {
        folder = std::make_unique<test::TempDir>();
        small = test::ReadAll(test::WriteSurvey(*folder, "small.las", 3000, 1, 11));
        // One chunk of 16 streams, each long enough that an abort after the first comes well
        // before the last.
        survey = test::ReadAll(test::WriteSurvey(*folder, "survey.las", 150000, 3, 12));
        testenc::ArchiveInput first;
        first.name = testenc::ArchiveInput::Name("small.las");
        first.lasFile = small;
        testenc::ArchiveInput second;
        second.name = testenc::ArchiveInput::Name("survey.las");
        second.lasFile = survey;
        archivePath = folder->File("flight.LCMP");
        test::WriteAll(archivePath, testenc::BuildArchive({first, second}));
    }

    void init()
    {
        fs::remove_all(folder->File("work"));
        fs::create_directories(folder->File("work"));
        messages.shown.clear();
        questions.clear();
        answerOverwrite = false;
        answerAbort = false;
        releaseWhileAsking = false;
        app = std::make_unique<CQUARNApp>();
        frame = std::make_unique<CMainFrame>(*app);
        frame->SetMessageSink(&messages);
        app->decompressPath = Q(folder->File("work"));
        frame->Archives().SetAsker(
            [this](QWidget* owner, const QString& text, const QString& caption,
                   QuestionButtons buttons)
            {
                questions.push_back(caption + ": " + text);
                const auto* dialog = qobject_cast<CCompressionDialog*>(owner);
                if (releaseWhileAsking && buttons == QuestionButtons::YesNo && dialog != nullptr)
                {
                    hold.Release();
                    while (!dialog->JobHasEnded())
                    {
                        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                    }
                }
                return buttons == QuestionButtons::OkCancel ? answerOverwrite : answerAbort;
            });
        frame->resize(900, 700);
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
        QTRY_VERIFY(frame->View()->IsInitialised());
        // The way a command line or a drop opens an archive.
        QVERIFY(frame->OpenFiles({Q(archivePath)}));
        QCOMPARE(EntryMenu(), QStringList({"small.las", "survey.las"}));
    }

    void cleanup()
    {
        frame.reset();
        app.reset();
    }

    void cleanupTestCase() { folder.reset(); }

    void anEntryIsDecompressedShownAndRemovedAtClose()
    {
        // An Abort answered with No changes nothing; the dialog's window goes down and up with
        // the main window.
        bool minimisedTogether = false;
        WatchDialog(HoldAt::FirstStream,
                    [&](CCompressionDialog& dialog)
                    {
                        dialog.OnAbort();
                        dialog.setWindowState(Qt::WindowMinimized);
                        minimisedTogether = frame->isMinimized();
                        dialog.setWindowState(Qt::WindowNoState);
                        minimisedTogether = minimisedTogether && !frame->isMinimized();
                    });
        QVERIFY(frame->Commands().Execute(kFirstEntry + 1));

        QCOMPARE(questions,
                 std::vector<QString>(
                     {"Cancle decompression: Do you really want to quit decompression?"}));
        QVERIFY(minimisedTogether);
        QVERIFY(messages.shown.empty());
        QCOMPARE(test::ReadAll(Work("survey.las")), survey);
        QCOMPARE(end.outcome, DecompressionOutcome::Complete);
        QVERIFY(!end.workerRunning);
        QCOMPARE(end.progress, 100);
        QVERIFY2(QRegularExpression("^[0-9]+ %$").match(end.ratio).hasMatch(),
                 qPrintable(end.ratio));
        QCOMPARE(end.steps,
                 QStringList({"Decompressing file...", "Decompressing file survey.las"}));
        QCOMPARE(end.counter, QString("File: \n1/1"));

        const CLasFileSet* set = frame->View()->FileSet();
        QVERIFY(set != nullptr);
        QCOMPARE(QString(set->files[0].path), Q(Work("survey.las")));
        QCOMPARE(set->totalPoints, std::uint64_t{150000});
        QVERIFY(frame->View()->sceneReady);
        QCOMPARE(frame->View()->currentArchiveEntry, kFirstEntry + 1);
        QVERIFY(frame->Commands().IsChecked(kFirstEntry + 1));
        QCOMPARE(frame->StatusTextPane()->text(), QString("Done"));
        frame->View()->grabFramebuffer();
        QVERIFY(frame->View()->drawnPoints > 0);

        frame->CloseScene();
        QCOMPARE(WorkFiles(), QStringList());
        QVERIFY(EntryMenu().isEmpty());
    }

    // However the job ends, the output path holds either the user's file byte for byte or the
    // complete entry, never neither: the entry takes the output's place only once the dialog ends
    // with success. Each row holds the worker at a point (after its first stream, or with the
    // entry complete in its part file, before any rename) and acts on the dialog meanwhile.
    void theUsersFileOrTheCompleteEntryHoweverTheJobEnds()
    {
        enum class Act
        {
            Abort,
            CloseWindow,
            // The Abort question is opened while the worker is held; the worker then finishes and
            // its end reaches the dialog before the answer comes.
            AskWhileTheEntryFinishes
        };
        struct Row
        {
            const char* what;
            HoldAt at;
            Act act;
            bool confirm;
            // Complete: the entry is at the output path; otherwise what was there before.
            DecompressionOutcome outcome;
        };
        const Row rows[] = {
            {"Abort confirmed mid-way", HoldAt::FirstStream, Act::Abort, true,
             DecompressionOutcome::Aborted},
            {"window closed mid-way", HoldAt::FirstStream, Act::CloseWindow, true,
             DecompressionOutcome::Aborted},
            {"Abort confirmed after the last stream, before the rename", HoldAt::EntryComplete,
             Act::Abort, true, DecompressionOutcome::Aborted},
            {"window closed after the last stream", HoldAt::EntryComplete, Act::CloseWindow, true,
             DecompressionOutcome::Aborted},
            {"entry finished while the question was open, then Yes", HoldAt::EntryComplete,
             Act::AskWhileTheEntryFinishes, true, DecompressionOutcome::Aborted},
            {"entry finished while the question was open, then No", HoldAt::EntryComplete,
             Act::AskWhileTheEntryFinishes, false, DecompressionOutcome::Complete},
        };
        for (const bool usersFile : {false, true})
        {
            for (const Row& row : rows)
            {
                const QByteArray what =
                    QByteArray(row.what) + (usersFile ? ", over the user's file" : "");
                frame->CloseScene();
                fs::remove_all(folder->File("work"));
                fs::create_directories(folder->File("work"));
                if (usersFile)
                {
                    test::WriteAll(Work("survey.las"), small);
                }
                QVERIFY2(frame->OpenFiles({Q(archivePath)}), what.constData());
                questions.clear();
                answerOverwrite = true;
                answerAbort = row.confirm;
                releaseWhileAsking = row.act == Act::AskWhileTheEntryFinishes;
                WatchDialog(row.at,
                            [act = row.act](CCompressionDialog& dialog)
                            {
                                if (act == Act::CloseWindow)
                                {
                                    dialog.close();
                                }
                                else
                                {
                                    dialog.OnAbort();
                                }
                            });
                QVERIFY2(frame->Commands().Execute(kFirstEntry + 1), what.constData());
                QVERIFY2(!hold.GaveUp(), what.constData());
                QVERIFY2(row.at == HoldAt::FirstStream ? end.streamsDoneAtAction == 1
                                                       : end.entryInPartFileAtAction,
                         what.constData());
                QVERIFY2(end.outcome == row.outcome, what.constData());
                QVERIFY2(!end.workerRunning, what.constData());
                QVERIFY2(messages.shown.empty(), what.constData());
                // Closing the window asks nothing: the user has said they want it gone.
                QVERIFY2(questions.size() == std::size_t{usersFile ? 1u : 0u} +
                                                 std::size_t{row.act == Act::CloseWindow ? 0u : 1u},
                         what.constData());
                if (row.outcome == DecompressionOutcome::Complete)
                {
                    QVERIFY2(test::ReadAll(Work("survey.las")) == survey, what.constData());
                    QVERIFY2(WorkFiles() == QStringList({"survey.las"}), what.constData());
                    continue;
                }
                ExpectListedAgain();
                if (usersFile)
                {
                    QVERIFY2(test::ReadAll(Work("survey.las")) == small, what.constData());
                    QVERIFY2(WorkFiles() == QStringList({"survey.las"}), what.constData());
                }
                else
                {
                    QVERIFY2(WorkFiles().isEmpty(), what.constData());
                }
            }
        }
    }

    void aFileAtTheOutputPathIsReplacedOnlyWhenTheUserSaysSo()
    {
        test::WriteAll(Work("survey.las"), small);
        const QString question =
            "Decompress: " + Q(Work("survey.las")) + "\n\nFile already exists.\nOverwrite?";

        // Declined: the user's file is what is shown, and it outlives the scene.
        QVERIFY(frame->Commands().Execute(kFirstEntry + 1));
        QCOMPARE(questions, std::vector<QString>({question}));
        QCOMPARE(frame->View()->FileSet()->totalPoints, std::uint64_t{3000});
        frame->CloseScene();
        QCOMPARE(test::ReadAll(Work("survey.las")), small);

        // Accepted and complete: the entry takes its place.
        QVERIFY(frame->OpenFiles({Q(archivePath)}));
        answerOverwrite = true;
        WatchDialog();
        QVERIFY(frame->Commands().Execute(kFirstEntry + 1));
        QCOMPARE(test::ReadAll(Work("survey.las")), survey);
        QCOMPARE(frame->View()->FileSet()->totalPoints, std::uint64_t{150000});
    }

    // Overwrite accepted, and then the write cannot be done, or the file the user agreed to lose
    // is no longer the one there: each row names the file and why, leaves the file at the output
    // path as it was (the user's, or the one another program put there), and no part file. Only
    // a name freed meanwhile takes the entry, since nothing can be lost there.
    void overwriteFailuresKeepTheFileThereAndLeaveNoPartFile()
    {
        enum class Failure
        {
            FileSizeLimit,
            FullDisk,
            ReadOnlyFolder,
            Deleted,
            Replaced
        };
        const std::vector<std::uint8_t> users(1000, 0x42);
        const std::vector<std::uint8_t> others(900, 0x17);
        const std::string needs = fmt::format("it needs {} bytes ({:.1f} MiB), but ", survey.size(),
                                              static_cast<double>(survey.size()) / 1048576.0);
        struct Row
        {
            const char* what;
            Failure failure;
            // Empty: the entry is placed and nothing is shown.
            std::string text;
            std::string detail;
            // What the output path holds at the end.
            const std::vector<std::uint8_t>* left;
        };
        const std::string space = "There is not enough space for the decompressed file!";
        const Row rows[] = {
            {"file-size limit", Failure::FileSizeLimit, space,
             Work("survey.las") + ": " + needs +
                 "the file-size limit of this process is 4096 bytes (4.0 KiB)",
             &users},
            // 64 KiB of tmpfs is 16 pages; the user's file takes one.
            {"full small file system", Failure::FullDisk, space,
             Work("survey.las") + ": " + needs + "only 61440 bytes (60.0 KiB) are free", &users},
            {"read-only folder", Failure::ReadOnlyFolder, "WriteError::File could not be created.",
             Work("") + ": the file system is read-only", &users},
            {"deleted while the worker is held", Failure::Deleted, "", "", &survey},
            {"replaced while the worker is held", Failure::Replaced,
             "The output file already exists!",
             Work("survey.las") + ": another program changed or replaced the file since its "
                                  "overwriting was agreed",
             &others},
        };
        for (const Row& row : rows)
        {
            const QByteArray what(row.what);
            frame->CloseScene();
            fs::remove_all(folder->File("work"));
            fs::create_directories(folder->File("work"));
            const bool mounted =
                (row.failure == Failure::FullDisk || row.failure == Failure::ReadOnlyFolder) &&
                test::MountSmallFileSystem(folder->File("work"), 65536);
            if ((row.failure == Failure::FullDisk || row.failure == Failure::ReadOnlyFolder) &&
                !mounted)
            {
                std::printf("[   NOTE   ] no small file system could be mounted here; the "
                            "file-size limit row covers the same refusal\n");
                continue;
            }
            test::WriteAll(Work("survey.las"), users);
            if (row.failure == Failure::ReadOnlyFolder)
            {
                QVERIFY2(::mount("tmpfs", folder->File("work").c_str(), "tmpfs",
                                 MS_REMOUNT | MS_RDONLY, nullptr) == 0,
                         what.constData());
            }
            QVERIFY2(frame->OpenFiles({Q(archivePath)}), what.constData());
            messages.shown.clear();
            answerOverwrite = true;
            const bool held = row.failure == Failure::Deleted || row.failure == Failure::Replaced;
            WatchDialog(held ? HoldAt::EntryComplete : HoldAt::Nowhere,
                        [this, &row, &others](CCompressionDialog&)
                        {
                            if (row.failure == Failure::Deleted)
                            {
                                fs::remove(Work("survey.las"));
                            }
                            else
                            {
                                test::ReplaceFile(Work("survey.las"), others);
                            }
                        });
            rlimit saved{};
            const auto previous = std::signal(SIGXFSZ, SIG_IGN);
            ::getrlimit(RLIMIT_FSIZE, &saved);
            if (row.failure == Failure::FileSizeLimit)
            {
                rlimit tight = saved;
                tight.rlim_cur = 4096;
                ::setrlimit(RLIMIT_FSIZE, &tight);
            }
            const bool executed = frame->Commands().Execute(kFirstEntry + 1);
            ::setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, previous);
            QVERIFY2(executed, what.constData());
            QVERIFY2(!hold.GaveUp(), what.constData());
            const QStringList files = WorkFiles();
            const bool kept = test::ReadAll(Work("survey.las")) == *row.left;
            if (mounted)
            {
                test::Unmount(folder->File("work"));
            }
            QVERIFY2(files == QStringList({"survey.las"}), what.constData());
            QVERIFY2(kept, what.constData());
            if (row.text.empty())
            {
                QVERIFY2(end.outcome == DecompressionOutcome::Complete, what.constData());
                QVERIFY2(messages.shown.empty(), what.constData());
                continue;
            }
            QVERIFY2(end.outcome == DecompressionOutcome::Failed, what.constData());
            QVERIFY2(messages.shown.size() == 1, what.constData());
            QCOMPARE(messages.shown[0].text, row.text);
            QCOMPARE(messages.shown[0].detail, row.detail);
        }
    }

    void aDamagedEntryIsReportedAndNothingIsLoaded()
    {
        // The survey's last 2000 bytes cut out: the directory, found from the end, still names
        // both entries.
        std::vector<std::uint8_t> bytes = test::ReadAll(archivePath);
        const std::size_t directory = bytes.size() - 4 - std::size_t{2} * 268;
        bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(directory - 2000),
                    bytes.begin() + static_cast<std::ptrdiff_t>(directory));
        const std::string damaged = folder->File("damaged.lcmp");
        test::WriteAll(damaged, bytes);
        archivePath = damaged;
        QVERIFY(frame->OpenFiles({Q(damaged)}));

        WatchDialog();
        QVERIFY(frame->Commands().Execute(kFirstEntry + 1));
        archivePath = folder->File("flight.LCMP");
        QCOMPARE(end.outcome, DecompressionOutcome::Failed);
        QCOMPARE(messages.shown.size(), std::size_t{1});
        QCOMPARE(messages.shown[0].text, std::string("The archive entry is truncated!"));
        // The reason itself is the decoder's to give; the box names the entry and the archive.
        QVERIFY2(QString::fromStdString(messages.shown[0].detail)
                     .startsWith(Q("survey.las in " + damaged + ": the coded stream at byte ")),
                 messages.shown[0].detail.c_str());
        QCOMPARE(messages.shown[0].icon, MessageIcon::Error);
        QCOMPARE(WorkFiles(), QStringList());
        QCOMPARE(QString(frame->View()->FileSet()->archivePath), Q(damaged));
        QVERIFY(frame->View()->FileSet()->files[0].path == nullptr);
        QVERIFY(!frame->View()->sceneReady);
    }
};

} // namespace telvora

int main(int argc, char* argv[])
{
    return telvora::test::RunAppTest<telvora::ArchiveTest>(argc, argv);
}

#include "ArchiveTest.moc"

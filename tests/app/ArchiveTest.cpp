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
#include <filesystem>
#include <memory>

#include "AppTestMain.h"
#include "Recorders.h"
#include "Surveys.h"
#include "TestFiles.h"
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
    bool streamsLeftAtAbort = false;
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

    QStringList EntryMenu() const
    {
        QStringList texts;
        for (const QAction* action : frame->Ribbon()->ArchiveOpenButton()->menu()->actions())
        {
            texts << action->text();
        }
        return texts;
    }

    // Records how the next dialog ends; `during` runs every millisecond while it is up.
    void WatchDialog(std::function<void(CCompressionDialog&)> during = nullptr)
    {
        end = DialogEnd();
        stopAsked = false;
        frame->Archives().SetDialogHook(
            [this, during](CCompressionDialog& dialog)
            {
                auto* poll = new QTimer(&dialog);
                if (during)
                {
                    connect(poll, &QTimer::timeout, &dialog, [&dialog, during] { during(dialog); });
                    poll->start(1);
                }
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

    enum class Stop
    {
        Abort,
        CloseWindow,
        // Confirmed only once the job has ended: the complete file is the program's to remove.
        AbortAfterTheEnd
    };

    // Stops the job once the worker has finished its first stream, well before its last.
    void StopAfterFirstStream(Stop how)
    {
        answerAbort = true;
        waitForTheEnd = how == Stop::AbortAfterTheEnd;
        WatchDialog(
            [this, how](CCompressionDialog& dialog)
            {
                const LCMPStreamContext& context = dialog.Archive().Context();
                if (stopAsked || context.StreamsDone() < 1)
                {
                    return;
                }
                stopAsked = true;
                end.streamsLeftAtAbort = context.StreamsDone() < context.StreamsTotal();
                if (how == Stop::CloseWindow)
                {
                    dialog.close();
                }
                else
                {
                    dialog.OnAbort();
                }
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
    bool waitForTheEnd = false;
    bool stopAsked = false;
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
        waitForTheEnd = false;
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
                while (waitForTheEnd && dialog != nullptr && dialog->WorkerRunning())
                {
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
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
        bool askedOnce = false;
        bool minimisedTogether = false;
        WatchDialog(
            [&](CCompressionDialog& dialog)
            {
                if (askedOnce)
                {
                    return;
                }
                askedOnce = true;
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

    void abortOrClosingMidWayWritesNothingAndListsTheArchiveAgain()
    {
        for (const Stop how : {Stop::Abort, Stop::CloseWindow, Stop::AbortAfterTheEnd})
        {
            questions.clear();
            StopAfterFirstStream(how);
            QVERIFY(frame->Commands().Execute(kFirstEntry + 1));
            QVERIFY(end.streamsLeftAtAbort);
            QCOMPARE(end.outcome, DecompressionOutcome::Aborted);
            QVERIFY(!end.workerRunning);
            QCOMPARE(WorkFiles(), QStringList());
            QVERIFY(messages.shown.empty());
            ExpectListedAgain();
            // Closing the window asks nothing: the user has said they want it gone.
            QCOMPARE(questions.size(), std::size_t{how == Stop::CloseWindow ? 0u : 1u});
        }
    }

    void aFileAtTheOutputPathIsReplacedOnlyWhenTheUserSaysSoAndTheEntryIsComplete()
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

        // Accepted, then aborted: still the user's file.
        QVERIFY(frame->OpenFiles({Q(archivePath)}));
        answerOverwrite = true;
        StopAfterFirstStream(Stop::Abort);
        QVERIFY(frame->Commands().Execute(kFirstEntry + 1));
        QCOMPARE(end.outcome, DecompressionOutcome::Aborted);
        QCOMPARE(test::ReadAll(Work("survey.las")), small);
        QCOMPARE(WorkFiles(), QStringList({"survey.las"}));

        // Accepted and complete: the entry takes its place.
        WatchDialog();
        QVERIFY(frame->Commands().Execute(kFirstEntry + 1));
        QCOMPARE(test::ReadAll(Work("survey.las")), survey);
        QCOMPARE(frame->View()->FileSet()->totalPoints, std::uint64_t{150000});
    }

    void aDamagedEntryIsReportedAndNothingIsLoaded()
    {
        // The survey's last 2000 bytes cut out: the directory, found from the end, still names
        // both entries.
        std::vector<std::uint8_t> bytes = test::ReadAll(archivePath);
        const std::size_t directory = bytes.size() - 4 - 2 * 268;
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

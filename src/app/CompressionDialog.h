#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "lcmp/LCMPFile.h"

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace telvora
{

class INotifier;

// The buttons of a question; the asker returns true for the first (OK, Yes).
enum class QuestionButtons
{
    OkCancel,
    YesNo
};

// Asks the user a question with an icon of its own, owned by the given window. The main frame
// uses message boxes; tests answer in their place.
using QuestionAsker = std::function<bool(QWidget* owner, const QString& text,
                                         const QString& caption, QuestionButtons buttons)>;

bool AskWithMessageBox(QWidget* owner, const QString& text, const QString& caption,
                       QuestionButtons buttons);

// How a decompression ended, as the caller of the dialog sees it.
enum class DecompressionOutcome
{
    // The entry was rebuilt at the output path: a file this program made.
    Complete,
    // The user declined to overwrite the file at the output path, which is theirs.
    KeptExisting,
    // The message has been shown; nothing was written at the output path.
    Failed,
    // The user aborted, or closed the window: the output path holds what it held before, even
    // when the entry was complete by then.
    Aborted
};

// "Decompress": rebuilds one archive entry as a LAS file in a folder, on a worker thread, while
// the dialog shows the ratio and the share of streams done, refreshed from a timer on the
// user-interface thread. The worker touches no widget; it only posts its end to the dialog.
// Abort and closing the window stop the decoder between two streams, so the window never waits
// longer than one stream takes, and the worker is joined before the dialog goes.
//
// The worker leaves the complete entry in its hidden part file; only when the dialog ends with
// success does it take the output's place (replacing a file there only when the user said so).
// Any other end removes the part file alone, so an Abort confirmed at any moment, even after the
// entry was complete, leaves the user's file as it was.
class CCompressionDialog : public QDialog
{
    Q_OBJECT

public:
    struct Request
    {
        QString archivePath;
        QString entryName;
        // Where the entry goes, with or without a trailing separator.
        QString folder;
    };

    static constexpr int kRefreshMs = 500;

    CCompressionDialog(Request request, QWidget* parent = nullptr);
    ~CCompressionDialog() override;

    void SetAsker(QuestionAsker newAsker) { asker = std::move(newAsker); }
    // Where a decompression error is shown.
    void SetNotifier(INotifier* newNotifier) { notifier = newNotifier; }

    // The folder and the entry name.
    QString OutputPath() const { return outputPath; }
    DecompressionOutcome Outcome() const { return outcome; }
    // Set when the user confirmed Abort or closed the window.
    bool AbortFlag() const { return abortFlag; }
    // The decompression, whose counters the dialog shows.
    const LCMPFile& Archive() const { return archive; }
    // Whether the worker is running (it is started when the dialog is first shown).
    bool WorkerRunning() const { return worker.joinable(); }
    // Whether the end of the worker's job has reached the dialog.
    bool JobHasEnded() const { return jobEnded; }
    // Seams for tests, called on the worker thread: after each stream with the number done, and
    // once the entry is complete in its part file (see LCMPFile::SetStreamHook). Before Start.
    void SetWorkerHooks(std::function<void(std::int32_t)> afterStream,
                        std::function<void()> entryComplete)
    {
        archive.SetStreamHook(std::move(afterStream));
        archive.SetCompleteHook(std::move(entryComplete));
    }

    QLabel* ArchiveText() const { return archiveText; }
    QLabel* RatioText() const { return ratioText; }
    QLabel* FileText() const { return fileText; }
    QLabel* CounterText() const { return counterText; }
    QProgressBar* Progress() const { return progress; }
    QListWidget* Steps() const { return steps; }
    QPushButton* AbortButton() const { return abortButton; }

    // The Abort button: asks, and on Yes stops the decompression and closes the dialog.
    void OnAbort();
    // The close box and Escape: the same as a confirmed Abort while the job runs.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Start();
    void Refresh();
    void JobEnded();
    void StopWorker();
    void Finish();

    Request request;
    QString outputPath;
    QuestionAsker asker;
    INotifier* notifier = nullptr;
    LCMPFile archive;
    std::thread worker;
    std::atomic<bool> cancel{false};
    // What the worker leaves for the user-interface thread, read once it has been joined.
    DecompressResult result = DecompressResult::Cancelled;
    bool failed = false;
    std::string errorText;
    std::string errorDetail;

    QTimer refreshTimer;
    DecompressionOutcome outcome = DecompressionOutcome::Aborted;
    bool started = false;
    bool jobEnded = false;
    bool abortFlag = false;
    // The Abort question is on the screen: the end of the job waits for its answer.
    bool asking = false;
    bool closePending = false;
    // The main window was minimised along with the dialog, and comes back with it.
    bool minimisedParent = false;

    QLabel* archiveText = nullptr;
    QLabel* ratioText = nullptr;
    QLabel* fileText = nullptr;
    QLabel* counterText = nullptr;
    QProgressBar* progress = nullptr;
    QListWidget* steps = nullptr;
    QPushButton* abortButton = nullptr;
};

} // namespace telvora

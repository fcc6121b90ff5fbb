#include "app/CompressionDialog.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QWindowStateChangeEvent>
#include <fmt/format.h>
#include <new>

#include "app/AppIcons.h"
#include "common/CommandIds.h"
#include "common/Notifier.h"
#include "las/FileIdentity.h"
#include "las/LasException.h"

namespace telvora
{
namespace
{

constexpr const char* kCaption = "Decompress";

// Places a control by dialog units: a quarter of the font's average character width across, an
// eighth of its height down, so that the layout keeps its proportions with any font.
void Place(QWidget* control, const QFontMetrics& metrics, int x, int y, int w, int h)
{
    const int across = metrics.averageCharWidth();
    const int down = metrics.height();
    control->setGeometry(x * across / 4, y * down / 8, w * across / 4, h * down / 8);
}

QLabel* AddText(QWidget* dialog, const QFontMetrics& metrics, const QString& text, int x, int y,
                int w, int h)
{
    auto* label = new QLabel(text, dialog);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Place(label, metrics, x, y, w, h);
    return label;
}

} // namespace

bool AskWithMessageBox(QWidget* owner, const QString& text, const QString& caption,
                       QuestionButtons buttons)
{
    const bool okCancel = buttons == QuestionButtons::OkCancel;
    const QMessageBox::StandardButton yes = okCancel ? QMessageBox::Ok : QMessageBox::Yes;
    const QMessageBox::StandardButton no = okCancel ? QMessageBox::Cancel : QMessageBox::No;
    QMessageBox box(QMessageBox::Question, caption, text, yes | no, owner);
    box.setDefaultButton(no);
    return box.exec() == yes;
}

CCompressionDialog::CCompressionDialog(Request newRequest, QWidget* parent)
    : QDialog(parent)
    , request(std::move(newRequest))
    , asker(AskWithMessageBox)
{
    setObjectName("compressionDialog");
    setWindowTitle(kCaption);
    setWindowIcon(CommandIcon(ID_COMPRESSION_OPEN));
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint | Qt::WindowSystemMenuHint);
    setModal(true);

    QString folder = request.folder;
    if (!folder.isEmpty() && !folder.endsWith('/'))
    {
        folder += '/';
    }
    request.folder = folder;
    outputPath = folder + request.entryName;

    const QFontMetrics metrics(font());
    AddText(this, metrics, "File:", 7, 7, 14, 8);
    archiveText = AddText(this, metrics, {}, 7, 21, 246, 8);
    AddText(this, metrics, "Compression ratio:", 7, 38, 61, 8);
    ratioText = AddText(this, metrics, {}, 85, 38, 50, 8);
    fileText = AddText(this, metrics, {}, 7, 53, 246, 15);
    progress = new QProgressBar(this);
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setTextVisible(false);
    Place(progress, metrics, 7, 72, 246, 15);
    steps = new QListWidget(this);
    Place(steps, metrics, 7, 90, 190, 63);
    counterText = AddText(this, metrics, {}, 203, 90, 50, 35);
    abortButton = new QPushButton("Abort", this);
    abortButton->setAutoDefault(false);
    Place(abortButton, metrics, 203, 139, 50, 14);
    const int across = metrics.averageCharWidth();
    setFixedSize(260 * across / 4, 160 * metrics.height() / 8);

    for (QLabel* label : {archiveText, ratioText, fileText, counterText})
    {
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    archiveText->setObjectName("archiveText");
    ratioText->setObjectName("ratioText");
    fileText->setObjectName("fileText");
    counterText->setObjectName("counterText");
    progress->setObjectName("progress");
    steps->setObjectName("steps");
    abortButton->setObjectName("abortButton");

    connect(abortButton, &QPushButton::clicked, this, &CCompressionDialog::OnAbort);
    connect(&refreshTimer, &QTimer::timeout, this, &CCompressionDialog::Refresh);
}

CCompressionDialog::~CCompressionDialog()
{
    StopWorker();
}

void CCompressionDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!started)
    {
        started = true;
        // After the dialog has been drawn: the overwrite question is asked over it.
        QTimer::singleShot(0, this, &CCompressionDialog::Start);
    }
}

void CCompressionDialog::Start()
{
    if (abortFlag)
    {
        // Closed before the job began.
        jobEnded = true;
        Finish();
        return;
    }
    steps->addItem("Decompressing file...");
    counterText->setText(QString("File: \n%1/%2").arg(1).arg(1));
    progress->setValue(0);
    archiveText->setText(request.archivePath);
    fileText->setText("Decompressing file " + request.entryName + "...");
    steps->addItem("Decompressing file " + request.entryName);
    Refresh();

    ExistingOutput existing = ExistingOutput::Keep;
    // A name that is not a plain file name is refused by the decoder; no question is asked about
    // a path outside the folder.
    const QByteArray name = request.entryName.toUtf8();
    if (IsPlainFileName(name.constData()) && QFileInfo::exists(outputPath))
    {
        if (!asker(this, outputPath + "\n\nFile already exists.\nOverwrite?", kCaption,
                   QuestionButtons::OkCancel))
        {
            outcome = DecompressionOutcome::KeptExisting;
            jobEnded = true;
            Finish();
            return;
        }
        existing = ExistingOutput::Replace;
    }
    // The file the user agreed to lose, as it is now: only this one may be replaced.
    archive.ReplaceOnlyIf(existing == ExistingOutput::Replace
                              ? IdentityOf(QFile::encodeName(outputPath).constData())
                              : FileIdentity());
    if (abortFlag)
    {
        // Closed while the question was up.
        jobEnded = true;
        Finish();
        return;
    }

    const std::string archivePath = QFile::encodeName(request.archivePath).toStdString();
    const std::string entryName = name.toStdString();
    const std::string folder = QFile::encodeName(request.folder).toStdString();
    refreshTimer.start(kRefreshMs);
    worker = std::thread(
        [this, archivePath, entryName, folder, existing]
        {
            try
            {
                result =
                    archive.DecompressEntry(archivePath.c_str(), entryName.c_str(), folder.c_str(),
                                            &cancel, existing, Completion::Hold);
            }
            catch (const CLasException& error)
            {
                failed = true;
                errorText = error.GetErrorText();
                errorDetail = error.GetDetail();
            }
            catch (const std::bad_alloc&)
            {
                failed = true;
                errorText = "Not enough memory to decompress the file.";
            }
            catch (const std::exception& error)
            {
                failed = true;
                errorText = error.what();
            }
            // The only thing the worker does to the dialog: queue the end of the job on the
            // dialog's own thread.
            QMetaObject::invokeMethod(
                this, [this] { JobEnded(); }, Qt::QueuedConnection);
        });
}

void CCompressionDialog::Refresh()
{
    if (jobEnded)
    {
        return;
    }
    const LCMPStreamContext& context = archive.Context();
    const int total = context.StreamsTotal();
    const int done = context.StreamsDone();
    // The decoder clears its counters once the file is complete; the figures of the last streams
    // stay on the screen until the dialog closes.
    if (total > 0 && done > 0)
    {
        progress->setValue(done * 100 / total);
        ratioText->setText(QString::fromStdString(fmt::format("{:.0f} %", context.Ratio() * 100)));
    }
    else if (ratioText->text().isEmpty())
    {
        ratioText->setText("0 %");
    }
}

void CCompressionDialog::JobEnded()
{
    if (worker.joinable())
    {
        worker.join();
    }
    Refresh();
    jobEnded = true;
    refreshTimer.stop();
    if (failed)
    {
        outcome = DecompressionOutcome::Failed;
        if (notifier != nullptr)
        {
            notifier->ShowMessage(errorText, kCaption, MessageIcon::Error, errorDetail);
        }
    }
    else if (abortFlag || result == DecompressResult::Cancelled)
    {
        outcome = DecompressionOutcome::Aborted;
    }
    else
    {
        outcome = DecompressionOutcome::Complete;
        progress->setValue(100);
    }
    if (asking)
    {
        // The answer to the Abort question decides how this ends.
        closePending = true;
        return;
    }
    Finish();
}

void CCompressionDialog::OnAbort()
{
    if (abortFlag)
    {
        return;
    }
    asking = true;
    const bool confirmed = asker(this, "Do you really want to quit decompression?",
                                 "Cancle decompression", QuestionButtons::YesNo);
    asking = false;
    if (!confirmed)
    {
        if (closePending)
        {
            Finish();
        }
        return;
    }
    abortFlag = true;
    cancel.store(true);
    if (jobEnded)
    {
        // Too late to stop the decoder, but not to keep its file from the output path.
        if (outcome == DecompressionOutcome::Complete)
        {
            outcome = DecompressionOutcome::Aborted;
        }
        Finish();
        return;
    }
    // The worker stops at the next stream and then closes the dialog.
    abortButton->setEnabled(false);
}

void CCompressionDialog::reject()
{
    if (jobEnded || !started)
    {
        jobEnded = true;
        Finish();
        return;
    }
    // Leaving the window must not leave the decoder writing, nor a half-written file to be taken
    // for the entry. A job not yet begun (its overwrite question up) ends where it would begin.
    abortFlag = true;
    cancel.store(true);
    abortButton->setEnabled(false);
}

void CCompressionDialog::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    if (event->type() != QEvent::WindowStateChange || owner == nullptr)
    {
        return;
    }
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    const bool minimised = (windowState() & Qt::WindowMinimized) != 0;
    const bool wasMinimised = (change->oldState() & Qt::WindowMinimized) != 0;
    if (minimised && !wasMinimised && (owner->windowState() & Qt::WindowMinimized) == 0)
    {
        minimisedParent = true;
        owner->setWindowState(owner->windowState() | Qt::WindowMinimized);
    }
    else if (!minimised && wasMinimised && minimisedParent)
    {
        minimisedParent = false;
        owner->setWindowState(owner->windowState() & ~Qt::WindowMinimized);
    }
}

void CCompressionDialog::StopWorker()
{
    if (worker.joinable())
    {
        cancel.store(true);
        worker.join();
    }
}

void CCompressionDialog::Finish()
{
    refreshTimer.stop();
    StopWorker();
    // The outcome is final here: only now may the entry take the output's place.
    if (outcome == DecompressionOutcome::Complete)
    {
        try
        {
            archive.PublishHeldEntry();
        }
        catch (const CLasException& error)
        {
            outcome = DecompressionOutcome::Failed;
            if (notifier != nullptr)
            {
                notifier->ShowMessage(error.GetErrorText(), kCaption, MessageIcon::Error,
                                      error.GetDetail());
            }
        }
    }
    archive.DiscardHeldEntry();
    done(outcome == DecompressionOutcome::Complete ? QDialog::Accepted : QDialog::Rejected);
}

} // namespace telvora

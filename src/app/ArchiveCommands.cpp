#include "app/ArchiveCommands.h"

#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QToolButton>
#include <memory>

#include "app/AppIcons.h"
#include "app/MainFrame.h"
#include "app/QUARNApp.h"
#include "app/RibbonBar.h"
#include "common/CommandIds.h"
#include "las/LasException.h"
#include "lcmp/LCMPFile.h"
#include "scene/LasFileSet.h"
#include "view/QUARNView.h"

namespace telvora
{

CArchiveCommands::CArchiveCommands(CMainFrame& owner, CQUARNApp& application)
    : frame(owner)
    , app(application)
{
}

QString CArchiveCommands::ArchiveFileFilter()
{
    return "LCMP File (*.LCMP *.lcmp)";
}

bool CArchiveCommands::IsArchivePath(const QString& path)
{
    return path.endsWith(".lcmp", Qt::CaseInsensitive);
}

void CArchiveCommands::ChooseAndOpen()
{
    QString path;
    if (archiveChooser)
    {
        path = archiveChooser();
    }
    else
    {
        QFileDialog dialog(&frame, "Open", lastFolder, ArchiveFileFilter());
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        // Archives from other systems often carry the extension in capitals.
        dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        {
            lastFolder = dialog.directory().absolutePath();
            path = dialog.selectedFiles().front();
        }
    }
    if (!path.isEmpty())
    {
        OpenArchive(path);
    }
}

bool CArchiveCommands::OpenArchive(const QString& path)
{
    if (!frame.View()->IsCapable())
    {
        return false;
    }
    frame.CloseScene();
    const std::string archivePath = QFile::encodeName(path).toStdString();
    ListAgain(archivePath);
    const std::vector<std::string> names = ListArchive(archivePath.c_str(), &frame);
    AddEntryCommands(names);
    frame.UpdateCommandUI();
    return !names.empty();
}

void CArchiveCommands::ListAgain(const std::string& archivePath)
{
    frame.View()->SetScene(
        std::unique_ptr<CLasFileSet>(CLasFileSet::CreateForArchive(archivePath.c_str())));
    frame.RebuildLoadedFilesMenu();
}

void CArchiveCommands::AddEntryCommands(const std::vector<std::string>& names)
{
    QMenu* menu = frame.Ribbon()->ArchiveOpenButton()->menu();
    CCommandTable& commands = frame.Commands();
    // Entries past the last command ID cannot be offered; an archive of that many is not made
    // for this viewer.
    for (std::size_t i = 0;
         i < names.size() && ID_COMPRESSION_ENTRY_FIRST + i <= ID_COMPRESSION_ENTRY_LAST; ++i)
    {
        const int id = ID_COMPRESSION_ENTRY_FIRST + static_cast<int>(i);
        menu->addAction(commands.AddPlace(id, QFile::decodeName(names[i].c_str()),
                                          CommandIcon(ID_COMPRESSION_OPEN)));
        commands.SetHandler(id, [this, id] { OpenArchiveEntry(id); });
    }
}

void CArchiveCommands::OpenArchiveEntry(int id)
{
    CQUARNView* view = frame.View();
    const CLasFileSet* listed = view->FileSet();
    if (id < ID_COMPRESSION_ENTRY_FIRST || id > ID_COMPRESSION_ENTRY_LAST || listed == nullptr ||
        listed->archivePath == nullptr)
    {
        return;
    }
    const std::string archivePath = listed->archivePath;
    view->sceneReady = false;
    view->currentArchiveEntry = id;
    frame.ReleaseScene();
    ListAgain(archivePath);
    const auto backToTheList = [&]
    {
        view->currentArchiveEntry = 0;
        frame.ReleaseScene();
        ListAgain(archivePath);
        frame.SetStatusText("Ready");
        frame.UpdateCommandUI();
    };

    // Listed again: the archive may have changed since its entries were offered.
    const std::vector<std::string> names = ListArchive(archivePath.c_str(), &frame);
    const auto index = static_cast<std::size_t>(id - ID_COMPRESSION_ENTRY_FIRST);
    if (index >= names.size())
    {
        backToTheList();
        return;
    }

    CCompressionDialog dialog({QFile::decodeName(archivePath.c_str()),
                               QFile::decodeName(names[index].c_str()), app.decompressPath},
                              &frame);
    dialog.SetAsker(asker);
    dialog.SetNotifier(&frame);
    if (dialogHook)
    {
        dialogHook(dialog);
    }
    dialog.exec();
    const std::string output = QFile::encodeName(dialog.OutputPath()).toStdString();
    const DecompressionOutcome outcome = dialog.Outcome();
    if (outcome == DecompressionOutcome::Aborted || outcome == DecompressionOutcome::Failed)
    {
        backToTheList();
        return;
    }

    // The file the user kept is theirs: loaded, never deleted.
    auto entry = std::unique_ptr<CLasFileSet>(CLasFileSet::CreateForArchive(archivePath.c_str()));
    entry->SetArchiveEntryPath(output.c_str(), outcome == DecompressionOutcome::Complete
                                                   ? EntryFile::Temporary
                                                   : EntryFile::UsersFile);
    try
    {
        entry->OpenFile(0, output.c_str());
    }
    catch (const CLasException& error)
    {
        frame.ShowMessage(error.GetErrorText(), CMainFrame::kErrorCaption, MessageIcon::Error,
                          error.GetDetail());
        backToTheList();
        return;
    }
    if (!frame.ShowScene(std::move(entry)))
    {
        backToTheList();
    }
}

} // namespace telvora

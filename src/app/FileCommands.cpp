// The file commands of the main frame: Open (also for the command line and dropped files), Close,
// Save, Save As and the menu of loaded files.

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <memory>
#include <new>

#include "app/AppIcons.h"
#include "app/ArchiveCommands.h"
#include "app/CrossSectionCommands.h"
#include "app/MainFrame.h"
#include "app/OpenMessages.h"
#include "app/QUARNApp.h"
#include "app/RibbonBar.h"
#include "common/PathHelpers.h"
#include "las/FileIdentity.h"
#include "las/LasException.h"
#include "las/LasFileCheck.h"
#include "las/LasIo.h"
#include "panes/FilePropertiesPane.h"
#include "panes/PointPropertiesPane.h"
#include "scene/LasFileSet.h"
#include "view/QUARNView.h"

namespace telvora
{
namespace
{

constexpr int kMaxOpenFiles = 50;
constexpr const char* kNothingToSave =
    "Nothing to save: changes are written straight into the opened files";

} // namespace

QString CMainFrame::LasFileFilter()
{
    return "LAS File (*.LAS *.las)";
}

bool CMainFrame::IsLasPath(const QString& path)
{
    return path.endsWith(".las", Qt::CaseInsensitive);
}

QStringList CMainFrame::RunLasDialog(const QString& title, int acceptMode, int fileMode)
{
    QFileDialog dialog(this, title, lastFolder, LasFileFilter());
    dialog.setAcceptMode(static_cast<QFileDialog::AcceptMode>(acceptMode));
    dialog.setFileMode(static_cast<QFileDialog::FileMode>(fileMode));
    // Files from other systems often carry the extension in capitals.
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    if (dialog.exec() != QDialog::Accepted)
    {
        return {};
    }
    lastFolder = dialog.directory().absolutePath();
    return dialog.selectedFiles();
}

void CMainFrame::ChooseAndOpen()
{
    QStringList paths;
    if (openChooser)
    {
        paths = openChooser();
    }
    else
    {
        paths = RunLasDialog("Open", QFileDialog::AcceptOpen, QFileDialog::ExistingFiles);
    }
    if (!paths.isEmpty())
    {
        OpenFiles(paths);
    }
}

bool CMainFrame::OpenFiles(const QStringList& chosen)
{
    if (chosen.isEmpty() || !view->IsCapable())
    {
        return false;
    }
    // An archive is listed, not loaded; among LAS files one is refused like any other file that
    // is not a LAS file.
    if (std::all_of(chosen.begin(), chosen.end(), CArchiveCommands::IsArchivePath))
    {
        return archives->OpenArchive(chosen.front());
    }
    view->sceneReady = false;
    CloseScene();

    // Files that cannot be shown are refused before anything is loaded, all of them in one
    // message; the others load as if they had been opened alone.
    // Another name of a file already accepted (the same path twice, a link, "./a.las") would
    // load its points twice, and a reclassification would write the file once per entry.
    QStringList accepted;
    std::vector<FileIdentity> acceptedFiles;
    std::vector<RefusedFile> refused;
    std::vector<SameFile> repeated;
    for (const QString& path : chosen.mid(0, kMaxOpenFiles))
    {
        try
        {
            FileIdentity identity;
            ReadCheckedLasHeader(QFile::encodeName(path).constData(), &identity);
            const auto same = std::find_if(acceptedFiles.begin(), acceptedFiles.end(),
                                           [&](const FileIdentity& other)
                                           {
                                               return identity.known && other.known &&
                                                      other.device == identity.device &&
                                                      other.inode == identity.inode;
                                           });
            if (same != acceptedFiles.end())
            {
                const QString& first = accepted[static_cast<int>(same - acceptedFiles.begin())];
                repeated.push_back({QFileInfo(path).fileName().toStdString(),
                                    QFileInfo(first).fileName().toStdString()});
                continue;
            }
            accepted << path;
            acceptedFiles.push_back(identity);
        }
        catch (const CLasException& error)
        {
            refused.push_back({error.GetErrorText(), error.GetDetail()});
        }
    }
    if (!refused.empty())
    {
        const OpenMessage message = RefusalMessage(refused);
        ShowMessage(message.text, kErrorCaption, MessageIcon::Error, message.detail);
    }
    if (!repeated.empty())
    {
        const OpenMessage message = SameFileMessage(repeated);
        ShowMessage(message.text, kErrorCaption, MessageIcon::Information, message.detail);
    }
    const bool loaded = !accepted.isEmpty() && LoadScene(accepted);
    if (!loaded)
    {
        SetStatusText("Ready");
    }
    if (chosen.size() > kMaxOpenFiles)
    {
        std::vector<std::string> names;
        for (const QString& path : chosen.mid(kMaxOpenFiles))
        {
            names.push_back(QFileInfo(path).fileName().toStdString());
        }
        const OpenMessage message = LeftOutMessage(names, kMaxOpenFiles);
        ShowMessage(message.text, kErrorCaption, MessageIcon::Information, message.detail);
    }
    return loaded;
}

bool CMainFrame::LoadScene(const QStringList& paths)
{
    std::unique_ptr<CLasFileSet> set;
    try
    {
        // The set becomes the view's only once every header has been read and the copies made,
        // so that a failure leaves nothing half loaded; its destructor removes copies it made.
        set = std::make_unique<CLasFileSet>(static_cast<std::int32_t>(paths.size()));
        for (int i = 0; i < paths.size(); ++i)
        {
            set->OpenFile(i, QFile::encodeName(paths[i]).constData());
        }
        if (app.temporaryFiles)
        {
            SetStatusText("Creating temporary files");
            set->CreateTemporaryCopies(QFile::encodeName(app.decompressPath).constData());
        }
    }
    catch (const CLasException& error)
    {
        ReportError(error);
        set.reset();
    }
    catch (const std::bad_alloc&)
    {
        ShowMessage("Not enough memory to load these files.", kErrorCaption, MessageIcon::Error,
                    {});
        set.reset();
    }
    if (set == nullptr)
    {
        ReleaseScene();
        SetProgressPos(0);
        RebuildLoadedFilesMenu();
        return false;
    }
    return ShowScene(std::move(set));
}

bool CMainFrame::ShowScene(std::unique_ptr<CLasFileSet> set)
{
    bool failed = true;
    try
    {
        view->SetScene(std::move(set));
        // A file that vanished or changed since it was checked has been reported once already.
        failed = !view->PreprocessScene(*this, this);
    }
    catch (const CLasException& error)
    {
        ReportError(error);
    }
    catch (const std::bad_alloc&)
    {
        ShowMessage("Not enough memory to load these files.", kErrorCaption, MessageIcon::Error,
                    {});
    }
    if (failed)
    {
        ReleaseScene();
        SetProgressPos(0);
        RebuildLoadedFilesMenu();
        return false;
    }
    ShowClassCounts();
    RebuildLoadedFilesMenu();
    FinishCommand();
    view->sceneReady = true;
    view->update();
    UpdateCommandUI();
    return true;
}

void CMainFrame::CloseScene()
{
    view->sceneReady = false;
    view->currentArchiveEntry = 0;
    ReleaseScene();
    for (int id = ID_COMPRESSION_ENTRY_FIRST; id <= ID_COMPRESSION_ENTRY_LAST; ++id)
    {
        if (commands.Contains(id))
        {
            commands.Remove(id);
        }
    }
    ribbon->ArchiveOpenButton()->menu()->clear();
    RebuildLoadedFilesMenu();
    UpdateCommandUI();
}

void CMainFrame::ReleaseScene()
{
    // No pane or window may keep a pointer into the set once it is gone.
    crossSections->CloseCrossSection();
    pointProperties->ClearPoint();
    fileProperties->ClearFileSet();
    view->ReleaseScene();
}

void CMainFrame::SaveFiles()
{
    CLasFileSet* set = view->FileSet();
    // Only a set opened on temporary copies has originals to write back. It is the way the set
    // was opened that counts: were the setting switched off since, the copies with the user's
    // changes would otherwise be deleted unsaved at Close.
    if (set == nullptr)
    {
        return;
    }
    if (set->sourcePaths == nullptr)
    {
        // Without temporary copies there is nothing to write back, which the user should not
        // have to guess.
        SetStatusText(kNothingToSave);
        return;
    }
    try
    {
        set->SaveCopies();
    }
    catch (const CLasException& error)
    {
        ReportError(error);
        return;
    }
    SetStatusText("Done");
}

void CMainFrame::ChooseAndSaveAs()
{
    QString path;
    if (saveAsChooser)
    {
        path = saveAsChooser();
    }
    else
    {
        const QStringList chosen =
            RunLasDialog("Save As", QFileDialog::AcceptSave, QFileDialog::AnyFile);
        if (!chosen.isEmpty())
        {
            path = chosen.front();
        }
    }
    if (!path.isEmpty())
    {
        SaveVisibleFileAs(path);
    }
}

bool CMainFrame::SaveVisibleFileAs(const QString& path)
{
    CLasFileSet* set = view->FileSet();
    if (set == nullptr || path.isEmpty())
    {
        return false;
    }
    int chosen = -1;
    for (int i = 0; i < set->count; ++i)
    {
        if (set->visible[i] != 0)
        {
            chosen = i;
        }
    }
    if (chosen < 0 || set->files[chosen].path == nullptr)
    {
        return false;
    }
    // Writing over another file of the scene would change a file whose points are on screen
    // (and into which a reclassification would later write at the old offsets), or make two
    // files of the set save onto one.
    const QFileInfo target(path);
    for (int i = 0; i < set->count; ++i)
    {
        if (i == chosen)
        {
            continue;
        }
        const bool working = set->files[i].path != nullptr &&
                             QFileInfo(QFile::decodeName(set->files[i].path)) == target;
        const bool original = set->sourcePaths != nullptr && set->sourcePaths[i] != nullptr &&
                              QFileInfo(QFile::decodeName(set->sourcePaths[i])) == target;
        if (working || original)
        {
            ShowMessage("The file is one of the files loaded now. Please choose another name.",
                        kErrorCaption, MessageIcon::Error, {});
            return false;
        }
    }
    try
    {
        set->SaveFileAs(chosen, QFile::encodeName(path).constData());
    }
    catch (const CLasException& error)
    {
        ReportError(error);
        return false;
    }
    if (set->sourcePaths == nullptr)
    {
        RebuildLoadedFilesMenu();
    }
    SetStatusText("Done");
    return true;
}

void CMainFrame::RebuildLoadedFilesMenu()
{
    QMenu* menu = ribbon->LoadedFilesButton()->menu();
    menu->clear();
    for (int id = ID_VIEW_FILE_FIRST; id <= ID_VIEW_FILE_LAST; ++id)
    {
        if (commands.Contains(id))
        {
            commands.Remove(id);
        }
    }
    commands.Remove(ID_VIEW_FILE_ALL);
    commands.Remove(ID_VIEW_FILE_NONE);
    CLasFileSet* set = view->FileSet();
    // A listed archive has loaded nothing yet.
    if (set == nullptr || (set->count == 1 && set->files[0].path == nullptr))
    {
        fileProperties->ClearFileSet();
        UpdateCommandUI();
        return;
    }
    fileProperties->SetFileSet(set);
    for (int i = 0; i < set->count && ID_VIEW_FILE_FIRST + i <= ID_VIEW_FILE_LAST; ++i)
    {
        const int id = ID_VIEW_FILE_FIRST + i;
        const char* path = set->files[i].path;
        const QString name =
            path != nullptr ? QString::fromStdString(std::string(FileNameOf(path))) : QString();
        menu->addAction(commands.AddPlace(id, name, CommandIcon(ID_VIEW_FILE_FIRST)));
        commands.SetHandler(id,
                            [this, i]
                            {
                                CLasFileSet* current = view->FileSet();
                                if (current != nullptr && i < current->count)
                                {
                                    current->visible[i] = current->visible[i] != 0 ? 0 : 1;
                                    view->update();
                                }
                                UpdateCommandUI();
                            });
    }
    menu->addSeparator();
    const auto setAll = [this](unsigned char value)
    {
        CLasFileSet* current = view->FileSet();
        if (current != nullptr)
        {
            std::fill(current->visible, current->visible + current->count, value);
            view->update();
        }
        UpdateCommandUI();
    };
    menu->addAction(commands.AddPlace(ID_VIEW_FILE_ALL, "All", CommandIcon(ID_VIEW_FILE_ALL)));
    commands.SetHandler(ID_VIEW_FILE_ALL, [setAll] { setAll(1); });
    menu->addAction(commands.AddPlace(ID_VIEW_FILE_NONE, "None", CommandIcon(ID_VIEW_FILE_NONE)));
    commands.SetHandler(ID_VIEW_FILE_NONE, [setAll] { setAll(0); });
    UpdateCommandUI();
}

} // namespace telvora

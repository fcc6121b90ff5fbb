#include "app/MainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QOpenGLContext>
#include <QProgressBar>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <memory>
#include <new>

#include "app/AboutDialog.h"
#include "app/AppIcons.h"
#include "app/AppLook.h"
#include "app/ArchiveCommands.h"
#include "app/CrossSectionCommands.h"
#include "app/MessageBoxNotifier.h"
#include "app/OpenMessages.h"
#include "app/OptionsDialog.h"
#include "app/QUARNApp.h"
#include "app/RibbonBar.h"
#include "common/PathHelpers.h"
#include "las/LasException.h"
#include "las/LasFileCheck.h"
#include "las/LasHeader.h"
#include "las/LasIo.h"
#include "panes/FilePropertiesPane.h"
#include "panes/PointPropertiesPane.h"
#include "scene/LasFileSet.h"
#include "view/FrameRendering.h"
#include "view/QUARNView.h"

namespace telvora
{
namespace
{

constexpr const char* kApplicationLook = "ApplicationLook";
constexpr const char* kErrorCaption = "Telvora";
constexpr int kMaxOpenFiles = 50;
constexpr const char* kNothingToSave =
    "Nothing to save: changes are written straight into the opened files";
// Often enough that a menu or button never shows a stale state for long, rarely enough to
// cost nothing while the window idles.
constexpr int kIdleUpdateMs = 250;
// Ten times a second is smooth enough for a bar; a hundred steps per file would otherwise cost
// as much as the work they report.
constexpr int kProgressRedrawMs = 100;

// Drawing a widget of the window can make the window's compositing context current. Long work in
// the view fills buffers between two progress steps, and must find its own context current again.
class KeepCurrentContext
{
public:
    explicit KeepCurrentContext(CQUARNView& owner)
        : view(owner)
        , context(QOpenGLContext::currentContext())
        , surface(context != nullptr ? context->surface() : nullptr)
    {
    }
    ~KeepCurrentContext()
    {
        if (context == nullptr || QOpenGLContext::currentContext() == context)
        {
            return;
        }
        if (context == view.QOpenGLWidget::context())
        {
            view.makeCurrent();
        }
        else
        {
            context->makeCurrent(surface);
        }
    }
    KeepCurrentContext(const KeepCurrentContext&) = delete;
    KeepCurrentContext& operator=(const KeepCurrentContext&) = delete;

private:
    CQUARNView& view;
    QOpenGLContext* context;
    QSurface* surface;
};

// No close button: a closed pane could not be brought back, not even after a restart.
QDockWidget* MakePane(const QString& title, const QString& name, QWidget* parent)
{
    auto* pane = new QDockWidget(title, parent);
    pane->setObjectName(name);
    pane->setAccessibleName(title);
    pane->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    pane->setAllowedAreas(Qt::AllDockWidgetAreas);
    pane->setWindowIcon(CommandIcon(ID_VIEW_FILE));
    return pane;
}

} // namespace

CMainFrame::CMainFrame(CQUARNApp& application, QWidget* parent)
    : QMainWindow(parent)
    , app(application)
    , commands(this)
    , archives(std::make_unique<CArchiveCommands>(*this, application))
{
    setObjectName("mainFrame");
    setWindowTitle("Telvora");
    setWindowIcon(AppIcon());
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks |
                   QMainWindow::AllowTabbedDocks);
    setAcceptDrops(true);

    const auto settings = CQUARNApp::OpenSettings();
    const int storedLook = settings->value(kApplicationLook, ID_VIEW_APPLOOK_WINDOWS_7).toInt();
    ApplyApplicationLook(IsLookId(storedLook) ? storedLook : ID_VIEW_APPLOOK_WINDOWS_7);

    view = new CQUARNView(this);
    view->setObjectName("view");
    view->SetNotifier(this);
    setCentralWidget(view);
    crossSections = new CCrossSectionCommands(this, *view, this);
    // A failed requirement check has already explained itself; the application ends.
    connect(view, &CQUARNView::requirementsNotMet, this, &QWidget::close, Qt::QueuedConnection);
    connect(view, &CQUARNView::openRequested, this, [this] { commands.Execute(ID_FILE_OPEN); });
    connect(view, &CQUARNView::contextReady, this, &CMainFrame::UpdateCommandUI);
    // The count of the frame just drawn, not of one a quarter of a second old. While the camera
    // moves, the pane follows at the pace of the idle update instead: each change of its text
    // puts the window together again, which would cost a moving frame a third of its time
    // without a GPU.
    connect(view, &CQUARNView::framePainted, this,
            [this]
            {
                if (view->lastPointBudget >= kFullPointBudget)
                {
                    ShowDrawnPoints();
                }
            });

    ribbon = new CRibbonBar(commands, this);
    setMenuWidget(ribbon);
    CreateStatusBar();
    CreatePanes();
    ConnectCommands();

    // Until a stored placement says otherwise, restoring from maximized (or a desktop without
    // a window manager) gives a comfortable window in the middle of the screen.
    if (const QScreen* primary = QGuiApplication::primaryScreen())
    {
        const QRect available = primary->availableGeometry();
        const QSize size(available.width() * 4 / 5, available.height() * 4 / 5);
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, available));
    }

    connect(ribbon->FileMenu(), &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    connect(ribbon->StyleMenu(), &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    connect(&idleTimer, &QTimer::timeout, this, &CMainFrame::UpdateCommandUI);
    idleTimer.start(kIdleUpdateMs);
    UpdateCommandUI();
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    statusText = new QLabel("Ready");
    statusText->setObjectName("statusTextPane");
    statusText->setAccessibleName("Status");
    bar->addWidget(statusText, 1);

    progressBar = new QProgressBar;
    progressBar->setObjectName("progressBar");
    progressBar->setAccessibleName("Progress");
    progressBar->setFixedSize(300, 22);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);
    bar->addWidget(progressBar);
    progressBar->hide();

    lodPane = new QToolButton;
    lodPane->setObjectName("lodPane");
    lodPane->setAutoRaise(true);
    QAction* lod = commands.AddPlace(ID_STATUSBAR_PANE_LOD, "LOD");
    lodPane->setDefaultAction(lod);
    bar->addPermanentWidget(lodPane);

    pointsPane = new QLabel;
    pointsPane->setObjectName("pointsPane");
    pointsPane->setAccessibleName("Points");
    pointsPane->setMinimumWidth(
        pointsPane->fontMetrics().horizontalAdvance("Drawing Points: 000000000") + 8);
    bar->addPermanentWidget(pointsPane);
}

void CMainFrame::CreatePanes()
{
    filePane = MakePane("File Properties", "FileProperties", this);
    pointPane = MakePane("Point Properties", "PointProperties", this);
    fileProperties = new CPropertiesFileWnd(this, filePane);
    fileProperties->setMinimumSize(200, 200);
    filePane->setWidget(fileProperties);
    pointProperties = new CPropertiesPointWnd(this, pointPane);
    pointProperties->setMinimumSize(200, 200);
    pointPane->setWidget(pointProperties);
    connect(pointProperties, &CPropertiesPointWnd::pointShown, this,
            [this]
            {
                pointPane->show();
                pointPane->raise();
            });
    // The set is the view's; the point pane copies the record it shows.
    connect(view, &CQUARNView::pointPicked, this,
            [this](int file, quint32 index)
            {
                const CLasFileSet* set = view->FileSet();
                if (set != nullptr && file >= 0 && file < set->count)
                {
                    pointProperties->ShowPoint(set->files[file], index);
                }
            });
    connect(view, &CQUARNView::pickCleared, pointProperties, &CPropertiesPointWnd::ClearPoint);
    addDockWidget(Qt::RightDockWidgetArea, filePane);
    addDockWidget(Qt::RightDockWidgetArea, pointPane);
    splitDockWidget(filePane, pointPane, Qt::Vertical);
    // Wide enough for a name and a coordinate side by side.
    resizeDocks({filePane}, {360}, Qt::Horizontal);
}

void CMainFrame::ConnectCommands()
{
    commands.SetHandler(ID_APP_OPTIONS, [this] { ShowOptions(); });
    commands.SetHandler(ID_APP_EXIT, [this] { close(); });
    commands.SetHandler(ID_APP_ABOUT, [this] { ShowAbout(); });
    for (int id = ID_VIEW_APPLOOK_OFF_2007_BLUE; id <= ID_VIEW_APPLOOK_WINDOWS_7; ++id)
    {
        commands.SetHandler(id, [this, id] { ApplyApplicationLook(id); });
    }
    commands.SetHandler(ID_VIEW_STATUS_BAR,
                        [this]
                        {
                            statusBar()->setVisible(!statusBar()->isVisible());
                            UpdateCommandUI();
                        });
    commands.SetHandler(ID_STATUSBAR_PANE_LOD,
                        [this]
                        {
                            view->lodEnabled = !view->lodEnabled;
                            view->update();
                            UpdateCommandUI();
                        });
    // The button only carries the menu of loaded files.
    commands.SetHandler(ID_VIEW_FILE, [] {});
    commands.SetHandler(ID_FILE_OPEN, [this] { ChooseAndOpen(); });
    commands.SetHandler(ID_FILE_CLOSE, [this] { CloseScene(); });
    crossSections->Connect(commands);
    commands.SetHandler(ID_FILE_SAVE, [this] { SaveFiles(); });
    commands.SetHandler(ID_FILE_SAVE_AS, [this] { ChooseAndSaveAs(); });
    commands.SetHandler(ID_COMPRESSION_OPEN, [this] { archives->ChooseAndOpen(); });
    for (int id = ID_VIEW_INTENSITY; id <= ID_VIEW_COLOR; ++id)
    {
        commands.SetHandler(id, [this, id] { ApplyColorMode(id); });
    }
}

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
    QStringList accepted;
    std::vector<RefusedFile> refused;
    for (const QString& path : chosen.mid(0, kMaxOpenFiles))
    {
        try
        {
            ReadCheckedLasHeader(QFile::encodeName(path).constData());
            accepted << path;
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
        for (int i = 0; i < set->count; ++i)
        {
            const char* working = set->files[i].path;
            const char* original = set->sourcePaths[i];
            // A decompressed archive entry is its own original; copying a file onto itself does
            // nothing.
            if (working != nullptr && original != nullptr)
            {
                CopyLasFile(working, original);
            }
        }
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
    const QByteArray destination = QFile::encodeName(path);
    try
    {
        CopyLasFile(set->files[chosen].path, destination.constData());
    }
    catch (const CLasException& error)
    {
        ReportError(error);
        return false;
    }
    if (set->sourcePaths != nullptr)
    {
        delete[] set->sourcePaths[chosen];
        set->sourcePaths[chosen] = new char[destination.size() + 1];
        std::copy(destination.constData(), destination.constData() + destination.size() + 1,
                  set->sourcePaths[chosen]);
    }
    else
    {
        set->files[chosen].SetPath(destination.constData());
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

void CMainFrame::ApplyColorMode(int id)
{
    if (view->FileSet() == nullptr)
    {
        return;
    }
    view->ColorBy(id, *this, this);
    FinishCommand();
    UpdateCommandUI();
}

void CMainFrame::FinishCommand()
{
    SetProgressPos(0);
    statusBar()->update();
    SetStatusText("Done");
}

void CMainFrame::ReportError(const CLasException& error)
{
    ShowMessage(error.GetErrorText(), kErrorCaption, MessageIcon::Error, error.GetDetail());
}

QStringList CMainFrame::OpenablePathsOf(const QMimeData* data)
{
    QStringList paths;
    if (data == nullptr || !data->hasUrls())
    {
        return paths;
    }
    for (const QUrl& url : data->urls())
    {
        if (url.isLocalFile() &&
            (IsLasPath(url.toLocalFile()) || CArchiveCommands::IsArchivePath(url.toLocalFile())))
        {
            paths << url.toLocalFile();
        }
    }
    return paths;
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    if (view->IsCapable() && !OpenablePathsOf(event->mimeData()).isEmpty())
    {
        event->acceptProposedAction();
    }
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    const QStringList paths = OpenablePathsOf(event->mimeData());
    if (paths.isEmpty())
    {
        return;
    }
    event->acceptProposedAction();
    // Not inside the drop: the program the files came from would wait for the whole load.
    QTimer::singleShot(0, this, [this, paths] { OpenFiles(paths); });
}

UiState CMainFrame::CurrentUiState() const
{
    UiState state;
    state.capable = view->IsCapable();
    const CLasFileSet* set = view->FileSet();
    // An archive whose entries are only listed: its one file has no path yet.
    if (set != nullptr && set->count == 1 && set->files[0].path == nullptr)
    {
        state.archiveListed = true;
    }
    else if (set != nullptr)
    {
        state.hasSet = true;
        state.fileCount = set->count;
        state.allFilesHaveColor = set->count > 0;
        for (int i = 0; i < set->count; ++i)
        {
            if (set->visible[i] != 0)
            {
                ++state.visibleCount;
                if (i < 64)
                {
                    state.visibleFiles |= std::uint64_t{1} << i;
                }
            }
            const LasHeader* header = set->files[i].header;
            if (header == nullptr || header->pointDataFormatId <= 1)
            {
                state.allFilesHaveColor = false;
            }
        }
    }
    state.colorMode = view->colorMode;
    state.currentArchiveEntry = view->currentArchiveEntry;
    state.lodEnabled = view->lodEnabled;
    state.statusBarVisible = statusBar()->isVisibleTo(this);
    state.look = look;
    crossSections->Fill(state);
    return state;
}

void CMainFrame::UpdateCommandUI()
{
    commands.Update(CurrentUiState());
    ShowDrawnPoints();
}

void CMainFrame::ShowDrawnPoints()
{
    if (pointsPane != nullptr)
    {
        pointsPane->setText(QString("Draving Points: %1").arg(view->drawnPoints));
    }
}

void CMainFrame::ApplyApplicationLook(int id)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    look = id;
    ApplyLook(id);
    if (!app.keepSettings)
    {
        CQUARNApp::OpenSettings()->setValue(kApplicationLook, id);
    }
    update();
    QApplication::restoreOverrideCursor();
    if (ribbon != nullptr)
    {
        UpdateCommandUI();
    }
}

void CMainFrame::SetStatusText(const std::string& text)
{
    const KeepCurrentContext keep(*view);
    statusText->setText(QString::fromStdString(text));
    statusBar()->repaint();
}

void CMainFrame::SetProgressRange(int lower, int upper)
{
    progressBar->setRange(lower, std::max(lower, upper));
    SetProgressPos(progressPos);
}

int CMainFrame::GetProgressPos() const
{
    return progressPos;
}

void CMainFrame::SetProgressPos(int pos)
{
    progressPos = std::clamp(pos, progressBar->minimum(), progressBar->maximum());
    const bool show = progressPos != 0;
    const bool shownChanges = progressBar->isVisibleTo(this) != show;
    // The bar draws itself at once whenever its value moves a pixel, and so does the window
    // around it: between two draws the position is only remembered.
    if (!shownChanges && progressDrawn.isValid() && progressDrawn.elapsed() < kProgressRedrawMs)
    {
        return;
    }
    const KeepCurrentContext keep(*view);
    progressBar->setValue(progressPos);
    if (shownChanges)
    {
        progressBar->setVisible(show);
        // Long work keeps the event loop from laying the bar out on its own.
        QCoreApplication::sendPostedEvents(statusBar(), QEvent::LayoutRequest);
        progressBar->repaint();
    }
    progressDrawn.start();
}

void CMainFrame::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                             const std::string& detail)
{
    // A message in the middle of preprocessing: the work goes on in the view's context.
    const KeepCurrentContext keep(*view);
    if (messageSink != nullptr)
    {
        messageSink->ShowMessage(text, caption, icon, detail);
        return;
    }
    CMessageBoxNotifier(this).ShowMessage(text, caption, icon, detail);
}

void CMainFrame::ShowOptions()
{
    if (optionsRunner)
    {
        optionsRunner();
    }
    else
    {
        COptionsDialog dialog(app, this);
        dialog.exec();
    }
    view->reduceDetailWhileMoving = app.reduceDetailWhileMoving;
}

void CMainFrame::ShowAbout()
{
    CAboutDlg dialog(this);
    dialog.exec();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (!settingsSaved)
    {
        app.SaveCustomState(*this);
        settingsSaved = true;
    }
    idleTimer.stop();
    event->accept();
}

void CMainFrame::focusInEvent(QFocusEvent* event)
{
    QMainWindow::focusInEvent(event);
    view->setFocus();
}

} // namespace telvora

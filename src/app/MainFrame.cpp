#include "app/MainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
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
#include <array>
#include <memory>

#include "app/AboutDialog.h"
#include "app/AppIcons.h"
#include "app/AppLook.h"
#include "app/ArchiveCommands.h"
#include "app/CrossSectionCommands.h"
#include "app/MeasureCommands.h"
#include "app/MessageBoxNotifier.h"
#include "app/OptionsDialog.h"
#include "app/QUARNApp.h"
#include "app/RibbonBar.h"
#include "las/LasException.h"
#include "las/LasHeader.h"
#include "panes/ClassesPane.h"
#include "panes/FilePropertiesPane.h"
#include "panes/PointPropertiesPane.h"
#include "scene/LasFileSet.h"
#include "scene/PointTree.h"
#include "view/FrameRendering.h"
#include "view/QUARNView.h"

namespace telvora
{
namespace
{

constexpr const char* kApplicationLook = "ApplicationLook";
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
    crossSections->SetClassesChanged([this] { ShowClassCounts(); });
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
    // After the panes: a pick shows the record in the point pane before it becomes an end.
    measuring = new CMeasureCommands(this, *view, *pointProperties, *this);
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

CMainFrame::~CMainFrame()
{
    // Measuring writes to the frame's status text, and the view's end drops the measurement: it
    // goes while the frame is still whole.
    delete measuring;
    measuring = nullptr;
}

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

    // The classes pane waits behind the point pane until the user asks for it from the ribbon,
    // so that the window looks as it always has.
    classesPane = MakePane("Classes", "Classes", this);
    classes = new CClassesWnd(classesPane);
    classes->setObjectName("classesWnd");
    classes->setMinimumSize(200, 200);
    classesPane->setWidget(classes);
    addDockWidget(Qt::RightDockWidgetArea, classesPane);
    tabifyDockWidget(pointPane, classesPane);
    classesPane->hide();
    connect(classes, &CClassesWnd::filterChanged, view, &CQUARNView::SetPointFilter);
    connect(view, &CQUARNView::sceneReleasing, classes, &CClassesWnd::Clear);
}

void CMainFrame::ShowClassCounts()
{
    std::array<std::uint64_t, 256> counts{};
    const CLasFileSet* set = view->FileSet();
    for (int i = 0; set != nullptr && i < set->count; ++i)
    {
        if (const CPointTree* tree = view->Trees()[i])
        {
            for (std::size_t code = 0; code < counts.size(); ++code)
            {
                counts[code] += tree->classCounts[code];
            }
        }
    }
    classes->SetCounts(counts);
    // Codes the new files lack are no longer hidden: the view follows the pane.
    const PointFilter& shown = classes->Filter();
    const PointFilter& applied = view->CurrentPointFilter();
    if (shown.hiddenClasses != applied.hiddenClasses || shown.returns != applied.returns)
    {
        view->SetPointFilter(shown);
    }
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
    commands.SetHandler(ID_VIEW_CLASSES,
                        [this]
                        {
                            classesPane->setVisible(!classesPane->isVisibleTo(this));
                            if (classesPane->isVisibleTo(this))
                            {
                                classesPane->raise();
                            }
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
    measuring->Connect(commands);
    commands.SetHandler(ID_FILE_SAVE, [this] { SaveFiles(); });
    commands.SetHandler(ID_FILE_SAVE_AS, [this] { ChooseAndSaveAs(); });
    commands.SetHandler(ID_COMPRESSION_OPEN, [this] { archives->ChooseAndOpen(); });
    for (int id = ID_VIEW_INTENSITY; id <= ID_VIEW_COLOR; ++id)
    {
        commands.SetHandler(id, [this, id] { ApplyColorMode(id); });
    }
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
    state.classesPaneVisible = classesPane->isVisibleTo(this);
    state.look = look;
    crossSections->Fill(state);
    measuring->Fill(state);
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

#include "app/MainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <algorithm>

#include "app/AboutDialog.h"
#include "app/AppIcons.h"
#include "app/AppLook.h"
#include "app/MessageBoxNotifier.h"
#include "app/OptionsDialog.h"
#include "app/QUARNApp.h"
#include "app/RibbonBar.h"
#include "view/QUARNView.h"

namespace telvora
{
namespace
{

constexpr const char* kApplicationLook = "ApplicationLook";
// Often enough that a menu or button never shows a stale state for long, rarely enough to
// cost nothing while the window idles.
constexpr int kIdleUpdateMs = 250;

QDockWidget* MakePane(const QString& title, const QString& name, QWidget* parent)
{
    auto* pane = new QDockWidget(title, parent);
    pane->setObjectName(name);
    pane->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                      QDockWidget::DockWidgetFloatable);
    pane->setAllowedAreas(Qt::AllDockWidgetAreas);
    pane->setWindowIcon(CommandIcon(ID_VIEW_FILE));
    auto* content = new QWidget(pane);
    content->setMinimumSize(200, 200);
    pane->setWidget(content);
    return pane;
}

} // namespace

CMainFrame::CMainFrame(CQUARNApp& application, QWidget* parent)
    : QMainWindow(parent)
    , app(application)
    , commands(this)
{
    setObjectName("mainFrame");
    setWindowTitle("Telvora");
    setWindowIcon(AppIcon());
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks |
                   QMainWindow::AllowTabbedDocks);

    const auto settings = CQUARNApp::OpenSettings();
    const int storedLook = settings->value(kApplicationLook, ID_VIEW_APPLOOK_WINDOWS_7).toInt();
    ApplyApplicationLook(IsLookId(storedLook) ? storedLook : ID_VIEW_APPLOOK_WINDOWS_7);

    view = new CQUARNView(this);
    view->setObjectName("view");
    view->SetNotifier(this);
    setCentralWidget(view);
    // A failed requirement check has already explained itself; the application ends.
    connect(view, &CQUARNView::requirementsNotMet, this, &QWidget::close, Qt::QueuedConnection);

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
    addDockWidget(Qt::RightDockWidgetArea, filePane);
    addDockWidget(Qt::RightDockWidgetArea, pointPane);
    splitDockWidget(filePane, pointPane, Qt::Vertical);
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
}

UiState CMainFrame::CurrentUiState() const
{
    UiState state;
    state.capable = view->IsCapable();
    state.colorMode = view->colorMode;
    state.currentArchiveEntry = view->currentArchiveEntry;
    state.lodEnabled = view->lodEnabled;
    state.statusBarVisible = statusBar()->isVisibleTo(this);
    state.look = look;
    return state;
}

void CMainFrame::UpdateCommandUI()
{
    commands.Update(CurrentUiState());
    pointsPane->setText(QString("Draving Points: %1").arg(view->drawnPoints));
}

void CMainFrame::ApplyApplicationLook(int id)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    look = id;
    ApplyLook(id);
    const auto settings = CQUARNApp::OpenSettings();
    settings->setValue(kApplicationLook, id);
    update();
    QApplication::restoreOverrideCursor();
    if (ribbon != nullptr)
    {
        UpdateCommandUI();
    }
}

void CMainFrame::SetStatusText(const std::string& text)
{
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
    progressBar->setValue(progressPos);
    const bool show = progressPos != 0;
    if (progressBar->isVisibleTo(this) != show)
    {
        progressBar->setVisible(show);
        // Long work keeps the event loop from laying the bar out on its own.
        QCoreApplication::sendPostedEvents(statusBar(), QEvent::LayoutRequest);
    }
    progressBar->repaint();
}

void CMainFrame::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon)
{
    if (messageSink != nullptr)
    {
        messageSink->ShowMessage(text, caption, icon);
        return;
    }
    CMessageBoxNotifier(this).ShowMessage(text, caption, icon);
}

void CMainFrame::ShowOptions()
{
    if (optionsRunner)
    {
        optionsRunner();
        return;
    }
    COptionsDialog dialog(app, this);
    dialog.exec();
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

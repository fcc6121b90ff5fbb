#pragma once

#include <QMainWindow>
#include <QTimer>

#include "app/CommandTable.h"
#include "common/Notifier.h"
#include "common/StatusServices.h"

class QDockWidget;
class QLabel;
class QProgressBar;
class QToolButton;

namespace telvora
{

class CQUARNApp;
class CQUARNView;
class CRibbonBar;

// The single top-level window: ribbon, status bar, the two property panes and the 3D view as
// its central widget. It routes every command, and it is the status services and the message
// boxes for the code below it.
class CMainFrame : public QMainWindow, public IStatusServices, public INotifier
{
public:
    explicit CMainFrame(CQUARNApp& app, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CQUARNView* View() const { return view; }
    CCommandTable& Commands() { return commands; }
    CRibbonBar* Ribbon() const { return ribbon; }
    QDockWidget* FilePropertiesPane() const { return filePane; }
    QDockWidget* PointPropertiesPane() const { return pointPane; }
    QLabel* StatusTextPane() const { return statusText; }
    QProgressBar* ProgressBar() const { return progressBar; }
    QToolButton* LodPane() const { return lodPane; }
    QLabel* PointsPane() const { return pointsPane; }

    // What the enable and check rules see right now.
    UiState CurrentUiState() const;
    // Runs every command's update rule and refreshes the points pane.
    void UpdateCommandUI();

    // The current look (command 215 to 219); applying one stores it as "ApplicationLook".
    int CurrentLook() const { return look; }
    void ApplyApplicationLook(int id);

    // IStatusServices
    void SetStatusText(const std::string& text) override;
    void SetProgressRange(int lower, int upper) override;
    int GetProgressPos() const override;
    void SetProgressPos(int pos) override;

    // INotifier: a message box owned by this window, or the sink tests put in its place.
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    void SetMessageSink(INotifier* sink) { messageSink = sink; }

    // The options dialog is modal; tests replace how it is run.
    void SetOptionsRunner(std::function<void()> runner) { optionsRunner = std::move(runner); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void CreateStatusBar();
    void CreatePanes();
    void ConnectCommands();
    void ShowOptions();
    void ShowAbout();

    CQUARNApp& app;
    CCommandTable commands;
    CRibbonBar* ribbon = nullptr;
    QLabel* statusText = nullptr;
    QProgressBar* progressBar = nullptr;
    QToolButton* lodPane = nullptr;
    QLabel* pointsPane = nullptr;
    QDockWidget* filePane = nullptr;
    QDockWidget* pointPane = nullptr;
    CQUARNView* view = nullptr;
    QTimer idleTimer;
    int progressPos = 0;
    int look = ID_VIEW_APPLOOK_WINDOWS_7;
    INotifier* messageSink = nullptr;
    std::function<void()> optionsRunner;
    bool settingsSaved = false;
};

} // namespace telvora

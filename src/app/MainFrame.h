#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/CommandTable.h"
#include "common/Notifier.h"
#include "common/StatusServices.h"

class QDockWidget;
class QMimeData;
class QLabel;
class QProgressBar;
class QToolButton;

namespace telvora
{

class CArchiveCommands;
class CClassesWnd;
class CCrossSectionCommands;
class CMeasureCommands;
class CLasException;
class CLasFileSet;
class CPropertiesFileWnd;
class CPropertiesPointWnd;
class CQUARNApp;
class CQUARNView;
class CRibbonBar;

// The single top-level window: ribbon, status bar, the two property panes and the 3D view as
// its central widget. It routes every command, and it is the status services and the message
// boxes for the code below it.
class CMainFrame : public QMainWindow, public IStatusServices, public INotifier
{
public:
    // The caption of the frame's own error messages.
    static constexpr const char* kErrorCaption = "Telvora";

    explicit CMainFrame(CQUARNApp& app, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CQUARNView* View() const { return view; }
    CCommandTable& Commands() { return commands; }
    CArchiveCommands& Archives() { return *archives; }
    CRibbonBar* Ribbon() const { return ribbon; }
    QDockWidget* FilePropertiesPane() const { return filePane; }
    QDockWidget* PointPropertiesPane() const { return pointPane; }
    QDockWidget* ClassesPane() const { return classesPane; }
    CClassesWnd* Classes() const { return classes; }
    CPropertiesFileWnd* FileProperties() const { return fileProperties; }
    CPropertiesPointWnd* PointProperties() const { return pointProperties; }
    CCrossSectionCommands* CrossSections() const { return crossSections; }
    CMeasureCommands* Measuring() const { return measuring; }
    QLabel* StatusTextPane() const { return statusText; }
    QProgressBar* ProgressBar() const { return progressBar; }
    QToolButton* LodPane() const { return lodPane; }
    QLabel* PointsPane() const { return pointsPane; }

    // What the enable and check rules see right now.
    UiState CurrentUiState() const;
    // Runs every command's update rule and refreshes the points pane.
    void UpdateCommandUI();

    // The current look (command 215 to 219); applying one stores it as "ApplicationLook" (unless
    // the application keeps its settings untouched).
    int CurrentLook() const { return look; }
    void ApplyApplicationLook(int id);

    // IStatusServices
    void SetStatusText(const std::string& text) override;
    void SetProgressRange(int lower, int upper) override;
    int GetProgressPos() const override;
    void SetProgressPos(int pos) override;

    // INotifier: a message box owned by this window, or the sink tests put in its place.
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                     const std::string& detail) override;
    void SetMessageSink(INotifier* sink) { messageSink = sink; }

    // The options dialog is modal; tests replace how it is run.
    void SetOptionsRunner(std::function<void()> runner) { optionsRunner = std::move(runner); }

    // What the Open command does once files are chosen (also for the command line and dropped
    // files): closes the scene and loads at most 50 of the paths, in their order. Files that
    // cannot be shown are refused in one message naming each and saying why, and the others
    // load; the files beyond 50 are named in a message of their own. A failure while the points
    // are read leaves the view empty. True when the scene was loaded. Paths that are all archives
    // open the first archive instead, as Compression > Open does (true when it lists entries).
    bool OpenFiles(const QStringList& paths);
    // Makes the set, whose headers have been read, the scene: preprocessing, the loaded-files menu,
    // the file pane and "Done". A failure is reported and leaves the view without a set.
    bool ShowScene(std::unique_ptr<CLasFileSet> set);
    // Close: releases the scene and empties the menus of loaded files and archive entries.
    void CloseScene();
    // Empties both panes, then releases the view's scene; the menus stay.
    void ReleaseScene();
    // Copies the working copies back onto the files they were made from.
    void SaveFiles();
    // Copies the one visible file to the path, which from then on is the file Save writes to.
    // True when it was saved.
    bool SaveVisibleFileAs(const QString& path);
    void RebuildLoadedFilesMenu();
    // Runs a colouring mode (command 317 to 324) and stores the mode in effect.
    void ApplyColorMode(int id);

    // The file dialogs; tests put choosers of their own in their place. An empty result is a
    // cancelled dialog.
    void SetOpenChooser(std::function<QStringList()> chooser) { openChooser = std::move(chooser); }
    void SetSaveAsChooser(std::function<QString()> chooser) { saveAsChooser = std::move(chooser); }

    // The file types the open and save dialogs offer. The extension is matched whatever its case.
    static QString LasFileFilter();
    // Whether a dropped or named path looks like a LAS file by its extension.
    static bool IsLasPath(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The file dialog of Open and Save As (QFileDialog's accept and file modes); the chosen
    // paths, none when cancelled.
    QStringList RunLasDialog(const QString& title, int acceptMode, int fileMode);
    void ChooseAndOpen();
    void ChooseAndSaveAs();
    void FinishCommand();
    void ShowDrawnPoints();
    // Loads the paths, all of which passed the check, as one scene.
    bool LoadScene(const QStringList& paths);
    void ReportError(const CLasException& error);
    // The LAS files and archives among dropped data.
    static QStringList OpenablePathsOf(const QMimeData* data);
    void CreateStatusBar();
    void CreatePanes();
    // The classes pane's rows for the trees just built, and the view filtered as the pane says.
    void ShowClassCounts();
    void ConnectCommands();
    void ShowOptions();
    void ShowAbout();

    CQUARNApp& app;
    CCommandTable commands;
    std::unique_ptr<CArchiveCommands> archives;
    CRibbonBar* ribbon = nullptr;
    QLabel* statusText = nullptr;
    QProgressBar* progressBar = nullptr;
    QToolButton* lodPane = nullptr;
    QLabel* pointsPane = nullptr;
    QDockWidget* filePane = nullptr;
    QDockWidget* pointPane = nullptr;
    QDockWidget* classesPane = nullptr;
    CClassesWnd* classes = nullptr;
    CPropertiesFileWnd* fileProperties = nullptr;
    CPropertiesPointWnd* pointProperties = nullptr;
    CQUARNView* view = nullptr;
    CCrossSectionCommands* crossSections = nullptr;
    CMeasureCommands* measuring = nullptr;
    QTimer idleTimer;
    int progressPos = 0;
    // When the bar was last drawn: drawing it is a redraw of the window with the 3D view in it,
    // which costs milliseconds without a GPU, so it is drawn at most every kProgressRedrawMs.
    QElapsedTimer progressDrawn;
    int look = ID_VIEW_APPLOOK_WINDOWS_7;
    INotifier* messageSink = nullptr;
    std::function<void()> optionsRunner;
    std::function<QStringList()> openChooser;
    std::function<QString()> saveAsChooser;
    QString lastFolder;
    bool settingsSaved = false;
};

} // namespace telvora

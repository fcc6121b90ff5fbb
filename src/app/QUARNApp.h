#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "common/Notifier.h"

class QSettings;

namespace telvora
{

class CMainFrame;

// Where the settings live: ~/.config/MERVAK/QUARN 2.2.conf on Linux.
inline constexpr const char* kSettingsOrganisation = "MERVAK";
inline constexpr const char* kSettingsApplication = "QUARN 2.2";
inline constexpr const char* kSettingsSection = "Settings";

// The application object: starts the system, owns the main frame and the two working settings,
// and loads and saves the persistent settings.
class CQUARNApp
{
public:
    CQUARNApp();
    ~CQUARNApp();
    CQUARNApp(const CQUARNApp&) = delete;
    CQUARNApp& operator=(const CQUARNApp&) = delete;

    // Creates the main frame, loads the settings into it and shows it maximized (or at
    // windowSize when one is set). The files are opened once the view's context is ready, and
    // then startupDone is called with whether they loaded. False, after telling the user through
    // the notifier (a message box when none is given), when no OpenGL context can be made.
    bool InitInstance(const QStringList& files, INotifier* notifier = nullptr);

    // Placement, decompression folder, temporary-files switch and the window layout.
    void LoadCustomState(CMainFrame& frame);
    void SaveCustomState(const CMainFrame& frame);

    CMainFrame* MainFrame() const { return frame.get(); }

    // The per-user application-data folder followed by "/QUARN".
    static QString DefaultDecompressPath();
    static std::unique_ptr<QSettings> OpenSettings();

    // Folder for decompressed archive entries and temporary copies, without trailing separator.
    QString decompressPath;
    bool temporaryFiles = false;
    // Frames drawn while the camera moves show fewer points (on unless the user switched it off).
    bool reduceDetailWhileMoving = true;
    // The LAS files named on the command line.
    QStringList startupFiles;
    // A fixed window size instead of a maximized window, for pictures of the window.
    QSize windowSize;
    std::function<void(bool loaded)> startupDone;
    // Settings are read but never written (pictures taken by scripts must not move the user's
    // window or change the look).
    bool keepSettings = false;

private:
    // Opens startupFiles once the window is on the screen, then calls startupDone.
    void OpenStartupFiles(int waitedMs);

    std::unique_ptr<CMainFrame> frame;
};

} // namespace telvora

#include "app/QUARNApp.h"

#include <QDir>
#include <QGuiApplication>
#include <QObject>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QWindow>

#include "app/MainFrame.h"
#include "app/MessageBoxNotifier.h"
#include "app/Placement.h"
#include "view/QUARNView.h"

namespace telvora
{
namespace
{

constexpr const char* kPlacement = "Placement";
constexpr const char* kDecompressPath = "DecompressPath";
constexpr const char* kTemporaryFiles = "TemporaryFiles";
constexpr const char* kReduceDetailWhileMoving = "ReduceDetailWhileMoving";
constexpr const char* kLayoutState = "Workspace/DockingState";
constexpr int kLayoutVersion = 1;

// The stored rectangle, moved onto a screen when no screen shows any of it any more (a monitor
// was unplugged since the last run).
QRect RestoreRect(const WindowPlacement& placement)
{
    const qint64 width = static_cast<qint64>(placement.right) - placement.left;
    const qint64 height = static_cast<qint64>(placement.bottom) - placement.top;
    QRect rect(placement.left, placement.top, static_cast<int>(std::min<qint64>(width, 32767)),
               static_cast<int>(std::min<qint64>(height, 32767)));
    for (const QScreen* screen : QGuiApplication::screens())
    {
        if (screen->availableGeometry().intersects(rect))
        {
            return rect;
        }
    }
    if (const QScreen* primary = QGuiApplication::primaryScreen())
    {
        const QRect available = primary->availableGeometry();
        rect.setSize(rect.size().boundedTo(available.size()));
        rect.moveTopLeft(available.topLeft());
    }
    return rect;
}

} // namespace

CQUARNApp::CQUARNApp() = default;

CQUARNApp::~CQUARNApp() = default;

std::unique_ptr<QSettings> CQUARNApp::OpenSettings()
{
    return std::make_unique<QSettings>(kSettingsOrganisation, kSettingsApplication);
}

QString CQUARNApp::DefaultDecompressPath()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
    {
        base = QDir::homePath() + "/.local/share";
    }
    return QDir::cleanPath(base + "/QUARN");
}

bool CQUARNApp::InitInstance(const QStringList& files, INotifier* notifier)
{
    startupFiles = files;
    if (!CanCreateGLContext())
    {
        // Nothing to query: the check reports both requirements against empty versions.
        const CapabilityReport report = CheckCapabilities(GLInfo{});
        CMessageBoxNotifier boxes;
        (notifier != nullptr ? *notifier : boxes)
            .ShowMessage(report.text, report.caption, MessageIcon::Warning, {});
        return false;
    }
    frame = std::make_unique<CMainFrame>(*this);
    frame->setWindowTitle("Telvora");
    LoadCustomState(*frame);
    QObject::connect(
        frame->View(), &CQUARNView::contextReady, frame.get(), [this] { OpenStartupFiles(0); },
        Qt::SingleShotConnection);
    if (windowSize.isValid())
    {
        frame->resize(windowSize);
        frame->show();
    }
    else
    {
        frame->showMaximized();
    }
    frame->repaint();
    return true;
}

void CQUARNApp::OpenStartupFiles(int waitedMs)
{
    // The view's context exists before the window has reached the screen. Loading a large file
    // then would keep the window black, without ribbon or progress, for seconds: the files are
    // opened only once the window is exposed and has been drawn. A display that never exposes it
    // (a minimised start) gets its files after a while all the same.
    constexpr int kPollMs = 20;
    constexpr int kMaxWaitMs = 10000;
    const QWindow* window = frame->windowHandle();
    if (!startupFiles.isEmpty() && (window == nullptr || !window->isExposed()) &&
        waitedMs < kMaxWaitMs)
    {
        QTimer::singleShot(kPollMs, frame.get(),
                           [this, waitedMs] { OpenStartupFiles(waitedMs + kPollMs); });
        return;
    }
    frame->repaint();
    const bool loaded = startupFiles.isEmpty() || frame->OpenFiles(startupFiles);
    if (startupDone)
    {
        startupDone(loaded);
    }
}

void CQUARNApp::LoadCustomState(CMainFrame& target)
{
    auto settings = OpenSettings();
    settings->beginGroup(kSettingsSection);
    const QString placementText = settings->value(kPlacement).toString();
    if (!placementText.isEmpty())
    {
        if (const auto placement = ParsePlacement(placementText.toStdString()))
        {
            // Shown maximized afterwards, so this becomes the window's restore geometry.
            target.setGeometry(RestoreRect(*placement));
        }
    }

    decompressPath = settings->value(kDecompressPath).toString();
    if (decompressPath.isEmpty())
    {
        decompressPath = DefaultDecompressPath();
        // A folder that cannot be made shows up later, where files are written into it.
        QDir().mkpath(decompressPath);
    }
    temporaryFiles = settings->value(kTemporaryFiles, 0).toInt() != 0;
    reduceDetailWhileMoving = settings->value(kReduceDetailWhileMoving, 1).toInt() != 0;
    target.View()->reduceDetailWhileMoving = reduceDetailWhileMoving;
    settings->endGroup();

    const QByteArray layout = settings->value(kLayoutState).toByteArray();
    if (!layout.isEmpty())
    {
        target.restoreState(layout, kLayoutVersion);
    }
}

void CQUARNApp::SaveCustomState(const CMainFrame& source)
{
    if (keepSettings)
    {
        return;
    }
    WindowPlacement placement;
    const Qt::WindowStates state = source.windowState();
    placement.showCmd = state.testFlag(Qt::WindowMinimized)   ? kShowMinimized
                        : state.testFlag(Qt::WindowMaximized) ? kShowMaximized
                                                              : kShowNormal;
    const QRect normal = source.normalGeometry();
    placement.left = normal.left();
    placement.top = normal.top();
    placement.right = normal.left() + normal.width();
    placement.bottom = normal.top() + normal.height();

    auto settings = OpenSettings();
    settings->beginGroup(kSettingsSection);
    if (!normal.isEmpty())
    {
        settings->setValue(kPlacement, QString::fromStdString(FormatPlacement(placement)));
    }
    settings->setValue(kDecompressPath, decompressPath);
    settings->setValue(kTemporaryFiles, temporaryFiles ? 1 : 0);
    settings->setValue(kReduceDetailWhileMoving, reduceDetailWhileMoving ? 1 : 0);
    settings->endGroup();
    settings->setValue(kLayoutState, source.saveState(kLayoutVersion));
    settings->sync();
}

} // namespace telvora

#include <QApplication>
#include <QCommandLineParser>
#include <QDockWidget>
#include <QRegularExpression>
#include <QTimer>
#include <bitset>
#include <cstdio>
#include <optional>
#include <utility>

#include "app/AppIcons.h"
#include "app/CrossSectionCommands.h"
#include "app/MainFrame.h"
#include "app/QUARNApp.h"
#include "common/SystemErrors.h"
#include "cross/CrossFrame.h"
#include "panes/ClassesPane.h"
#include "scene/LasFileSet.h"
#include "view/QUARNView.h"

namespace
{

// A picture larger than this in either direction takes minutes and gigabytes to draw without a
// GPU, and more than many drivers can hold.
constexpr int kMaxPictureSide = 16384;

// "1280x800" as a size; an invalid size for anything else.
QSize ParseSize(const QString& text)
{
    static const QRegularExpression pattern("^(\\d{1,5})[xX](\\d{1,5})$");
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
    {
        return {};
    }
    const QSize size(match.captured(1).toInt(), match.captured(2).toInt());
    const bool fits = size.width() >= 64 && size.height() >= 64 &&
                      size.width() <= kMaxPictureSide && size.height() <= kMaxPictureSide;
    return fits ? size : QSize();
}

// "7,18" as the set of class codes to hide; none for anything but codes 0 to 255 separated by
// commas.
std::optional<std::bitset<256>> ParseClassList(const QString& text)
{
    std::bitset<256> hidden;
    for (const QString& item : text.split(','))
    {
        static const QRegularExpression code("^\\d{1,3}$");
        if (!code.match(item).hasMatch() || item.toInt() > 255)
        {
            return std::nullopt;
        }
        hidden.set(static_cast<std::size_t>(item.toInt()));
    }
    return hidden;
}

// "first", "last", "single" or "intermediate" as a return filter; none for anything else.
std::optional<telvora::ReturnFilter> ParseReturns(const QString& text)
{
    using telvora::ReturnFilter;
    for (const auto& [name, filter] :
         {std::pair{"first", ReturnFilter::First}, std::pair{"last", ReturnFilter::Last},
          std::pair{"single", ReturnFilter::Single},
          std::pair{"intermediate", ReturnFilter::Intermediate}})
    {
        if (text == QLatin1String(name))
        {
            return filter;
        }
    }
    return std::nullopt;
}

// Nobody is there to close a message box: messages go to the terminal, and an error among them
// makes the run fail even when a picture could be taken of what did load.
class ScreenshotMessages final : public telvora::INotifier
{
public:
    void ShowMessage(const std::string& text, const std::string& caption, telvora::MessageIcon icon,
                     const std::string& detail) override
    {
        failed = failed || icon == telvora::MessageIcon::Error;
        telvora::StderrNotifier().ShowMessage(text, caption, icon, detail);
    }

    bool failed = false;
};

// The cross-section window for a line along x an eighth of the data's width long, halfway between
// the middle and the top edge (tiles side by side may leave a gap in the middle), as a user would
// mark it; none when it cannot be opened.
QWidget* OpenMiddleCrossSection(telvora::CMainFrame& frame)
{
    telvora::CQUARNView& view = *frame.View();
    if (view.FileSet() == nullptr)
    {
        return nullptr;
    }
    const telvora::CBoundingBox& bounds = view.FileSet()->bounds;
    const float half = (bounds.maximum.x - bounds.minimum.x) / 16.0f;
    const float y = (bounds.maximum.y - bounds.minimum.y) / 4.0f;
    view.sectionLine = std::make_unique<telvora::SectionLine>(
        telvora::SectionLine{{-half, y, 0.0f}, {half, y, 0.0f}});
    frame.CrossSections()->OpenCrossSection();
    return frame.CrossSections()->Frame();
}

// Writes the picture once the scene is loaded and drawn, then ends the application.
void TakeScreenshot(telvora::CQUARNApp& app, const QString& path, bool viewOnly, bool crossSection,
                    bool loaded, const ScreenshotMessages& messages)
{
    telvora::CMainFrame* frame = app.MainFrame();
    bool saved = false;
    QWidget* cross = loaded && crossSection ? OpenMiddleCrossSection(*frame) : nullptr;
    if (loaded && crossSection && cross == nullptr)
    {
        std::fprintf(stderr, "telvora: no cross section to picture\n");
    }
    else if (loaded)
    {
        const QImage picture = cross != nullptr ? cross->grab().toImage()
                               : viewOnly       ? frame->View()->grabFramebuffer()
                                                : frame->grab().toImage();
        saved = picture.save(path, "PNG");
        if (!saved)
        {
            std::fprintf(stderr, "telvora: cannot write %s\n", qPrintable(path));
        }
    }
    frame->close();
    QCoreApplication::exit(saved && !messages.failed ? 0 : 1);
}

} // namespace

int main(int argc, char* argv[])
{
    telvora::IgnoreFileSizeLimitSignal();
    // GLEW here talks to GLX: in a Wayland session run through XWayland, and keep Qt's GLX
    // integration so that glewInit finds the context.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
    {
        qputenv("QT_XCB_GL_INTEGRATION", "xcb_glx");
    }
    telvora::SetDefaultViewFormat();

    QApplication application(argc, argv);
    QApplication::setApplicationName("Telvora");
    QApplication::setApplicationVersion(TELVORA_VERSION);
    QApplication::setDesktopFileName("telvora");
    QApplication::setWindowIcon(telvora::AppIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription("Viewer and light editor for airborne LiDAR point clouds");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("files", "LAS files to open (at most 50).", "[FILE...]");
    const QCommandLineOption screenshot(
        "screenshot",
        "Open the files, draw them from the home view, write a picture of the main window to "
        "<png> and exit.",
        "png");
    const QCommandLineOption size("size", "Window size for --screenshot, such as 1280x800.", "WxH");
    const QCommandLineOption viewOnly("view-only", "With --screenshot, picture the 3D view alone.");
    const QCommandLineOption crossSection(
        "cross-section",
        "With --screenshot, picture the cross-section window of a line through the middle of the "
        "data.");
    const QCommandLineOption hideClasses(
        "hide-classes", "With --screenshot, hide the points of these class codes, such as 7,18.",
        "LIST");
    const QCommandLineOption returns(
        "returns", "With --screenshot, show only first, last, single or intermediate returns.",
        "KIND");
    parser.addOption(screenshot);
    parser.addOption(crossSection);
    parser.addOption(hideClasses);
    parser.addOption(returns);
    parser.addOption(size);
    parser.addOption(viewOnly);
    parser.process(application);

    telvora::CQUARNApp app;
    const bool picture = parser.isSet(screenshot);
    if (parser.isSet(size))
    {
        app.windowSize = ParseSize(parser.value(size));
        if (!app.windowSize.isValid())
        {
            std::fprintf(stderr,
                         "telvora: --size wants WIDTHxHEIGHT from 64x64 to %dx%d, such as "
                         "1280x800\n",
                         kMaxPictureSide, kMaxPictureSide);
            return 2;
        }
    }
    telvora::PointFilter filter;
    if (parser.isSet(hideClasses))
    {
        const auto hidden = ParseClassList(parser.value(hideClasses));
        if (!hidden)
        {
            std::fprintf(stderr, "telvora: --hide-classes wants class codes from 0 to 255 "
                                 "separated by commas, such as 7,18\n");
            return 2;
        }
        filter.hiddenClasses = *hidden;
    }
    if (parser.isSet(returns))
    {
        const auto kind = ParseReturns(parser.value(returns));
        if (!kind)
        {
            std::fprintf(stderr, "telvora: --returns wants first, last, single or intermediate\n");
            return 2;
        }
        filter.returns = *kind;
    }
    ScreenshotMessages messages;
    if (picture)
    {
        const QString path = parser.value(screenshot);
        const bool onlyView = parser.isSet(viewOnly);
        const bool section = parser.isSet(crossSection);
        app.keepSettings = true;
        app.startupDone = [&app, &messages, path, onlyView, section, filter](bool loaded)
        {
            // Through the pane, so that a picture of the window shows the filter in it too.
            if (loaded && !filter.ShowsAll())
            {
                app.MainFrame()->Classes()->SetFilter(filter);
                app.MainFrame()->ClassesPane()->show();
                app.MainFrame()->ClassesPane()->raise();
            }
            // Let the window settle (layout, first frames) before it is pictured.
            QTimer::singleShot(300, [&app, &messages, path, onlyView, section, loaded]
                               { TakeScreenshot(app, path, onlyView, section, loaded, messages); });
        };
    }
    if (!app.InitInstance(parser.positionalArguments(), picture ? &messages : nullptr))
    {
        return 1;
    }
    if (picture)
    {
        app.MainFrame()->SetMessageSink(&messages);
        QObject::connect(app.MainFrame()->View(), &telvora::CQUARNView::requirementsNotMet,
                         &application, [] { QCoreApplication::exit(1); });
        // A display that never shows the window would leave the command waiting for ever.
        QTimer::singleShot(120000, &application,
                           [&app]
                           {
                               if (!app.MainFrame()->View()->IsInitialised())
                               {
                                   std::fprintf(stderr, "telvora: the window was never shown\n");
                                   QCoreApplication::exit(1);
                               }
                           });
    }
    return QApplication::exec();
}

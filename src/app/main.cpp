#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>

#include "app/AppIcons.h"
#include "app/MainFrame.h"
#include "app/QUARNApp.h"
#include "view/QUARNView.h"

int main(int argc, char* argv[])
{
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
    parser.addPositionalArgument("files", "LAS files to open.", "[FILE...]");
    const QCommandLineOption screenshot(
        "screenshot", "Write a picture of the main window to <png> once it is shown, then exit.",
        "png");
    parser.addOption(screenshot);
    parser.process(application);

    telvora::CQUARNApp app;
    if (!app.InitInstance(parser.positionalArguments()))
    {
        return 1;
    }
    if (parser.isSet(screenshot))
    {
        const QString path = parser.value(screenshot);
        // Give the window manager and the first frames time to settle.
        QTimer::singleShot(1500, &application,
                           [&app, path]
                           {
                               const bool saved = app.MainFrame()->grab().save(path, "PNG");
                               if (!saved)
                               {
                                   std::fprintf(stderr, "telvora: cannot write %s\n",
                                                qPrintable(path));
                               }
                               app.MainFrame()->close();
                               QCoreApplication::exit(saved ? 0 : 1);
                           });
    }
    return QApplication::exec();
}

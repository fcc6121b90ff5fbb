#include <QApplication>
#include <QTest>

#include "Recorders.h"
#include "app/MainFrame.h"
#include "app/QUARNApp.h"
#include "view/QUARNView.h"

namespace telvora
{

// A display without any OpenGL: Qt can make no context and cannot even host the view's widget,
// so start-up must say what is missing and end before the main window exists.
class NoContextTest : public QObject
{
    Q_OBJECT

private slots:
    void startUpWithoutAnyContextReportsTheRequirementsAndEnds()
    {
        QVERIFY(!CanCreateGLContext());
        CQUARNApp app;
        test::RecordingNotifier notifier;
        QVERIFY(!app.InitInstance({}, &notifier));
        QVERIFY(app.MainFrame() == nullptr);
        QCOMPARE(notifier.shown.size(), std::size_t{1});
        QCOMPARE(notifier.shown[0].caption, std::string("Requirements"));
        QCOMPARE(notifier.shown[0].text,
                 std::string("Please install OpenGL version 1.5 or higher! (current )\n\n"
                             "Please install Glew version 1.5 or higher! (current )"));
    }
};

} // namespace telvora

int main(int argc, char* argv[])
{
    // The X server stays, but Qt gets no way to make a GL context on it.
    qputenv("QT_XCB_GL_INTEGRATION", "none");
    qputenv("QT_QPA_PLATFORM", "xcb");
    telvora::SetDefaultViewFormat();
    QApplication app(argc, argv);
    telvora::NoContextTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "NoContextTest.moc"

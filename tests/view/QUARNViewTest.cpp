#include "view/QUARNView.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <cmath>

#include "GLProbe.h"
#include "Recorders.h"
#include "view/GLState.h"

namespace telvora
{

class QUARNViewTest : public QObject
{
    Q_OBJECT

private:
    // A shown view whose context exists and whose check has run.
    static void ShowAndInitialise(CQUARNView& view)
    {
        view.resize(320, 240);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTRY_VERIFY(view.IsInitialised());
    }

private slots:
    void mesaContextPassesTheCheckAndHasWorkingBuffers()
    {
        CQUARNView view;
        test::RecordingNotifier notifier;
        view.SetNotifier(&notifier);
        QSignalSpy failed(&view, &CQUARNView::requirementsNotMet);
        ShowAndInitialise(view);
        QCoreApplication::processEvents();
        QVERIFY(view.IsCapable());
        QVERIFY(notifier.shown.empty());
        QCOMPARE(failed.count(), 0);

        view.makeCurrent();
        const GLInfo info = QueryGLInfo();
        QVERIFY2(LeadingVersionNumber(info.version) >= 1.5, info.version.c_str());
        QVERIFY(HasWholeWord(info.extensions, "GL_ARB_vertex_buffer_object"));
        QVERIFY(test::BufferRoundTripWorks());
    }

    void fixedStateAndProjectionAreSetUp()
    {
        CQUARNView view;
        ShowAndInitialise(view);
        view.makeCurrent();
        const test::FixedState s = test::ReadFixedState();
        const test::ExpectedState gl = test::GLConstants();
        QCOMPARE(s.clearColor[0], 0.5f);
        QCOMPARE(s.clearColor[1], 0.6f);
        QCOMPARE(s.clearColor[2], 1.0f);
        QCOMPARE(s.clearColor[3], 1.0f);
        QVERIFY(s.depthTest);
        QCOMPARE(s.depthFunc, gl.lequal);
        QVERIFY(s.blend);
        QCOMPARE(s.blendSrc, gl.srcAlpha);
        QCOMPARE(s.blendDst, gl.oneMinusSrcAlpha);
        QCOMPARE(s.shadeModel, gl.smooth);
        QCOMPARE(s.perspectiveHint, gl.nicest);
        QCOMPARE(s.clearDepth, 1.0);

        // The projection of the last resize: gluPerspective(45, w / h, 0.1, 60000).
        const CGLContext& c = view.context;
        QVERIFY(c.width > 0 && c.height > 0);
        QCOMPARE(c.aspect, static_cast<float>(c.width) / static_cast<float>(c.height));
        QCOMPARE(s.viewport[2], c.width * view.devicePixelRatio());
        const double f = 1.0 / std::tan(45.0 * M_PI / 360.0);
        QVERIFY(std::abs(s.projection[5] - f) < 1e-5);
        QVERIFY(std::abs(s.projection[0] - f / c.aspect) < 1e-5);
        const double zNear = 0.1;
        const double zFar = 60000.0;
        QVERIFY(std::abs(s.projection[10] - (zFar + zNear) / (zNear - zFar)) < 1e-5);
        QCOMPARE(s.projection[11], -1.0f);
    }

    void emptyViewPaintsTheClearColour()
    {
        CQUARNView view;
        ShowAndInitialise(view);
        const QImage image = view.grabFramebuffer();
        QVERIFY(!image.isNull());
        // Every pixel, not just some: (0.5, 0.6, 1.0) in 8 bits.
        for (int y = 0; y < image.height(); y += 7)
        {
            for (int x = 0; x < image.width(); x += 7)
            {
                const QColor pixel = image.pixelColor(x, y);
                QVERIFY(std::abs(pixel.red() - 128) <= 1);
                QVERIFY(std::abs(pixel.green() - 153) <= 1);
                QCOMPARE(pixel.blue(), 255);
            }
        }
    }

    void heightZeroKeepsAFiniteProjectionAndPaintsNothing()
    {
        CQUARNView view;
        ShowAndInitialise(view);
        const float aspect = view.context.aspect;
        view.Resize(320, 0);
        QCOMPARE(view.context.height, 0);
        QVERIFY(std::isfinite(view.context.aspect));
        QCOMPARE(view.context.aspect, aspect);
        view.resize(320, 0);
        view.update();
        QCoreApplication::processEvents();
        // Painting a collapsed view must not fail or crash.
        view.grabFramebuffer();
        view.resize(200, 100);
        QTRY_COMPARE(view.context.height, 100);
        QCOMPARE(view.context.aspect, 2.0f);
    }

    void failedCheckShowsItsMessageOnceAndAsksToClose_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("glew");
        QTest::addColumn<QString>("extensions");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("text");
        QTest::newRow("old OpenGL")
            << "1.4.0"
            << "1.5.2"
            << "GL_ARB_vertex_buffer_object"
            << "Requirements"
            << "Please install OpenGL version 1.5 or higher! (current 1.4.0)\n\n";
        QTest::newRow("both old")
            << "1.4.0"
            << "1.3.6"
            << "GL_ARB_vertex_buffer_object"
            << "Requirements"
            << "Please install OpenGL version 1.5 or higher! (current 1.4.0)\n\n"
               "Please install Glew version 1.5 or higher! (current 1.3.6)";
        QTest::newRow("no buffer objects") << "2.1"
                                           << "2.2.0"
                                           << "GL_ARB_vertex_buffer_object_x"
                                           << "Error"
                                           << "Vertex Buffer Object(VBO) not suported!";
    }

    void failedCheckShowsItsMessageOnceAndAsksToClose()
    {
        QFETCH(QString, version);
        QFETCH(QString, glew);
        QFETCH(QString, extensions);
        QFETCH(QString, caption);
        QFETCH(QString, text);

        CQUARNView view;
        test::RecordingNotifier notifier;
        view.SetNotifier(&notifier);
        view.SetInfoProbe(
            [&] {
                return GLInfo{version.toStdString(), glew.toStdString(), extensions.toStdString()};
            });
        QSignalSpy failed(&view, &CQUARNView::requirementsNotMet);
        ShowAndInitialise(view);
        QTRY_COMPARE(failed.count(), 1);
        QVERIFY(!view.IsCapable());
        QCOMPARE(notifier.shown.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(notifier.shown[0].caption), caption);
        QCOMPARE(QString::fromStdString(notifier.shown[0].text), text);
    }
};

} // namespace telvora

int main(int argc, char* argv[])
{
    telvora::SetDefaultViewFormat();
    QApplication app(argc, argv);
    telvora::QUARNViewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "QUARNViewTest.moc"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDockWidget>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "AppTestMain.h"
#include "Recorders.h"
#include "app/AboutDialog.h"
#include "app/AppLook.h"
#include "app/MainFrame.h"
#include "app/OptionsDialog.h"
#include "app/QUARNApp.h"
#include "app/RibbonBar.h"
#include "view/QUARNView.h"

namespace telvora
{

class AppWidgetTest : public QObject
{
    Q_OBJECT

private:
    static QSettings& Store()
    {
        static QSettings settings(kSettingsOrganisation, kSettingsApplication);
        return settings;
    }

    static QStringList ActionTexts(const QMenu* menu)
    {
        QStringList texts;
        for (const QAction* action : menu->actions())
        {
            // Sections are separators with a caption.
            const bool plainSeparator = action->isSeparator() && action->text().isEmpty();
            texts << (plainSeparator ? QString("|") : action->text());
        }
        return texts;
    }

private slots:
    void init()
    {
        Store().clear();
        Store().sync();
        QDir(CQUARNApp::DefaultDecompressPath()).removeRecursively();
    }

    void firstStartUsesTheDefaultsAndCreatesTheFolder()
    {
        CQUARNApp app;
        CMainFrame frame(app);
        const QRect before = frame.geometry();
        app.LoadCustomState(frame);
        QCOMPARE(app.decompressPath,
                 QDir::cleanPath(qEnvironmentVariable("XDG_DATA_HOME") + "/QUARN"));
        QVERIFY(QDir(app.decompressPath).exists());
        QVERIFY(!app.temporaryFiles);
        QVERIFY(app.reduceDetailWhileMoving && frame.View()->reduceDetailWhileMoving);
        QCOMPARE(frame.geometry(), before);
    }

    void storedValuesLoadAndOddOnesAreNormalisedOnSave()
    {
        const QString missing = QDir::tempPath() + "/telvora-no-such-folder-xyz";
        Store().setValue("Settings/TemporaryFiles", 5);
        Store().setValue("Settings/ReduceDetailWhileMoving", 0);
        Store().setValue("Settings/DecompressPath", missing);
        Store().setValue("Settings/Placement", "0;1;-1;-1;");
        Store().sync();

        CQUARNApp app;
        CMainFrame frame(app);
        const QRect before = frame.geometry();
        app.LoadCustomState(frame);
        QVERIFY(app.temporaryFiles);
        QVERIFY(!app.reduceDetailWhileMoving && !frame.View()->reduceDetailWhileMoving);
        QCOMPARE(app.decompressPath, missing);
        QVERIFY(!QDir(missing).exists());
        // Fewer than ten numbers: the placement is left alone.
        QCOMPARE(frame.geometry(), before);

        app.SaveCustomState(frame);
        Store().sync();
        QCOMPARE(Store().value("Settings/TemporaryFiles").toString(), QString("1"));
        QCOMPARE(Store().value("Settings/ReduceDetailWhileMoving").toString(), QString("0"));
        QCOMPARE(Store().value("Settings/DecompressPath").toString(), missing);
    }

    void placementAndPaneLayoutSurviveARestart()
    {
        {
            CQUARNApp app;
            CMainFrame frame(app);
            app.LoadCustomState(frame);
            frame.setGeometry(100, 100, 800, 600);
            frame.addDockWidget(Qt::LeftDockWidgetArea, frame.PointPropertiesPane());
            frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            frame.close();
        }
        Store().sync();
        QCOMPARE(Store().value("Settings/Placement").toString(),
                 QString("0;1;-1;-1;-1;-1;100;100;900;700;"));

        CQUARNApp app;
        CMainFrame frame(app);
        app.LoadCustomState(frame);
        frame.showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QCOMPARE(frame.normalGeometry(), QRect(100, 100, 800, 600));
        QCOMPARE(frame.dockWidgetArea(frame.PointPropertiesPane()), Qt::LeftDockWidgetArea);
        QCOMPARE(frame.dockWidgetArea(frame.FilePropertiesPane()), Qt::RightDockWidgetArea);
        frame.close();
    }

    void ribbonHasEveryCommandAndText()
    {
        CQUARNApp app;
        CMainFrame frame(app);
        CRibbonBar* ribbon = frame.Ribbon();
        QCOMPARE(ActionTexts(ribbon->FileMenu()),
                 QStringList({"&Open...", "&Save", "Save &As...", "&Print", "|", "Close",
                              "Recent Documents", "|", "Options", "E&xit"}));
        QTabWidget* tabs = ribbon->Tabs();
        QCOMPARE(tabs->count(), 4);
        QCOMPARE(tabs->tabText(0), QString("&Home"));
        QCOMPARE(tabs->tabText(1), QString("&View"));
        QCOMPARE(tabs->tabText(2), QString("&Tools"));
        QCOMPARE(tabs->tabText(3), QString("Compression"));
        QCOMPARE(ribbon->StyleMenu()->actions().size(), 5);
        QCOMPARE(ribbon->LoadedFilesButton()->text(), QString("Loaded files"));
        QCOMPARE(ribbon->ArchiveOpenButton()->text(), QString("Open"));

        QStringList viewTab;
        for (const QToolButton* button : tabs->widget(1)->findChildren<QToolButton*>())
        {
            viewTab << button->text();
        }
        QCOMPARE(viewTab, QStringList({"Intensity", "Histogram", "Classification",
                                       "Scan Angle Rank", "Return Number", "Height", "Files",
                                       "Color", "Loaded files", "Classes"}));

        // Every command of the table is there, in every place it appears.
        CCommandTable& commands = frame.Commands();
        for (int id : {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_CLOSE, ID_FILE_SAVE, ID_FILE_SAVE_AS,
                       ID_FILE_PRINT, ID_FILE_PRINT_DIRECT, ID_APP_OPTIONS, ID_APP_EXIT,
                       ID_APP_ABOUT, ID_VIEW_STATUS_BAR, ID_VIEW_FILE, ID_TOOLS_CROSSSECTION,
                       ID_COMPRESSION_OPEN, ID_STATUSBAR_PANE_LOD})
        {
            QVERIFY2(commands.Contains(id), QByteArray::number(id));
        }
        for (int id = ID_VIEW_INTENSITY; id <= ID_VIEW_COLOR; ++id)
        {
            QVERIFY(commands.Contains(id));
        }
        QCOMPARE(commands.Places(ID_FILE_OPEN).size(), std::size_t{3});
        QCOMPARE(commands.Places(ID_FILE_SAVE).size(), std::size_t{3});
    }

    void withoutASceneCommandsFollowTheirRules()
    {
        CQUARNApp app;
        CMainFrame frame(app);
        frame.UpdateCommandUI();
        CCommandTable& commands = frame.Commands();
        for (int id : {ID_APP_OPTIONS, ID_APP_EXIT, ID_APP_ABOUT, ID_VIEW_STATUS_BAR,
                       ID_STATUSBAR_PANE_LOD, ID_VIEW_APPLOOK_OFF_2007_BLUE})
        {
            QVERIFY2(commands.IsEnabled(id), QByteArray::number(id));
        }
        // No scene yet, and no handler yet for the scene's commands.
        for (int id : {ID_FILE_OPEN, ID_FILE_CLOSE, ID_FILE_SAVE, ID_FILE_SAVE_AS, ID_FILE_PRINT,
                       ID_FILE_NEW, ID_FILE_PRINT_DIRECT, ID_VIEW_FILE, ID_TOOLS_CROSSSECTION,
                       ID_COMPRESSION_OPEN, ID_VIEW_INTENSITY, ID_VIEW_COLOR})
        {
            QVERIFY2(!commands.IsEnabled(id), QByteArray::number(id));
        }
        QVERIFY(commands.IsChecked(ID_VIEW_INTENSITY));
        QVERIFY(commands.IsChecked(ID_STATUSBAR_PANE_LOD));
        QVERIFY(commands.IsChecked(ID_VIEW_APPLOOK_WINDOWS_7));
        QVERIFY(!commands.IsChecked(ID_VIEW_APPLOOK_OFF_2007_BLUE));

        QCOMPARE(frame.StatusTextPane()->text(), QString("Ready"));
        QCOMPARE(frame.PointsPane()->text(), QString("Draving Points: 0"));
        QVERIFY(!frame.ProgressBar()->isVisibleTo(&frame));
        QCOMPARE(frame.LodPane()->text(), QString("LOD"));
    }

    void lodPaneAndStatusBarSwitchToggle()
    {
        CQUARNApp app;
        CMainFrame frame(app);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.UpdateCommandUI();
        CCommandTable& commands = frame.Commands();

        QTest::mouseClick(frame.LodPane(), Qt::LeftButton);
        QVERIFY(!frame.View()->lodEnabled);
        QVERIFY(!commands.IsChecked(ID_STATUSBAR_PANE_LOD));
        QVERIFY(commands.Execute(ID_STATUSBAR_PANE_LOD));
        QVERIFY(frame.View()->lodEnabled);

        auto* box = frame.Ribbon()->findChild<QCheckBox*>("statusBarCheck");
        QVERIFY(box != nullptr);
        QVERIFY(box->isChecked());
        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY(!frame.statusBar()->isVisible());
        QVERIFY(!box->isChecked());
        QVERIFY(commands.Execute(ID_VIEW_STATUS_BAR));
        QVERIFY(frame.statusBar()->isVisible());
        QVERIFY(box->isChecked());
        frame.close();
    }

    void statusServicesClampAndShowTheBarWhileNotZero()
    {
        CQUARNApp app;
        CMainFrame frame(app);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        IStatusServices& status = frame;
        status.SetProgressRange(0, 200);
        status.SetProgressPos(250);
        QCOMPARE(status.GetProgressPos(), 200);
        QVERIFY(frame.ProgressBar()->isVisible());
        status.SetProgressPos(-5);
        QCOMPARE(status.GetProgressPos(), 0);
        QVERIFY(!frame.ProgressBar()->isVisible());
        status.SetStatusText("Done");
        QCOMPARE(frame.StatusTextPane()->text(), QString("Done"));
        frame.close();
    }

    void messagesBecomeBoxesWithCaptionTextAndIcon()
    {
        CQUARNApp app;
        CMainFrame frame(app);
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(0, &frame,
                           [&]
                           {
                               auto* box =
                                   qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                               if (box == nullptr)
                               {
                                   return;
                               }
                               title = box->windowTitle();
                               text = box->text();
                               icon = box->icon();
                               box->accept();
                           });
        frame.ShowMessage("Vertex Buffer Object(VBO) not suported!", "Error", MessageIcon::Error,
                          {});
        QCOMPARE(title, QString("Error"));
        QCOMPARE(text, QString("Vertex Buffer Object(VBO) not suported!"));
        QCOMPARE(icon, QMessageBox::Critical);
    }

    void looksDifferAndTheChosenOneIsStored()
    {
        CQUARNApp app;
        CMainFrame frame(app);
        QSet<QRgb> windows;
        for (int id = ID_VIEW_APPLOOK_OFF_2007_BLUE; id <= ID_VIEW_APPLOOK_WINDOWS_7; ++id)
        {
            windows.insert(LookPalette(id).color(QPalette::Window).rgb());
        }
        QCOMPARE(windows.size(), 5);

        frame.UpdateCommandUI();
        QVERIFY(frame.Commands().Execute(ID_VIEW_APPLOOK_OFF_2007_BLACK));
        QCOMPARE(QApplication::palette().color(QPalette::Window),
                 LookPalette(ID_VIEW_APPLOOK_OFF_2007_BLACK).color(QPalette::Window));
        QVERIFY(frame.Commands().IsChecked(ID_VIEW_APPLOOK_OFF_2007_BLACK));
        QVERIFY(!frame.Commands().IsChecked(ID_VIEW_APPLOOK_WINDOWS_7));
        Store().sync();
        QCOMPARE(Store().value("ApplicationLook").toInt(), int(ID_VIEW_APPLOOK_OFF_2007_BLACK));

        // The next frame starts with the stored look.
        CMainFrame next(app);
        QCOMPARE(next.CurrentLook(), int(ID_VIEW_APPLOOK_OFF_2007_BLACK));
        next.ApplyApplicationLook(ID_VIEW_APPLOOK_WINDOWS_7);
    }

    void failedRequirementCheckClosesTheWindow()
    {
        CQUARNApp app;
        CMainFrame frame(app);
        test::RecordingNotifier notifier;
        frame.SetMessageSink(&notifier);
        frame.View()->SetInfoProbe([] { return GLInfo{"1.4.0", "1.5.2", ""}; });
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QTRY_VERIFY(!frame.isVisible());
        QCOMPARE(notifier.shown.size(), std::size_t{1});
        QCOMPARE(notifier.shown[0].caption, std::string("Requirements"));
        frame.UpdateCommandUI();
        QVERIFY(!frame.Commands().IsEnabled(ID_FILE_OPEN));
    }

    void optionsChangeTheSettingsAtOnceAndCancelKeepsThem()
    {
        CQUARNApp app;
        app.decompressPath = "/data/old";
        app.temporaryFiles = false;
        COptionsDialog dialog(app);
        QCOMPARE(dialog.windowTitle(), QString("Telvora Options"));
        QCOMPARE(dialog.PathText()->text(), QString("/data/old"));
        QVERIFY(!dialog.TemporaryFilesBox()->isChecked());
        QCOMPARE(dialog.ChangeButton()->text(), QString("Change..."));

        QString offered;
        QString answer = "/srv/a much longer folder/for decompressed files/";
        dialog.SetFolderChooser(
            [&](QWidget*, const QString& current)
            {
                offered = current;
                return answer;
            });
        QTest::mouseClick(dialog.ChangeButton(), Qt::LeftButton);
        QCOMPARE(offered, QString("/data/old"));
        QCOMPARE(app.decompressPath, QString("/srv/a much longer folder/for decompressed files"));
        QCOMPARE(dialog.PathText()->text(), app.decompressPath);

        // A cancelled chooser changes nothing.
        answer.clear();
        QTest::mouseClick(dialog.ChangeButton(), Qt::LeftButton);
        QCOMPARE(app.decompressPath, QString("/srv/a much longer folder/for decompressed files"));

        dialog.TemporaryFilesBox()->click();
        QVERIFY(app.temporaryFiles);
        dialog.reject();
        QVERIFY(app.temporaryFiles);
        QCOMPARE(app.decompressPath, QString("/srv/a much longer folder/for decompressed files"));
        dialog.TemporaryFilesBox()->click();
        QVERIFY(!app.temporaryFiles);
        QVERIFY(dialog.ReduceDetailBox()->isChecked());
        dialog.ReduceDetailBox()->click();
        QVERIFY(!app.reduceDetailWhileMoving);
    }

    void optionsCommandRunsTheDialog()
    {
        CQUARNApp app;
        CMainFrame frame(app);
        int runs = 0;
        frame.SetOptionsRunner(
            [&]
            {
                ++runs;
                app.reduceDetailWhileMoving = false;
            });
        frame.UpdateCommandUI();
        QVERIFY(frame.Commands().Execute(ID_APP_OPTIONS));
        QCOMPARE(runs, 1);
        // The view follows the setting as soon as the dialog closes.
        QVERIFY(!frame.View()->reduceDetailWhileMoving);
    }

    void aboutBoxDescribesTheProgram()
    {
        const QString text = CAboutDlg::DescriptionText();
        QVERIFY(text.contains("tool for LiDAR data processing"));
        QVERIFY(text.endsWith(
            "It is an efficient tool for analysing of data collected by LiDAR technology. This "
            "version support LAS file format version 1.0/1.1/1.2 for Linux."));
    }
};

} // namespace telvora

int main(int argc, char* argv[])
{
    return telvora::test::RunAppTest<telvora::AppWidgetTest>(argc, argv);
}

#include "AppWidgetTest.moc"

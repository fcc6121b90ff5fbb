#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QOpenGLContext>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QWindow>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>

#include "AppTestMain.h"
#include "LasImage.h"
#include "PixelChecks.h"
#include "ProcessRun.h"
#include "Recorders.h"
#include "Surveys.h"
#include "TestData.h"
#include "TestFiles.h"
#include "app/CrossSectionCommands.h"
#include "app/MainFrame.h"
#include "app/MeasureCommands.h"
#include "app/QUARNApp.h"
#include "app/RibbonBar.h"
#include "cross/CrossFrame.h"
#include "las/LasException.h"
#include "las/LasHeader.h"
#include "las/LasIo.h"
#include "panes/ClassesPane.h"
#include "panes/FilePropertiesPane.h"
#include "panes/PointPropertiesPane.h"
#include "panes/PropertyGrid.h"
#include "scene/LasFileSet.h"
#include "scene/Palettes.h"
#include "view/QUARNView.h"

namespace telvora
{
namespace
{

namespace fs = std::filesystem;

using test::IsSky;

QStringList MenuTexts(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* action : menu->actions())
    {
        texts << (action->isSeparator() ? QString("|") : action->text());
    }
    return texts;
}

// Overwrites the header's extent (max x, min x, max y, min y, max z, min z).
void SetHeaderBox(const std::string& path, const double (&box)[6])
{
    std::vector<unsigned char> bytes = test::ReadAll(path);
    std::memcpy(bytes.data() + 179, box, sizeof(box));
    test::WriteAll(path, bytes);
}

QString Q(const std::string& path)
{
    return QString::fromStdString(path);
}

// The value of the first row of that name, searched depth first; "?" when there is none.
QString ValueOf(const CPropertyGrid& grid, const QString& name)
{
    std::function<const CPropertyRow*(const CPropertyRow&)> find =
        [&](const CPropertyRow& row) -> const CPropertyRow*
    {
        if (row.GetName() == name)
        {
            return &row;
        }
        for (const auto& child : row.GetChildren())
        {
            if (const CPropertyRow* found = find(*child))
            {
                return found;
            }
        }
        return nullptr;
    };
    for (const auto& row : grid.GetTopRows())
    {
        if (const CPropertyRow* found = find(*row))
        {
            return found->GetValue();
        }
    }
    return "?";
}

// "%f" in the C locale: six decimals.
QString Fixed6(double value)
{
    char digits[64];
    const auto end =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 6).ptr;
    return QString::fromLatin1(digits, static_cast<int>(end - digits));
}

// "%f (%i)": the real-world coordinate, then the raw integer.
QString Coordinate(std::int32_t raw, double scale, double offset)
{
    return Fixed6(raw * scale + offset) + " (" + QString::number(raw) + ")";
}

} // namespace

class AppSceneTest : public QObject
{
    Q_OBJECT

private:
    std::string Survey(const std::string& name, std::uint32_t points, std::uint8_t format,
                       std::uint64_t seed, double originX = 500000.0)
    {
        return test::WriteSurvey(*folder, name, points, format, seed, originX);
    }

    // A real file copied into a folder of the test's own, so that saving may change it.
    std::string RealFile(const std::string& name, const std::string& subfolder)
    {
        const fs::path source = fs::path(TELVORA_TESTDATA_LAS) / name;
        if (!fs::exists(source))
        {
            return {};
        }
        const fs::path target = folder->Path() / subfolder / name;
        fs::create_directories(target.parent_path());
        fs::copy_file(source, target, fs::copy_options::overwrite_existing);
        // The shared files are read-only; a user's own file is not.
        fs::permissions(target, fs::perms::owner_write, fs::perm_options::add);
        return target.string();
    }

    void ShowFrame()
    {
        app = std::make_unique<CQUARNApp>();
        frame = std::make_unique<CMainFrame>(*app);
        frame->SetMessageSink(&messages);
        app->decompressPath = Q(folder->File("work"));
        QDir().mkpath(app->decompressPath);
        frame->resize(900, 700);
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
        QTRY_VERIFY(frame->View()->IsInitialised());
        QVERIFY(frame->View()->IsCapable());
    }

    std::int64_t DrawnPoints()
    {
        frame->View()->grabFramebuffer();
        return frame->View()->drawnPoints;
    }

    // 21 by 21 points a metre apart at z = 0, class 2 (Ground), last of two returns; the same
    // grid 10 m above, class 6 (Building), first of two returns. Record 220 lies in the middle
    // of the lower grid, record 661 above it.
    std::string TwoClassFile()
    {
        test::LasImage image = test::LasImage::Make(1);
        for (const auto& [z, code, returns] : {std::array{0, 2, 0x12}, std::array{1000, 6, 0x11}})
        {
            for (int y = 0; y <= 2000; y += 100)
            {
                for (int x = 0; x <= 2000; x += 100)
                {
                    image.records.push_back(test::MakeRecord(28, x, y, z));
                    image.records.back()[14] = static_cast<unsigned char>(returns);
                    image.records.back()[15] = static_cast<unsigned char>(code);
                }
            }
        }
        LasHeader& h = image.header;
        h.minX = h.minY = h.minZ = 0.0;
        h.maxX = h.maxY = 20.0;
        h.maxZ = 10.0;
        image.Layout(0);
        std::string path = folder->File("twoclass.las");
        image.Save(path);
        return path;
    }

    std::unique_ptr<test::TempDir> folder;
    std::string formatOne;
    std::string formatThree;
    std::unique_ptr<CQUARNApp> app;
    std::unique_ptr<CMainFrame> frame;
    test::RecordingNotifier messages;

private slots:
    void initTestCase()
    {
        folder = std::make_unique<test::TempDir>();
        formatOne = Survey("one.las", 30000, 1, 1);
        formatThree = Survey("three.las", 20000, 3, 2, 500120.0);
    }

    void init()
    {
        messages.shown.clear();
        ShowFrame();
    }

    void cleanup()
    {
        frame.reset();
        app.reset();
    }

    void cleanupTestCase() { folder.reset(); }

    void openLoadsTheFilesAndTheCommandsFollowTheSet()
    {
        CCommandTable& commands = frame->Commands();
        frame->UpdateCommandUI();
        QVERIFY(commands.IsEnabled(ID_FILE_OPEN));
        QVERIFY(!commands.IsEnabled(ID_FILE_CLOSE));
        QVERIFY(!commands.IsEnabled(ID_VIEW_INTENSITY));
        QCOMPARE(frame->PointsPane()->text(), QString("Draving Points: 0"));

        QVERIFY(frame->OpenFiles({Q(formatOne), Q(formatThree)}));
        CQUARNView* view = frame->View();
        QVERIFY(messages.shown.empty());
        QVERIFY(view->sceneReady);
        QCOMPARE(frame->StatusTextPane()->text(), QString("Done"));
        QVERIFY(!frame->ProgressBar()->isVisible());
        QCOMPARE(MenuTexts(frame->Ribbon()->LoadedFilesButton()->menu()),
                 QStringList({"one.las", "three.las", "|", "All", "None"}));
        QVERIFY(commands.IsChecked(ID_VIEW_FILE_FIRST) &&
                commands.IsChecked(ID_VIEW_FILE_FIRST + 1));
        QVERIFY(!commands.Contains(ID_VIEW_FILE_FIRST + 2));
        QVERIFY(commands.IsChecked(ID_VIEW_INTENSITY));
        // A file without colour among coloured ones: every mode but Color.
        for (int id = ID_VIEW_INTENSITY; id <= ID_VIEW_FILES; ++id)
        {
            QVERIFY(commands.IsEnabled(id));
        }
        QVERIFY(!commands.IsEnabled(ID_VIEW_COLOR));
        QVERIFY(commands.IsEnabled(ID_FILE_CLOSE) && commands.IsEnabled(ID_FILE_SAVE));
        QVERIFY(!commands.IsEnabled(ID_FILE_SAVE_AS));
        QCOMPARE(DrawnPoints(), std::int64_t{50000});
        frame->UpdateCommandUI();
        QCOMPARE(frame->PointsPane()->text(), QString("Draving Points: 50000"));

        // Hiding one file through the menu: fewer points, and Save As has its one file.
        QVERIFY(commands.Execute(ID_VIEW_FILE_FIRST));
        QVERIFY(!commands.IsChecked(ID_VIEW_FILE_FIRST));
        QCOMPARE(DrawnPoints(), std::int64_t{20000});
        QVERIFY(commands.IsEnabled(ID_FILE_SAVE_AS));
        QVERIFY(commands.Execute(ID_VIEW_FILE_NONE));
        QCOMPARE(DrawnPoints(), std::int64_t{0});
        QVERIFY(!commands.IsEnabled(ID_FILE_SAVE_AS));
        QVERIFY(commands.Execute(ID_VIEW_FILE_ALL));
        QCOMPARE(DrawnPoints(), std::int64_t{50000});
        QVERIFY(commands.IsChecked(ID_VIEW_FILE_FIRST));

        // The level-of-detail pane and the L key share one flag.
        QVERIFY(commands.Execute(ID_STATUSBAR_PANE_LOD));
        QVERIFY(!view->lodEnabled && !commands.IsChecked(ID_STATUSBAR_PANE_LOD));
        QTest::keyClick(view, Qt::Key_L);
        frame->UpdateCommandUI();
        QVERIFY(view->lodEnabled && commands.IsChecked(ID_STATUSBAR_PANE_LOD));

        QVERIFY(commands.Execute(ID_FILE_CLOSE));
        QVERIFY(view->FileSet() == nullptr && !view->sceneReady);
        QVERIFY(frame->Ribbon()->LoadedFilesButton()->menu()->actions().isEmpty());
        QVERIFY(!commands.Contains(ID_VIEW_FILE_FIRST));
        QVERIFY(!commands.IsEnabled(ID_FILE_CLOSE) && !commands.IsEnabled(ID_VIEW_INTENSITY));
        QCOMPARE(DrawnPoints(), std::int64_t{0});
    }

    void crossSectionWindowFollowsTheLineAndClosesBeforeTheFilesGo()
    {
        CCommandTable& commands = frame->Commands();
        CQUARNView* view = frame->View();
        CCrossSectionCommands& cross = *frame->CrossSections();
        auto markAcross = [&]
        {
            const CBoundingBox& b = view->FileSet()->bounds;
            const float half = (b.maximum.x - b.minimum.x) / 4.0f;
            view->sectionLine =
                std::make_unique<SectionLine>(SectionLine{{-half, 0.0f, 0.0f}, {half, 0.0f, 0.0f}});
            frame->UpdateCommandUI();
        };
        QVERIFY(frame->OpenFiles({Q(formatOne)}));
        frame->UpdateCommandUI();
        QVERIFY(!commands.IsEnabled(ID_TOOLS_CROSSSECTION));
        markAcross();
        QVERIFY(commands.IsEnabled(ID_TOOLS_CROSSSECTION));
        QVERIFY(commands.Execute(ID_TOOLS_CROSSSECTION));
        QPointer<CCrossFrame> window = cross.Frame();
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QString("Cross Section"));
        QCOMPARE(window->parentWidget(), frame.get());
        QCOMPARE(window->size(), QSize(1000, 800));
        QCOMPARE(window->StatusText(), QString("Ready"));
        QCOMPARE(window->PropertiesPane()->windowTitle(), QString("Cross Section Properties"));
        QCOMPARE(window->dockWidgetArea(window->PropertiesPane()), Qt::LeftDockWidgetArea);
        QVERIFY(!window->View()->Section().points[0].empty());
        frame->UpdateCommandUI();
        QVERIFY(!commands.IsEnabled(ID_TOOLS_CROSSSECTION));
        // C and Escape in the 3D view change nothing while it is open.
        QTest::keyClick(view, Qt::Key_C);
        QTest::keyClick(view, Qt::Key_Escape);
        QCOMPARE(cross.Frame(), window.data());
        QVERIFY(view->sectionLine);

        // Close with the window open: it goes before the files it borrows.
        QVERIFY(commands.Execute(ID_FILE_CLOSE));
        QVERIFY(!window && !cross.Frame());

        // Opening other files closes it too; closing it by hand frees the command again.
        QVERIFY(frame->OpenFiles({Q(formatOne)}));
        markAcross();
        QTest::keyClick(view, Qt::Key_C);
        window = cross.Frame();
        QVERIFY(window);
        QVERIFY(frame->OpenFiles({Q(formatThree)}));
        QVERIFY(!window && !cross.Frame());
        markAcross();
        QVERIFY(commands.Execute(ID_TOOLS_CROSSSECTION));
        window = cross.Frame();
        window->close();
        QTRY_VERIFY(!window && !cross.Frame());
        frame->UpdateCommandUI();
        QVERIFY(commands.IsEnabled(ID_TOOLS_CROSSSECTION));

        // A click without a drag: an empty profile, "Ready", and the window stays open as the
        // main window is torn down after the test.
        view->sectionLine = std::make_unique<SectionLine>();
        QVERIFY(commands.Execute(ID_TOOLS_CROSSSECTION));
        QVERIFY(cross.Frame() && cross.Frame()->View()->Section().points[0].empty());
        cross.Frame()->View()->grab();
        QCOMPARE(cross.Frame()->StatusText(), QString("Ready"));
        QVERIFY(messages.shown.empty());
    }

    void progressRedrawsLeaveTheViewsContextCurrent()
    {
        // Long work draws into the view's buffers between progress steps; redrawing the bar must
        // not leave another context current.
        CQUARNView* view = frame->View();
        view->makeCurrent();
        frame->SetProgressRange(0, 200);
        frame->SetProgressPos(50);
        QCOMPARE(QOpenGLContext::currentContext(), view->QOpenGLWidget::context());
        frame->SetStatusText("working");
        frame->SetProgressPos(0);
        QCOMPARE(QOpenGLContext::currentContext(), view->QOpenGLWidget::context());
    }

    void homeViewAfterLoadingFollowsTheExtentOfTheData()
    {
        // 2,000 m by 500 m with heights from 100 to 300 m.
        const std::string path = Survey("extent.las", 2000, 1, 5);
        const double box[6] = {501000.0, 499000.0, 5400300.0, 5399800.0, 300.0, 100.0};
        SetHeaderBox(path, box);
        QVERIFY(frame->OpenFiles({Q(path)}));
        const CCamera& camera = frame->View()->context.camera;
        QCOMPARE(frame->View()->moveStep, 1.0f);
        QCOMPARE(camera.eye.x, 0.0f);
        QCOMPARE(camera.eye.y, 0.0f);
        QCOMPARE(camera.eye.z, 1200.0f);
        QCOMPARE(camera.forward.z, -1.0f);
    }

    void colourModesRecolourThePointsAndCheckTheirCommand()
    {
        QVERIFY(frame->OpenFiles({Q(formatThree)}));
        CCommandTable& commands = frame->Commands();
        frame->UpdateCommandUI();
        QVERIFY(commands.IsEnabled(ID_VIEW_COLOR));

        QVERIFY(commands.Execute(ID_VIEW_CLASSIFICATION));
        QCOMPARE(frame->View()->colorMode, int(ID_VIEW_CLASSIFICATION));
        QVERIFY(commands.IsChecked(ID_VIEW_CLASSIFICATION) &&
                !commands.IsChecked(ID_VIEW_INTENSITY));
        QCOMPARE(frame->StatusTextPane()->text(), QString("Done"));
        QVERIFY(!frame->ProgressBar()->isVisible());
        // Every pixel is the sky or a colour of the class palette: nothing in between.
        const QImage image = frame->View()->grabFramebuffer();
        int coloured = 0;
        for (int y = 0; y < image.height(); y += 2)
        {
            for (int x = 0; x < image.width(); x += 2)
            {
                const QColor pixel = image.pixelColor(x, y);
                if (IsSky(pixel))
                {
                    continue;
                }
                bool inPalette = false;
                for (const Color& c : ClassPalette)
                {
                    inPalette =
                        inPalette ||
                        (std::abs(static_cast<float>(pixel.red()) - c[0] * 255.0f) <= 1.5f &&
                         std::abs(static_cast<float>(pixel.green()) - c[1] * 255.0f) <= 1.5f &&
                         std::abs(static_cast<float>(pixel.blue()) - c[2] * 255.0f) <= 1.5f);
                }
                QVERIFY2(inPalette, qPrintable(pixel.name()));
                ++coloured;
            }
        }
        QVERIFY(coloured > 1000);

        for (int id : {int(ID_VIEW_HEIGHT), int(ID_VIEW_COLOR), int(ID_VIEW_INTENSITY)})
        {
            QVERIFY(commands.Execute(id));
            QCOMPARE(frame->View()->colorMode, id);
            QVERIFY(commands.IsChecked(id));
        }
        QVERIFY(messages.shown.empty());
        // Close keeps the mode.
        QVERIFY(commands.Execute(ID_VIEW_RETURNNUMBER));
        QVERIFY(commands.Execute(ID_FILE_CLOSE));
        QCOMPARE(frame->View()->colorMode, int(ID_VIEW_RETURNNUMBER));
    }

    void filesThatCannotBeShownAreRefusedInOneMessageAndTheOthersLoad()
    {
        // one.las: 30,000 records of 28 bytes from byte 227. Each bad file is that file with a
        // field of its header changed, or cut.
        const std::vector<unsigned char> good = test::ReadAll(formatOne);
        using Patch = std::pair<std::size_t, std::vector<unsigned char>>;
        const auto bad =
            [&](const std::string& name, const std::vector<Patch>& patches, std::size_t length = 0)
        {
            std::vector<unsigned char> image = good;
            for (const auto& [at, bytes] : patches)
            {
                std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<long>(at));
            }
            image.resize(length != 0 ? length : image.size());
            test::WriteAll(folder->File(name), image);
            return Q(folder->File(name));
        };
        const QString png = bad("photo.las", {{0, {0x89, 'P', 'N', 'G'}}});
        const QString format11 = bad("t2.las", {{24, {1, 4}}, {104, {11}}});
        const QString cut = bad("cut.las", {}, 227 + 28 * 718 + 14);
        const QString missing = Q(folder->File("gone.las"));

        QVERIFY(frame->OpenFiles({png, Q(formatOne), format11, cut, missing}));
        QCOMPARE(messages.shown.size(), std::size_t{1});
        QCOMPARE(messages.shown[0].icon, MessageIcon::Error);
        QCOMPARE(messages.shown[0].text, std::string("ReadError::LAS Header\n"
                                                     "ReadError::LAS Point Format\n"
                                                     "ReadError::LAS Point\n"
                                                     "ReadError::File could not be open."));
        QCOMPARE(messages.shown[0].detail,
                 std::string("photo.las is not a LAS file\n"
                             "t2.las: LAS 1.4 files with point format 11 cannot be opened; "
                             "Telvora reads point formats 0 to 10\n"
                             "cut.las ends inside its point records: 718 of 30000 are complete\n"
                             "gone.las: no such file or folder"));
        // The good file is loaded as if it had been opened alone.
        QCOMPARE(frame->View()->FileSet()->count, 1);
        QCOMPARE(MenuTexts(frame->Ribbon()->LoadedFilesButton()->menu()),
                 QStringList({"one.las", "|", "All", "None"}));
        QCOMPARE(DrawnPoints(), std::int64_t{30000});
        QCOMPARE(frame->StatusTextPane()->text(), QString("Done"));

        // Nothing left to load: nothing is loaded, and there is nothing to save.
        app->temporaryFiles = true;
        QVERIFY(!frame->OpenFiles({png, cut}));
        QCOMPARE(messages.shown.size(), std::size_t{2});
        QVERIFY(frame->View()->FileSet() == nullptr);
        QVERIFY(frame->Ribbon()->LoadedFilesButton()->menu()->actions().isEmpty());
        QVERIFY(!frame->Commands().IsEnabled(ID_FILE_SAVE) &&
                !frame->Commands().IsEnabled(ID_FILE_SAVE_AS));
        QCOMPARE(frame->StatusTextPane()->text(), QString("Ready"));
        QVERIFY(QDir(app->decompressPath).entryList(QDir::Files).isEmpty());
        QCOMPARE(DrawnPoints(), std::int64_t{0});
    }

    void aFileChosenUnderSeveralNamesIsLoadedOnce()
    {
        // three.las again, with "/./" in its path, and through a hard and a symbolic link.
        const std::string dotted = (fs::path(formatThree).parent_path() / "." / "three.las");
        const std::string hard = folder->File("hard.las");
        const std::string soft = folder->File("soft.las");
        fs::create_hard_link(formatThree, hard);
        fs::create_symlink(formatThree, soft);
        const bool opened = frame->OpenFiles(
            {Q(formatThree), Q(formatOne), Q(formatThree), Q(dotted), Q(hard), Q(soft)});
        fs::remove(hard);
        fs::remove(soft);
        QVERIFY(opened);
        QCOMPARE(frame->View()->FileSet()->count, 2);
        QCOMPARE(MenuTexts(frame->Ribbon()->LoadedFilesButton()->menu()),
                 QStringList({"three.las", "one.las", "|", "All", "None"}));
        QCOMPARE(DrawnPoints(), std::int64_t{50000});
        QCOMPARE(messages.shown.size(), std::size_t{1});
        QCOMPARE(messages.shown[0].icon, MessageIcon::Information);
        QCOMPARE(messages.shown[0].text, std::string("Every file is loaded once: 4 of the chosen "
                                                     "files were the same as a file chosen "
                                                     "before."));
        QCOMPARE(messages.shown[0].detail, std::string("three.las: the same file as three.las\n"
                                                       "three.las: the same file as three.las\n"
                                                       "hard.las: the same file as three.las\n"
                                                       "soft.las: the same file as three.las"));
    }

    void flatDataIsDrawn()
    {
        // One point, and a column of 500 points one above the other: boxes without area.
        const std::string single = Survey("single.las", 1, 1, 3);
        const std::string column = Survey("column.las", 500, 1, 4);
        std::vector<unsigned char> bytes = test::ReadAll(column);
        for (std::size_t i = 0; i < 500; ++i)
        {
            // X and Y of every record become those of the first; Z stays.
            std::copy_n(bytes.begin() + 227, 8, bytes.begin() + 227 + static_cast<long>(28 * i));
        }
        test::WriteAll(column, bytes);
        const LasHeader header = ReadLasHeaderBlock(column.c_str());
        std::int32_t raw[2];
        std::memcpy(raw, &bytes[227], sizeof raw);
        const double x = raw[0] * header.xScaleFactor + header.xOffset;
        const double y = raw[1] * header.yScaleFactor + header.yOffset;
        const double box[6] = {x, x, y, y, header.maxZ, header.minZ};
        SetHeaderBox(column, box);
        // A file without records is no error either: it opens and shows nothing.
        const std::string empty = Survey("empty.las", 0, 3, 5);
        for (const auto& [path, drawn] :
             {std::pair{single, 1}, std::pair{column, 500}, std::pair{empty, 0}})
        {
            QVERIFY(frame->OpenFiles({Q(path)}));
            QCOMPARE(DrawnPoints(), std::int64_t{drawn});
        }
        QVERIFY(messages.shown.empty());
    }

    void aDoubleClickShowsThePickedRecordAndCloseEmptiesBothPanes()
    {
        QVERIFY(frame->OpenFiles({Q(formatThree)}));
        CQUARNView* view = frame->View();
        QCOMPARE(frame->FileProperties()->GetFileList()->currentText(), QString("three.las"));
        QSignalSpy picked(view, &CQUARNView::pointPicked);
        // From home, the middle of the view looks straight down on the middle of the data.
        const QPoint middle(view->width() / 2, view->height() / 2 - 1);
        QTest::mouseDClick(view, Qt::LeftButton, Qt::NoModifier, middle);
        QCOMPARE(picked.size(), 1);
        QVERIFY(messages.shown.empty());

        // The record as it lies in the file: format 3, 34 bytes from Offset to point data.
        const std::uint32_t index = picked[0][1].toUInt();
        const std::vector<unsigned char> bytes = test::ReadAll(formatThree);
        const LasHeader header = ReadLasHeaderBlock(formatThree.c_str());
        const unsigned char* record = &bytes[header.offsetToPointData + 34 * std::size_t{index}];
        std::int32_t xyz[3];
        std::memcpy(xyz, record, sizeof xyz);
        const CPropertyGrid& grid = *frame->PointProperties()->GetGrid();
        QCOMPARE(ValueOf(grid, "X"), Coordinate(xyz[0], header.xScaleFactor, header.xOffset));
        QCOMPARE(ValueOf(grid, "Y"), Coordinate(xyz[1], header.yScaleFactor, header.yOffset));
        QCOMPARE(ValueOf(grid, "Z"), Coordinate(xyz[2], header.zScaleFactor, header.zOffset));
        // Screen readers and desktop automation read the same values off the grid's cells.
        grid.GetTree()->expandAll();
        QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(grid.GetTree());
        QVERIFY(tree != nullptr);
        QStringList cells;
        for (int i = 0; i < tree->childCount(); ++i)
        {
            cells << tree->child(i)->text(QAccessible::Name);
        }
        QVERIFY2(cells.contains(Coordinate(xyz[0], header.xScaleFactor, header.xOffset)),
                 qPrintable(cells.join('|')));
        QVERIFY(frame->PointPropertiesPane()->isVisible());

        // Escape empties the point pane; Close empties both before the files go, and a double
        // click afterwards finds nothing to pick.
        QTest::mouseDClick(view, Qt::LeftButton, Qt::NoModifier, middle);
        QTest::keyClick(view, Qt::Key_Escape);
        QVERIFY(!frame->PointProperties()->HasPoint());
        QCOMPARE(ValueOf(grid, "X"), QString());
        QTest::mouseDClick(view, Qt::LeftButton, Qt::NoModifier, middle);
        QVERIFY(frame->Commands().Execute(ID_FILE_CLOSE));
        QVERIFY(!frame->PointProperties()->HasPoint());
        QCOMPARE(frame->FileProperties()->GetFileList()->count(), 0);
        QTest::mouseDClick(view, Qt::LeftButton, Qt::NoModifier, middle);
        QCOMPARE(picked.size(), 3);
        QVERIFY(messages.shown.empty());
    }

    void measureTakesTheNextTwoPicksAndEscapeClearsIt()
    {
        // Millimetre records around (500000, 5400000): two corners for the extent, a point in the
        // middle at 10 m and one 1.8 m east, 2.4 m north and 4 m above it (3-4-5).
        test::LasImage image = test::LasImage::Make(1);
        LasHeader& h = image.header;
        h.xScaleFactor = h.yScaleFactor = h.zScaleFactor = 0.001;
        h.xOffset = 500000.0;
        h.yOffset = 5400000.0;
        for (const auto& [x, y, z] :
             {std::array{-100000, -100000, 0}, std::array{100000, 100000, 0},
              std::array{0, 0, 10000}, std::array{1800, 2400, 14000}})
        {
            image.records.push_back(test::MakeRecord(28, x, y, z));
        }
        h.minX = 499900.0;
        h.maxX = 500100.0;
        h.minY = 5399900.0;
        h.maxY = 5400100.0;
        h.minZ = 0.0;
        h.maxZ = 14.0;
        image.Layout(0);
        const std::string path = folder->File("measure.las");
        image.Save(path);
        QVERIFY(frame->OpenFiles({Q(path)}));
        CQUARNView* view = frame->View();
        CCommandTable& commands = frame->Commands();
        frame->UpdateCommandUI();
        QVERIFY(commands.IsEnabled(ID_TOOLS_MEASURE) && !commands.IsChecked(ID_TOOLS_MEASURE));
        QVERIFY(commands.Execute(ID_TOOLS_MEASURE));
        frame->UpdateCommandUI();
        QVERIFY(commands.IsChecked(ID_TOOLS_MEASURE));

        // From home the middle pixel looks straight down; moving the eye over the second point
        // puts it under the same pixel.
        const QPoint middle(view->width() / 2, view->height() / 2 - 1);
        const auto pickAt = [&](float x, float y)
        {
            view->context.camera.eye.x = x;
            view->context.camera.eye.y = y;
            QTest::mouseDClick(view, Qt::LeftButton, Qt::NoModifier, middle);
        };
        QSignalSpy picked(view, &CQUARNView::pointPicked);
        pickAt(0.0f, 0.0f);
        pickAt(1.8f, 2.4f);
        QCOMPARE(picked.size(), 2);
        QCOMPARE(picked[0][1].toUInt(), 2u);
        QCOMPARE(picked[1][1].toUInt(), 3u);
        QVERIFY(messages.shown.empty());
        QCOMPARE(frame->StatusTextPane()->text(),
                 QString("3D: 5.000 m, horizontal: 3.000 m, height: 4.000 m, slope: "
                         "53.13\u00b0 (133.33 %)"));
        const CPropertyGrid& grid = *frame->PointProperties()->GetGrid();
        QCOMPARE(ValueOf(grid, "3D Distance"), QString("5.000 m"));
        QCOMPARE(ValueOf(grid, "Horizontal Distance"), QString("3.000 m"));
        QCOMPARE(ValueOf(grid, "Height Difference"), QString("4.000 m"));
        QCOMPARE(ValueOf(grid, "Slope"), QString("53.13\u00b0 (133.33 %)"));
        // The pane still shows the record picked last.
        QCOMPARE(ValueOf(grid, "X"), QString("500001.800000 (1800)"));
        // The line is drawn in its own colour over the sky.
        QVERIFY(test::CountColour(view->grabFramebuffer(), QColor(255, 0, 255)) > 0);

        // A third pick starts a new measurement at it.
        pickAt(0.0f, 0.0f);
        QCOMPARE(view->measureEnds.size(), std::size_t{1});
        QCOMPARE(ValueOf(grid, "3D Distance"), QString());
        pickAt(1.8f, 2.4f);
        QCOMPARE(ValueOf(grid, "3D Distance"), QString("5.000 m"));

        // Escape drops the pick and the measurement and ends measuring.
        QTest::keyClick(view, Qt::Key_Escape);
        frame->UpdateCommandUI();
        QVERIFY(view->measureEnds.empty() && !frame->PointProperties()->HasPoint());
        QCOMPARE(ValueOf(grid, "3D Distance"), QString());
        QCOMPARE(ValueOf(grid, "Slope"), QString());
        QCOMPARE(frame->StatusTextPane()->text(), QString("Ready"));
        QVERIFY(!commands.IsChecked(ID_TOOLS_MEASURE));
        QCOMPARE(test::CountColour(view->grabFramebuffer(), QColor(255, 0, 255)), 0);
        // Unarmed, picks measure nothing.
        pickAt(0.0f, 0.0f);
        pickAt(1.8f, 2.4f);
        QVERIFY(view->measureEnds.empty());
        QCOMPARE(ValueOf(grid, "3D Distance"), QString());
    }

    void hiddenClassesAreNeitherDrawnNorPickedUntilShownAgain()
    {
        const std::string path = TwoClassFile();
        QVERIFY(frame->OpenFiles({Q(path)}));
        CQUARNView* view = frame->View();
        CCommandTable& commands = frame->Commands();
        QVERIFY(commands.Execute(ID_VIEW_CLASSIFICATION));
        // The pane waits until the View panel's check box asks for it.
        frame->UpdateCommandUI();
        QVERIFY(!frame->ClassesPane()->isVisible() && !commands.IsChecked(ID_VIEW_CLASSES));
        QVERIFY(commands.Execute(ID_VIEW_CLASSES));
        QVERIFY(frame->ClassesPane()->isVisible() && commands.IsChecked(ID_VIEW_CLASSES));
        CClassesWnd& pane = *frame->Classes();
        QTreeWidget& rows = *pane.Rows();
        QCOMPARE(rows.topLevelItemCount(), 2);
        QCOMPARE(rows.topLevelItem(0)->text(0) + " " + rows.topLevelItem(0)->text(1),
                 QString("Ground 441"));
        QCOMPARE(rows.topLevelItem(1)->text(0) + " " + rows.topLevelItem(1)->text(1),
                 QString("Building 441"));

        // Ground's dark red (0.54, 0, 0.16) lies under Building's red (1, 0, 0).
        const QColor ground(138, 0, 41);
        const QColor building(255, 0, 0);
        const QPoint middle(view->width() / 2, view->height() / 2 - 1);
        QSignalSpy picked(view, &CQUARNView::pointPicked);
        const auto check = [&](bool groundSeen, bool buildingSeen, int pickedIndex)
        {
            const QImage image = view->grabFramebuffer();
            QCOMPARE(test::CountColour(image, ground) > 0, groundSeen);
            QCOMPARE(test::CountColour(image, building) > 0, buildingSeen);
            picked.clear();
            messages.shown.clear();
            QTest::mouseDClick(view, Qt::LeftButton, Qt::NoModifier, middle);
            if (pickedIndex < 0)
            {
                QCOMPARE(picked.size(), 0);
                QCOMPARE(messages.shown.size(), std::size_t{1});
                QCOMPARE(QString::fromStdString(messages.shown[0].text),
                         QString("Change the view and try again"));
            }
            else
            {
                QCOMPARE(picked.size(), 1);
                QCOMPARE(picked[0][1].toUInt(), static_cast<quint32>(pickedIndex));
            }
        };
        check(true, true, 661);
        rows.topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        check(true, false, 220);
        pane.HideAllButton()->click();
        check(false, false, -1);
        pane.ShowAllButton()->click();
        check(true, true, 661);
        // Last returns: the lower grid alone.
        pane.Returns()->setCurrentIndex(2);
        emit pane.Returns()->activated(2);
        check(true, false, 220);

        // A new load keeps the filter, and close empties the pane.
        QVERIFY(frame->OpenFiles({Q(path)}));
        QCOMPARE(pane.Returns()->currentText(), QString("Last returns"));
        // Recolouring keeps it too.
        QVERIFY(commands.Execute(ID_VIEW_CLASSIFICATION));
        check(true, false, 220);
        QVERIFY(commands.Execute(ID_FILE_CLOSE));
        QCOMPARE(rows.topLevelItemCount(), 0);
    }

    void temporaryCopiesReachTheOriginalsOnlyThroughSave()
    {
        const std::string original = RealFile("simple.las", "originals");
        if (original.empty())
        {
            TELVORA_QT_MISSING_TEST_INPUT("the real LAS files are not beside the repository");
        }
        const std::vector<unsigned char> before = test::ReadAll(original);
        app->temporaryFiles = true;
        QVERIFY(frame->OpenFiles({Q(original)}));
        const std::string copy = (fs::path(app->decompressPath.toStdString()) / "simple.las");
        QVERIFY(fs::exists(copy));
        CLasFileSet* set = frame->View()->FileSet();
        QCOMPARE(std::string(set->files[0].path), copy);
        QCOMPARE(MenuTexts(frame->Ribbon()->LoadedFilesButton()->menu()).front(),
                 QString("simple.las"));

        // A change to the working copy, as a reclassification makes it.
        const LasHeader header = ReadLasHeaderBlock(copy.c_str());
        const unsigned char changed[1] = {
            static_cast<unsigned char>(before[header.offsetToPointData + 15] ^ 0x1f)};
        WriteLasPointRecord(copy.c_str(), 1, changed, header.offsetToPointData + 15);
        QVERIFY(test::ReadAll(original) == before);

        QVERIFY(frame->Commands().Execute(ID_FILE_SAVE));
        QVERIFY(messages.shown.empty());
        QVERIFY(test::ReadAll(original) == test::ReadAll(copy));
        QVERIFY(test::ReadAll(original) != before);

        // Save As with copies: the copy stays in use and the next Save writes to the new file.
        const std::string renamed = folder->File("renamed.las");
        frame->SetSaveAsChooser([&] { return Q(renamed); });
        QVERIFY(frame->Commands().Execute(ID_FILE_SAVE_AS));
        QCOMPARE(std::string(set->files[0].path), copy);
        QCOMPARE(std::string(set->sourcePaths[0]), renamed);
        QVERIFY(test::ReadAll(renamed) == test::ReadAll(copy));

        // Switching the setting off does not strand the changes in the copies.
        app->temporaryFiles = false;
        WriteLasPointRecord(copy.c_str(), 1, before.data() + header.offsetToPointData + 15,
                            header.offsetToPointData + 15);
        QVERIFY(frame->Commands().Execute(ID_FILE_SAVE));
        QVERIFY(test::ReadAll(renamed) == before);

        QVERIFY(frame->Commands().Execute(ID_FILE_CLOSE));
        QVERIFY(!fs::exists(copy));
        QVERIFY(fs::exists(original) && fs::exists(renamed));
    }

    void saveAsWithoutCopiesMovesTheSetToTheNewFile()
    {
        const std::string original = RealFile("simple.las", "plain");
        const std::string other = RealFile("warsaw_small.las", "plain");
        if (original.empty() || other.empty())
        {
            TELVORA_QT_MISSING_TEST_INPUT("the real LAS files are not beside the repository");
        }
        const std::vector<unsigned char> before = test::ReadAll(original);
        const std::vector<unsigned char> otherBefore = test::ReadAll(other);
        QVERIFY(frame->OpenFiles({Q(original), Q(other)}));
        CLasFileSet* set = frame->View()->FileSet();
        QVERIFY(set->sourcePaths == nullptr);
        // Save has no originals to write to, and says so.
        QVERIFY(frame->Commands().Execute(ID_FILE_SAVE));
        QVERIFY(test::ReadAll(original) == before);
        QCOMPARE(frame->StatusTextPane()->text(),
                 QString("Nothing to save: changes are written straight into the opened files"));

        // Two visible files: no Save As until one is hidden.
        QVERIFY(!frame->Commands().IsEnabled(ID_FILE_SAVE_AS));
        QVERIFY(frame->Commands().Execute(ID_VIEW_FILE_FIRST + 1));
        QVERIFY(frame->Commands().IsEnabled(ID_FILE_SAVE_AS));

        // Not over the other loaded file.
        frame->SetSaveAsChooser([&] { return Q(other); });
        QVERIFY(frame->Commands().Execute(ID_FILE_SAVE_AS));
        QCOMPARE(messages.shown.size(), std::size_t{1});
        QVERIFY(test::ReadAll(other) == otherBefore);

        // Not over a file the user made read-only, which the folder alone would let us replace.
        const std::string locked = folder->File("locked.las");
        test::WriteAll(locked, otherBefore);
        fs::permissions(locked, fs::perms::owner_read);
        frame->SetSaveAsChooser([&] { return Q(locked); });
        QVERIFY(frame->Commands().Execute(ID_FILE_SAVE_AS));
        QCOMPARE(messages.shown.size(), std::size_t{2});
        QCOMPARE(messages.shown[1].text, std::string("WriteError::File could not be created."));
        QCOMPARE(messages.shown[1].detail, locked + ": the file is read-only");
        QVERIFY(test::ReadAll(locked) == otherBefore);

        const std::string saved = folder->File("saved as.las");
        frame->SetSaveAsChooser([&] { return Q(saved); });
        QVERIFY(frame->Commands().Execute(ID_FILE_SAVE_AS));
        QVERIFY(test::ReadAll(saved) == before);
        QCOMPARE(std::string(set->files[0].path), saved);
        QCOMPARE(MenuTexts(frame->Ribbon()->LoadedFilesButton()->menu()).front(),
                 QString("saved as.las"));
        // A cancelled dialog changes nothing.
        frame->SetSaveAsChooser([] { return QString(); });
        QVERIFY(frame->Commands().Execute(ID_FILE_SAVE_AS));
        QCOMPARE(std::string(set->files[0].path), saved);
        QVERIFY(test::ReadAll(original) == before);
    }

    void openTakesTheFirstFiftyFilesAndACancelKeepsTheScene()
    {
        QStringList paths;
        for (int i = 0; i < 60; ++i)
        {
            const std::string name = "tile" + std::to_string(100 + i);
            paths << Q(Survey(name + ".las", 200, 0, static_cast<std::uint64_t>(i) + 1));
        }
        frame->SetOpenChooser([&] { return paths; });
        QVERIFY(frame->Commands().Execute(ID_FILE_OPEN));
        const QStringList texts = MenuTexts(frame->Ribbon()->LoadedFilesButton()->menu());
        QCOMPARE(texts.size(), 53);
        QCOMPARE(texts[0], QString("tile100.las"));
        QCOMPARE(texts[49], QString("tile149.las"));
        QCOMPARE(texts.mid(50), QStringList({"|", "All", "None"}));
        QVERIFY(frame->Commands().Contains(ID_VIEW_FILE_FIRST + 49));
        QVERIFY(!frame->Commands().Contains(ID_VIEW_FILE_FIRST + 50));
        // The ten left out are named.
        QCOMPARE(messages.shown.size(), std::size_t{1});
        QCOMPARE(messages.shown[0].icon, MessageIcon::Information);
        QCOMPARE(messages.shown[0].text, std::string("At most 50 files can be open at once: the "
                                                     "first 50 were opened and 10 were left out."));
        QCOMPARE(messages.shown[0].detail, std::string("tile150.las\ntile151.las\ntile152.las\n"
                                                       "tile153.las\ntile154.las\ntile155.las\n"
                                                       "tile156.las\ntile157.las\ntile158.las\n"
                                                       "tile159.las"));

        frame->SetOpenChooser([] { return QStringList(); });
        QVERIFY(frame->Commands().Execute(ID_FILE_OPEN));
        QCOMPARE(frame->View()->FileSet()->count, 50);

        // Ctrl+O in the view is the same command.
        int asked = 0;
        frame->SetOpenChooser(
            [&]
            {
                ++asked;
                return QStringList();
            });
        QTest::keyClick(frame->View(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(asked, 1);
    }

    void droppedLasFilesAreOpened()
    {
        auto data = std::make_unique<QMimeData>();
        data->setUrls({QUrl::fromLocalFile(Q(folder->File("notes.txt"))),
                       QUrl::fromLocalFile(Q(formatThree))});
        const QPoint at = frame->View()->geometry().center();
        QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(frame.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(frame.get(), &drop);
        QTRY_VERIFY(frame->View()->FileSet() != nullptr);
        QCOMPARE(frame->View()->FileSet()->count, 1);

        QMimeData text;
        text.setText("not a file");
        QDragEnterEvent refused(at, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        refused.setAccepted(false);
        QApplication::sendEvent(frame.get(), &refused);
        QVERIFY(!refused.isAccepted());
    }

    void filesNamedAtStartOpenOnceTheViewCanTakeThem()
    {
        cleanup();
        CQUARNApp starting;
        bool reported = false;
        bool loaded = false;
        starting.startupDone = [&](bool ok)
        {
            reported = true;
            loaded = ok;
        };
        // The load must find the window on the screen, or it would stay black until the end: the
        // message about a missing file, shown before the others load, sees the window exposed.
        class ExposureProbe : public INotifier
        {
        public:
            void ShowMessage(const std::string&, const std::string&, MessageIcon,
                             const std::string& detail) override
            {
                shown.push_back(detail);
                exposed = frame != nullptr && frame->windowHandle()->isExposed();
            }
            CMainFrame* frame = nullptr;
            std::vector<std::string> shown;
            bool exposed = false;
        } probe;
        QVERIFY(starting.InitInstance({Q(folder->File("gone.las")), Q(formatOne)}));
        probe.frame = starting.MainFrame();
        starting.MainFrame()->SetMessageSink(&probe);
        QTRY_VERIFY(reported);
        QCOMPARE(probe.shown, std::vector<std::string>{"gone.las: no such file or folder"});
        QVERIFY(probe.exposed);
        QVERIFY(loaded);
        QCOMPARE(starting.MainFrame()->View()->FileSet()->count, 1);
        QVERIFY(starting.MainFrame()->View()->sceneReady);
        starting.MainFrame()->close();
    }

    void screenshotPicturesTheLoadedSurveyAndExits()
    {
        cleanup();
        // The user's settings, which a picture taken by a script must leave as they are.
        const std::string settings =
            qEnvironmentVariable("XDG_CONFIG_HOME").toStdString() + "/MERVAK/QUARN 2.2.conf";
        fs::create_directories(fs::path(settings).parent_path());
        const std::string stored = "[General]\nApplicationLook=215\n\n[Settings]\n"
                                   "Placement=\"0,1,-1,-1,-1,-1,10,20,610,420\"\n"
                                   "TemporaryFiles=0\n";
        test::WriteAll(settings, std::vector<unsigned char>(stored.begin(), stored.end()));

        const std::string picture = folder->File("view.png");
        const test::ProcessResult run = test::RunProcess(
            TELVORA_VIEWER,
            {"--screenshot", picture, "--size", "640x480", "--view-only", formatOne},
            folder->File("screenshot.err"));
        QCOMPARE(run.exitCode, 0);
        const QImage image(Q(picture));
        QVERIFY(!image.isNull());
        int points = 0;
        for (int y = 0; y < image.height(); ++y)
        {
            for (int x = 0; x < image.width(); ++x)
            {
                const QColor pixel = image.pixelColor(x, y);
                if (IsSky(pixel))
                {
                    continue;
                }
                // Intensity greys and nothing else.
                QVERIFY2(test::IsGrey(pixel), qPrintable(pixel.name()));
                ++points;
            }
        }
        QVERIFY(points > image.width() * image.height() / 10);

        const std::string window = folder->File("window.png");
        const test::ProcessResult whole = test::RunProcess(
            TELVORA_VIEWER, {"--screenshot", window, "--size", "1024x768", formatOne},
            folder->File("window.err"));
        QCOMPARE(whole.exitCode, 0);
        QCOMPARE(QImage(Q(window)).size(), QSize(1024, 768));

        // A file that cannot be read: the message goes to the terminal and no picture is made.
        // Beside a good file, the good one is pictured but the run still fails.
        for (const bool withGoodFile : {false, true})
        {
            const std::string none = folder->File(withGoodFile ? "partial.png" : "none.png");
            std::vector<std::string> arguments = {"--screenshot", none,
                                                  folder->File("missing.las")};
            if (withGoodFile)
            {
                arguments.push_back(formatOne);
            }
            const test::ProcessResult failed =
                test::RunProcess(TELVORA_VIEWER, arguments, folder->File("failed.err"));
            QCOMPARE(failed.exitCode, 1);
            QCOMPARE(fs::exists(none), withGoodFile);
            // Qt may warn about the environment before; the message is the end of the output.
            const std::vector<unsigned char> err = test::ReadAll(folder->File("failed.err"));
            const std::string expected = "Telvora: ReadError::File could not be open.\n"
                                         "missing.las: no such file or folder\n";
            QVERIFY(std::string(err.begin(), err.end()).ends_with(expected));
        }

        // Pictures beyond 16384 pixels a side would take minutes and gigabytes.
        const test::ProcessResult huge = test::RunProcess(
            TELVORA_VIEWER, {"--screenshot", folder->File("huge.png"), "--size", "16385x600"},
            folder->File("huge.err"));
        QCOMPARE(huge.exitCode, 2);
        QVERIFY(!fs::exists(folder->File("huge.png")));

        // Hidden classes and returns: hiding Ground and showing last returns leaves nothing of
        // the two grids, first returns leave the upper one.
        const std::string twoClasses = TwoClassFile();
        for (const auto& [returns, pointsSeen] : {std::pair{"last", false}, {"first", true}})
        {
            const std::string filtered = folder->File("filtered.png");
            const test::ProcessResult filteredRun =
                test::RunProcess(TELVORA_VIEWER,
                                 {"--screenshot", filtered, "--size", "640x480", "--view-only",
                                  "--hide-classes", "2", "--returns", returns, twoClasses},
                                 folder->File("filtered.err"));
            QCOMPARE(filteredRun.exitCode, 0);
            const QImage shot(Q(filtered));
            int drawn = 0;
            for (int y = 0; y < shot.height(); ++y)
            {
                for (int x = 0; x < shot.width(); ++x)
                {
                    drawn += IsSky(shot.pixelColor(x, y)) ? 0 : 1;
                }
            }
            QCOMPARE(drawn > 0, pointsSeen);
        }
        for (const auto& [option, value] : {std::pair{"--hide-classes", "256"},
                                            {"--hide-classes", "7,,18"},
                                            {"--hide-classes", "-1"},
                                            {"--returns", "both"},
                                            {"--returns", "First"}})
        {
            const test::ProcessResult bad = test::RunProcess(
                TELVORA_VIEWER,
                {"--screenshot", folder->File("bad.png"), option, value, twoClasses},
                folder->File("bad.err"));
            QCOMPARE(bad.exitCode, 2);
            QVERIFY(!fs::exists(folder->File("bad.png")));
        }

        const std::vector<unsigned char> after = test::ReadAll(settings);
        QCOMPARE(std::string(after.begin(), after.end()), stored);
    }
};

} // namespace telvora

int main(int argc, char* argv[])
{
    return telvora::test::RunAppTest<telvora::AppSceneTest>(argc, argv);
}

#include "AppSceneTest.moc"

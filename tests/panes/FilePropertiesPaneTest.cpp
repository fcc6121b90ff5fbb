// The file properties pane on the real LAS files and on files built here byte by byte: every
// header value against the reference values, the variable length records, read failures and
// closing.

#include "panes/FilePropertiesPane.h"

#include <QAction>
#include <QComboBox>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <string>

#include "LasImage.h"
#include "PaneTestFiles.h"
#include "Recorders.h"
#include "TestFiles.h"
#include "panes/PropertyGrid.h"

namespace telvora
{

using nlohmann::json;
using test::Escaped;
using test::Fixed6;
using test::ItemAt;
using test::ShownTopNames;

namespace
{

struct Shown
{
    QStringList names;
    QString value;
};

QString Decimal(const json& value)
{
    return QString::fromStdString(std::to_string(value.get<std::uint64_t>()));
}

// The 43 header rows in file order with the values an independent reader recorded.
std::vector<Shown> HeaderRows(const json& h)
{
    const QString top = "Header";
    std::vector<Shown> rows = {
        {{top, "File Signature"}, QString::fromStdString(h["file_signature"])},
        {{top, "File Source ID"}, Decimal(h["file_source_id"])},
        {{top, "Global Encoding"}, Decimal(h["global_encoding"])},
        {{top, "Project ID - GUID data 1"}, Decimal(h["project_id_guid_data_1"])},
        {{top, "Project ID - GUID data 2"}, Decimal(h["project_id_guid_data_2"])},
        {{top, "Project ID - GUID data 3"}, Decimal(h["project_id_guid_data_3"])},
    };
    const std::string guid4 = h["project_id_guid_data_4"];
    for (std::size_t i = 0; i < 8; ++i)
    {
        rows.push_back({{top, "Project ID - GUID data 4", QString("[%1]").arg(i + 1)},
                        QString::number(std::stoi(guid4.substr(2 * i, 2), nullptr, 16))});
    }
    rows.push_back({{top, "Version Number", "Version Major"}, Decimal(h["version_major"])});
    rows.push_back({{top, "Version Number", "Version Minor"}, Decimal(h["version_minor"])});
    rows.push_back({{top, "System Identifier"}, QString::fromStdString(h["system_identifier"])});
    rows.push_back(
        {{top, "Generating Software"}, QString::fromStdString(h["generating_software"])});
    const std::pair<const char*, const char*> plain[] = {
        {"File Creation Day of Year", "file_creation_day_of_year"},
        {"File Creation Year", "file_creation_year"},
        {"Header Size", "header_size"},
        {"Offset to point data", "offset_to_point_data"},
        {"Number of Variable Length Records", "number_of_variable_length_records"},
        {"Point Data Format ID", "point_data_format_id"},
        {"Point Data Record Length", "point_data_record_length"},
        {"Number of point records", "number_of_point_records"}};
    for (const auto& [name, key] : plain)
    {
        rows.push_back({{top, name}, Decimal(h[key])});
    }
    for (int i = 0; i < 5; ++i)
    {
        rows.push_back({{top, "Number of points by return", QString("[%1]").arg(i + 1)},
                        Decimal(h["number_of_points_by_return"][i])});
    }
    for (const char* axis : {"x", "y", "z"})
    {
        const QString name = QString(axis).toUpper();
        rows.push_back(
            {{top, "Scale factors", name}, Fixed6(h[std::string(axis) + "_scale_factor"])});
    }
    for (const char* axis : {"x", "y", "z"})
    {
        const QString name = QString(axis).toUpper();
        rows.push_back({{top, "Offset", name}, Fixed6(h[std::string(axis) + "_offset"])});
    }
    for (const char* axis : {"x", "y", "z"})
    {
        const QString name = QString(axis).toUpper();
        rows.push_back({{top, "Bounding Box", name, "Max"}, Fixed6(h["max_" + std::string(axis)])});
        rows.push_back({{top, "Bounding Box", name, "Min"}, Fixed6(h["min_" + std::string(axis)])});
    }
    return rows;
}

QAction* Action(const CPropertiesFileWnd& pane, const char* name)
{
    return pane.findChild<QAction*>(name);
}

QTreeWidget* Tree(const CPropertiesFileWnd& pane)
{
    return pane.GetGrid()->GetTree();
}

QString Value(const CPropertiesFileWnd& pane, const QStringList& names)
{
    const QTreeWidgetItem* item = ItemAt(Tree(pane), names);
    return item != nullptr ? item->text(1) : QString("<no row>");
}

// Two records (data of 10 and 0 bytes) in a block that declares three; one format-0 point.
std::vector<unsigned char> ThreeDeclaredTwoHeld()
{
    test::LasImage image = test::LasImage::Make(0, 1);
    image.AddVlr("ABCDEFGHIJKLMNOPQ", 7, {'K', 'e', 'y', 0x01, 0x02, 0xC3, 0x28, 0x7F, '!', 0x09},
                 "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456");
    image.AddVlr("LASF_Projection", 34737, {});
    image.Layout(3);
    return image.Bytes();
}

} // namespace

class FilePropertiesPaneTest : public QObject
{
    Q_OBJECT

private slots:
    void showsEveryHeaderFieldOfRealFiles_data()
    {
        QTest::addColumn<QString>("file");
        for (const char* name : {"1.2_3.las", "autzen.las", "epsg_4326.las", "lots_of_vlr.las",
                                 "hexbin-crop.las", "garbage_nVariableLength.las"})
        {
            QTest::newRow(name) << name;
        }
    }
    void showsEveryHeaderFieldOfRealFiles()
    {
        TELVORA_REQUIRE_REAL_FILES();
        QFETCH(QString, file);
        const json header = test::Reference(file.toStdString())["header"];
        const auto set = test::SetOf({test::RealFile(file.toStdString())});
        test::RecordingNotifier notifier;
        CPropertiesFileWnd pane(&notifier);
        pane.SetFileSet(set.get());

        QCOMPARE(ShownTopNames(Tree(pane)), QStringList{"Header"});
        const std::vector<Shown> rows = HeaderRows(header);
        QCOMPARE(rows.size(), std::size_t{43});
        QStringList box;
        for (const Shown& row : rows)
        {
            QCOMPARE(Value(pane, row.names) + " at " + row.names.join('/'),
                     row.value + " at " + row.names.join('/'));
            QVERIFY(ItemAt(Tree(pane), row.names)->font(1).bold() || row.value.isEmpty());
            if (row.names[1] == "Bounding Box")
            {
                box.push_back(row.value);
            }
        }
        QCOMPARE(Value(pane, {"Header", "Bounding Box"}), box.join(", "));
        QCOMPARE(Value(pane, {"Header", "Version Number"}),
                 Decimal(header["version_major"]) + ", " + Decimal(header["version_minor"]));
        QVERIFY(notifier.shown.empty());
    }

    void listsFilesInSetOrderAndShowsTheChosenOnesHeader()
    {
        TELVORA_REQUIRE_REAL_FILES();
        test::TempDir dir;
        const std::string odd = dir.File("flight\\b.las");
        test::WriteAll(odd, ThreeDeclaredTwoHeld());
        const auto set =
            test::SetOf({test::RealFile("autzen.las"), test::RealFile("1.2_3.las"), odd});
        test::RecordingNotifier notifier;
        CPropertiesFileWnd pane(&notifier);
        pane.SetFileSet(set.get());

        QComboBox* list = pane.findChild<QComboBox*>("fileList");
        QVERIFY(list != nullptr && !list->isEditable());
        QStringList names;
        for (int i = 0; i < list->count(); ++i)
        {
            names.push_back(list->itemText(i));
        }
        QCOMPARE(names, QStringList({"autzen.las", "1.2_3.las", "b.las"}));
        QCOMPARE(list->currentIndex(), 0);
        QCOMPARE(Value(pane, {"Header", "Generating Software"}), QString("TerraScan"));

        Action(pane, "showVrlAction")->trigger();
        QVERIFY(pane.GetVlrGroup() != nullptr);
        list->setCurrentIndex(1);
        QCOMPARE(Value(pane, {"Header", "Generating Software"}), QString("libLAS 1.2"));
        QCOMPARE(Value(pane, {"Header", "Number of point records"}), QString("1"));
        QCOMPARE(ShownTopNames(Tree(pane)), QStringList{"Header"});
        QCOMPARE(pane.GetVlrGroup(), nullptr);
    }

    void showsTheRecordsOfRealFilesOnceHoweverOftenAsked_data()
    {
        QTest::addColumn<QString>("file");
        for (const char* name :
             {"1.2_3.las", "autzen.las", "epsg_4326.las", "mvk-thin.las", "lots_of_vlr.las"})
        {
            QTest::newRow(name) << name;
        }
    }
    void showsTheRecordsOfRealFilesOnceHoweverOftenAsked()
    {
        TELVORA_REQUIRE_REAL_FILES();
        QFETCH(QString, file);
        const std::string path = test::RealFile(file.toStdString());
        const json vlrs = test::Reference(file.toStdString())["vlrs"];
        const std::vector<unsigned char> bytes = test::ReadAll(path);
        const auto set = test::SetOf({path});
        test::RecordingNotifier notifier;
        CPropertiesFileWnd pane(&notifier);
        pane.SetFileSet(set.get());
        Action(pane, "showVrlAction")->trigger();
        Action(pane, "showVrlAction")->trigger();

        QCOMPARE(Tree(pane)->topLevelItemCount(), 2);
        const QTreeWidgetItem* group = ItemAt(Tree(pane), {"Variable length records"});
        QVERIFY(group != nullptr && !group->isExpanded());
        QCOMPARE(static_cast<std::size_t>(group->childCount()), vlrs.size());
        for (const json& vlr : vlrs)
        {
            const QString name = QString("VRL %1").arg(vlr["index"].get<int>() + 1);
            const std::size_t length = vlr["record_length_after_header"];
            const std::size_t data = vlr["file_offset"].get<std::size_t>() + 54;
            const Shown rows[] = {
                {{name, "Reserved"}, Decimal(vlr["reserved"])},
                {{name, "User ID"}, QString::fromStdString(vlr["user_id"])},
                {{name, "Record ID"}, Decimal(vlr["record_id"])},
                {{name, "Record Length After Header"}, Decimal(vlr["record_length_after_header"])},
                {{name, "Description"}, QString::fromStdString(vlr["description"])},
                {{name, "Data"}, Escaped(bytes.data() + data, length)},
            };
            for (const Shown& row : rows)
            {
                const QString shown =
                    Value(pane, QStringList{"Variable length records"} + row.names);
                QCOMPARE(shown + " at " + row.names.join('/'),
                         row.value + " at " + row.names.join('/'));
                for (const QChar c : shown)
                {
                    QVERIFY(c.unicode() >= 0x20 && c.unicode() < 0x7F);
                }
            }
        }
        QVERIFY(notifier.shown.empty());
    }

    void recordsThatDoNotFitAreCountedNotShown()
    {
        TELVORA_REQUIRE_REAL_FILES();
        test::TempDir dir;
        test::WriteAll(dir.File("built.las"), ThreeDeclaredTwoHeld());
        const auto set =
            test::SetOf({dir.File("built.las"), test::RealFile("garbage_nVariableLength.las")});
        test::RecordingNotifier notifier;
        CPropertiesFileWnd pane(&notifier);
        pane.SetFileSet(set.get());
        Action(pane, "showVrlAction")->trigger();

        const QTreeWidgetItem* group = ItemAt(Tree(pane), {"Variable length records"});
        QVERIFY(group != nullptr);
        QCOMPARE(group->childCount(), 3);
        const Shown rows[] = {
            {{"Records found"}, "2 of 3 declared"},
            {{"VRL 1", "User ID"}, "ABCDEFGHIJKLMNOP"},
            {{"VRL 1", "Record ID"}, "7"},
            {{"VRL 1", "Record Length After Header"}, "10"},
            {{"VRL 1", "Description"}, "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"},
            {{"VRL 1", "Data"}, "Key\\x01\\x02\\xc3(\\x7f!\\x09"},
            {{"VRL 2", "User ID"}, "LASF_Projection"},
            {{"VRL 2", "Record ID"}, "34737"},
            {{"VRL 2", "Record Length After Header"}, "0"},
            {{"VRL 2", "Data"}, ""},
        };
        for (const Shown& row : rows)
        {
            QCOMPARE(Value(pane, QStringList{"Variable length records"} + row.names), row.value);
        }

        pane.GetFileList()->setCurrentIndex(1);
        Action(pane, "showVrlAction")->trigger();
        group = ItemAt(Tree(pane), {"Variable length records"});
        QVERIFY(group != nullptr);
        QCOMPARE(group->childCount(), 1);
        QCOMPARE(Value(pane, {"Variable length records", "Records found"}),
                 QString("0 of 1069128089 declared"));
        QVERIFY(notifier.shown.empty());
    }

    void showsTheFieldsAndExtendedRecordsThatTheVersionLaysOut()
    {
        test::TempDir dir;
        test::LasImage v14 = test::LasImage::Make(6, 2);
        v14.header.startOfWaveformDataPacketRecord = 123456789012;
        for (std::uint64_t k = 0; k < 15; ++k)
        {
            v14.header.extendedNumberOfPointsByReturn[k] = 100 + k;
        }
        v14.header.extendedNumberOfPointsByReturn[14] = std::uint64_t{1} << 40;
        v14.AddVlr("vlr", 1, {'a', 'b', 'c'});
        // 65,546 bytes of data: only the first 64 KiB are shown.
        std::vector<unsigned char> waves(65546, 'w');
        waves[0] = 0x01;
        v14.AddEvlr("LASF_Spec", 65535, waves, "waveform");
        v14.AddEvlr("ABCDEFGHIJKLMNOPQ", 7, {'K', 0x7F}, "short");
        v14.Layout(1);
        v14.Save(dir.File("v14.las"));
        test::LasImage v13 = test::LasImage::Make(4);
        v13.header.startOfWaveformDataPacketRecord = 4242;
        v13.Layout(0);
        v13.Save(dir.File("v13.las"));
        test::LasImage v12 = test::LasImage::Make(0, 1);
        v12.Layout(0);
        v12.Save(dir.File("v12.las"));
        const auto set =
            test::SetOf({dir.File("v14.las"), dir.File("v13.las"), dir.File("v12.las")});
        test::RecordingNotifier notifier;
        CPropertiesFileWnd pane(&notifier);
        pane.SetFileSet(set.get());
        Action(pane, "showVrlAction")->trigger();

        QCOMPARE(ShownTopNames(Tree(pane)), QStringList({"Header", "Variable length records",
                                                         "Extended variable length records"}));
        // 375 + 54 + 3 bytes of header and VLR, then 2 records of 30 bytes.
        std::vector<Shown> rows = {
            {{"Header", "Start of Waveform Data Packet Record"}, "123456789012"},
            {{"Header", "Start of first Extended Variable Length Record"}, "492"},
            {{"Header", "Number of Extended Variable Length Records"}, "2"},
            {{"Header", "Number of point records (64-bit)"}, "2"},
            {{"Header", "Number of points by return (64-bit)"},
             "100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 113, "
             "1099511627776"},
            {{"Header", "Number of points by return (64-bit)", "[15]"}, "1099511627776"},
            {{"Variable length records", "VRL 1", "Data"}, "abc"},
            {{"Extended variable length records", "EVLR 1", "Reserved"}, "0"},
            {{"Extended variable length records", "EVLR 1", "User ID"}, "LASF_Spec"},
            {{"Extended variable length records", "EVLR 1", "Record ID"}, "65535"},
            {{"Extended variable length records", "EVLR 1", "Record Length After Header"}, "65546"},
            {{"Extended variable length records", "EVLR 1", "Description"}, "waveform"},
            {{"Extended variable length records", "EVLR 1", "Data"}, "\\x01" + QString(65535, 'w')},
            {{"Extended variable length records", "EVLR 2", "User ID"}, "ABCDEFGHIJKLMNOP"},
            {{"Extended variable length records", "EVLR 2", "Record ID"}, "7"},
            {{"Extended variable length records", "EVLR 2", "Record Length After Header"}, "2"},
            {{"Extended variable length records", "EVLR 2", "Description"}, "short"},
            {{"Extended variable length records", "EVLR 2", "Data"}, "K\\x7f"},
        };
        for (const Shown& row : rows)
        {
            QCOMPARE(Value(pane, row.names) + " at " + row.names.join('/'),
                     row.value + " at " + row.names.join('/'));
            QVERIFY(!ItemAt(Tree(pane), row.names)->isHidden());
        }
        QCOMPARE(ItemAt(Tree(pane), {"Extended variable length records"})->childCount(), 2);
        QCOMPARE(ItemAt(Tree(pane), {"Extended variable length records", "EVLR 1"})->childCount(),
                 6);
        // The 22 rows of LAS 1.0 to 1.2 keep their places; the new ones follow in file order.
        QCOMPARE(ItemAt(Tree(pane), {"Header"})->childCount(), 27);
        QCOMPARE(ItemAt(Tree(pane), {"Header"})->child(21)->text(0), QString("Bounding Box"));
        QCOMPARE(ItemAt(Tree(pane), {"Header"})->child(26)->text(0),
                 QString("Number of points by return (64-bit)"));

        // LAS 1.3 lays out the waveform start alone; 1.2 neither.
        const QStringList v14Only = {"Start of first Extended Variable Length Record",
                                     "Number of Extended Variable Length Records",
                                     "Number of point records (64-bit)",
                                     "Number of points by return (64-bit)"};
        const QString waveform = "Start of Waveform Data Packet Record";
        for (const int file : {1, 2})
        {
            pane.GetFileList()->setCurrentIndex(file);
            Action(pane, "showVrlAction")->trigger();
            QCOMPARE(ShownTopNames(Tree(pane)), QStringList{"Header"});
            QCOMPARE(pane.GetEvlrGroup(), nullptr);
            QCOMPARE(ItemAt(Tree(pane), {"Header", waveform})->isHidden(), file == 2);
            QCOMPARE(Value(pane, {"Header", waveform}), file == 1 ? QString("4242") : "");
            for (const QString& name : v14Only)
            {
                QVERIFY(ItemAt(Tree(pane), {"Header", name})->isHidden());
                QCOMPARE(Value(pane, {"Header", name}), QString());
            }
        }
        QVERIFY(notifier.shown.empty());
    }

    void aRecordBlockThatCannotBeReadIsReported_data()
    {
        QTest::addColumn<bool>("removeFile");
        QTest::addColumn<bool>("extendedOnly");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("the file is gone") << true << false << "ReadError::File could not be open."
                                          << "no such file or folder";
        // The file was cut inside its one VLR (bytes 227 to 281) after it was opened.
        QTest::newRow("the block runs past the end of the file")
            << false << false << "ReadError::LAS VRL"
            << "the file ends at byte 250, inside its variable length records, which run from "
               "byte 227 to byte 281";
        QTest::newRow("the LAS 1.4 file of an extended record alone is gone")
            << true << true << "ReadError::File could not be open."
            << "no such file or folder";
    }
    void aRecordBlockThatCannotBeReadIsReported()
    {
        QFETCH(bool, removeFile);
        QFETCH(bool, extendedOnly);
        QFETCH(QString, text);
        QFETCH(QString, reason);
        test::TempDir dir;
        const std::string path = dir.File("survey.las");
        test::LasImage image = test::LasImage::Make(extendedOnly ? 6 : 0);
        if (extendedOnly)
        {
            image.AddEvlr("user", 1, {});
        }
        else
        {
            image.AddVlr("user", 1, {});
        }
        image.Layout(extendedOnly ? 0 : 1);
        image.Save(path);
        const auto set = test::SetOf({path});
        test::RecordingNotifier notifier;
        CPropertiesFileWnd pane(&notifier);
        pane.SetFileSet(set.get());
        if (removeFile)
        {
            std::filesystem::remove(path);
        }
        else
        {
            std::filesystem::resize_file(path, 250);
        }
        Action(pane, "showVrlAction")->trigger();

        QCOMPARE(notifier.shown.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(notifier.shown[0].text), text);
        QCOMPARE(QString::fromStdString(notifier.shown[0].caption), QString("Telvora"));
        QVERIFY(notifier.shown[0].icon == MessageIcon::Error);
        QCOMPARE(QString::fromStdString(notifier.shown[0].detail),
                 QString::fromStdString(path + ": ") + reason);
        QCOMPARE(ShownTopNames(Tree(pane)), QStringList{"Header"});
        QCOMPARE(pane.GetVlrGroup(), nullptr);
        QCOMPARE(pane.GetEvlrGroup(), nullptr);
    }

    void closingEmptiesThePaneAndForgetsTheSet()
    {
        TELVORA_REQUIRE_REAL_FILES();
        test::RecordingNotifier notifier;
        CPropertiesFileWnd pane(&notifier);
        QCOMPARE(ShownTopNames(Tree(pane)), QStringList{});
        QCOMPARE(pane.GetFileList()->count(), 0);

        auto set = test::SetOf({test::RealFile("autzen.las")});
        pane.SetFileSet(set.get());
        Action(pane, "showVrlAction")->trigger();
        pane.ClearFileSet();
        set.reset();

        QCOMPARE(pane.GetFileList()->count(), 0);
        QCOMPARE(ShownTopNames(Tree(pane)), QStringList{});
        QCOMPARE(Tree(pane)->topLevelItemCount(), 1);
        int rows = 0;
        for (QTreeWidgetItemIterator it(Tree(pane)); *it != nullptr; ++it, ++rows)
        {
            QCOMPARE((*it)->text(1), QString());
        }
        // 53 rows of the LAS 1.0 to 1.2 fields, 20 hidden ones of the fields LAS 1.3 and 1.4 add.
        QCOMPARE(rows, 73);
        // Nothing the user can still press reaches the released set.
        Action(pane, "showVrlAction")->trigger();
        Action(pane, "expandAllAction")->trigger();
        Action(pane, "sortAlphabeticallyAction")->trigger();
        QCOMPARE(ShownTopNames(Tree(pane)), QStringList{});
        QCOMPARE(pane.GetVlrGroup(), nullptr);
        QVERIFY(notifier.shown.empty());
    }
};

} // namespace telvora

QTEST_MAIN(telvora::FilePropertiesPaneTest)

#include "FilePropertiesPaneTest.moc"

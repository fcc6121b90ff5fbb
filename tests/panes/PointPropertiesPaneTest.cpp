// The point properties pane on records written here byte by byte and on a real file: every
// field's text, GPS Time and Color by format, clearing, and picks that cannot be read.

#include "panes/PointPropertiesPane.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <filesystem>
#include <string>

#include "LasImage.h"
#include "PaneTestFiles.h"
#include "Recorders.h"
#include "TestFiles.h"
#include "las/ByteOrder.h"
#include "panes/PropertyGrid.h"

namespace telvora
{

using test::Fixed6;
using test::ItemAt;
using test::ShownTopNames;

namespace
{

struct Record
{
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t z = 0;
    std::uint16_t intensity = 0;
    std::uint8_t returnByte = 0;
    std::uint8_t classification = 0;
    std::int8_t scanAngle = 0;
    std::uint8_t userData = 0;
    std::uint16_t source = 0;
    double gpsTime = 0.0;
    std::uint16_t rgb[3] = {};
};

// A UTM zone's false easting and a northing in the mid-latitudes: a float keeps whole metres
// there at best.
constexpr double kScale[] = {0.01, 0.01, 0.001};
constexpr double kOffset[] = {500000.0, 5400000.0, -100.0};

// A LAS 1.2 file of the format holding the records, with the scales and offsets above.
std::string WriteSurvey(const test::TempDir& dir, const std::string& name, int format,
                        const std::vector<Record>& records)
{
    test::LasImage image = test::LasImage::Make(static_cast<std::uint8_t>(format));
    LasHeader& h = image.header;
    h.xScaleFactor = kScale[0];
    h.yScaleFactor = kScale[1];
    h.zScaleFactor = kScale[2];
    h.xOffset = kOffset[0];
    h.yOffset = kOffset[1];
    h.zOffset = kOffset[2];
    for (const Record& r : records)
    {
        std::vector<unsigned char> bytes =
            test::MakeRecord(h.pointDataRecordLength, r.x, r.y, r.z, r.intensity);
        bytes[14] = r.returnByte;
        bytes[15] = r.classification;
        bytes[16] = static_cast<unsigned char>(r.scanAngle);
        bytes[17] = r.userData;
        StoreLE<std::uint16_t>(bytes.data() + 18, r.source);
        if (format == 1 || format == 3)
        {
            StoreLE<double>(bytes.data() + 20, r.gpsTime);
        }
        for (std::size_t c = 0; format >= 2 && c < 3; ++c)
        {
            StoreLE<std::uint16_t>(bytes.data() + (format == 2 ? 20 : 28) + 2 * c, r.rgb[c]);
        }
        image.records.push_back(std::move(bytes));
    }
    image.Layout(0);
    std::string path = dir.File(name);
    image.Save(path);
    return path;
}

// Return 3 of 5, scan direction 1, edge of flight line 1; class 2 withheld.
const Record kBusy = {12345, 30286, -2500,      65535,           235, 0x82, -12,
                      200,   65000, 123456.789, {65535, 0, 4660}};

QString Coordinate(std::int32_t raw, int axis)
{
    return Fixed6(static_cast<double>(raw) * kScale[axis] + kOffset[axis]) + " (" +
           QString::number(raw) + ")";
}

QTreeWidget* Tree(const CPropertiesPointWnd& pane)
{
    return pane.GetGrid()->GetTree();
}

QString Value(const CPropertiesPointWnd& pane, const QStringList& names)
{
    const QTreeWidgetItem* item = ItemAt(Tree(pane), QStringList{"Point"} + names);
    return item != nullptr ? item->text(1) : QString("<no row>");
}

bool Hidden(const CPropertiesPointWnd& pane, const QStringList& names)
{
    return ItemAt(Tree(pane), QStringList{"Point"} + names)->isHidden();
}

// The rows a user sees, counted as a property grid counts them: every row but the plain Point
// group, value lists included, unless it or a group around it is hidden.
int ShownRows(const CPropertiesPointWnd& pane)
{
    int count = 0;
    for (QTreeWidgetItemIterator it(Tree(pane)); *it != nullptr; ++it)
    {
        bool shown = !CPropertyGrid::RowOf(*it)->IsPlainGroup();
        for (const QTreeWidgetItem* up = *it; up != nullptr; up = up->parent())
        {
            shown = shown && !up->isHidden();
        }
        count += shown ? 1 : 0;
    }
    return count;
}

void ExpectEmpty(const CPropertiesPointWnd& pane)
{
    QVERIFY(!pane.HasPoint());
    QCOMPARE(ShownTopNames(Tree(pane)), QStringList{});
    for (QTreeWidgetItemIterator it(Tree(pane)); *it != nullptr; ++it)
    {
        QCOMPARE((*it)->text(0) + "=" + (*it)->text(1), (*it)->text(0) + "=");
    }
}

} // namespace

class PointPropertiesPaneTest : public QObject
{
    Q_OBJECT

private slots:
    void showsEveryFieldOfTheRecord_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("shownRows");
        QTest::newRow("format 0") << 0 << 13;
        QTest::newRow("format 1") << 1 << 14;
        QTest::newRow("format 2") << 2 << 17;
        QTest::newRow("format 3") << 3 << 18;
    }
    void showsEveryFieldOfTheRecord()
    {
        QFETCH(int, format);
        QFETCH(int, shownRows);
        test::TempDir dir;
        const auto set = test::SetOf({WriteSurvey(dir, "f3.las", 3, {kBusy}),
                                      WriteSurvey(dir, "survey.las", format, {Record{}, kBusy})});
        test::RecordingNotifier notifier;
        CPropertiesPointWnd pane(&notifier);
        QSignalSpy shown(&pane, &CPropertiesPointWnd::pointShown);
        QCOMPARE(ShownTopNames(Tree(pane)), QStringList{});

        // A format-3 pick first, so that the pick under test must hide what its format lacks.
        pane.ShowPoint(set->files[0], 0);
        Tree(pane)->setCurrentItem(ItemAt(Tree(pane), {"Point", "Color"}));
        QCOMPARE(pane.findChild<QLabel*>("propertyDescriptionText")->text(),
                 QString::fromUtf8("These fields are used when \xe2\x80\x9c"
                                   "colorizing\xe2\x80\x9d a LIDAR point using ancillary data, "
                                   "typically from a camera."));
        pane.ShowPoint(set->files[1], 1);
        QCOMPARE(shown.count(), 2);
        QCOMPARE(ShownTopNames(Tree(pane)), QStringList{"Point"});
        QCOMPARE(ShownRows(pane), shownRows);
        QCOMPARE(Coordinate(kBusy.y, 1), QString("5400302.860000 (30286)"));
        const std::pair<QStringList, QString> rows[] = {
            {{"File Coordinates", "X"}, Coordinate(kBusy.x, 0)},
            {{"File Coordinates", "Y"}, "5400302.860000 (30286)"},
            {{"File Coordinates", "Z"}, "-102.500000 (-2500)"},
            {{"File Coordinates"},
             Coordinate(kBusy.x, 0) + ", 5400302.860000 (30286), " + "-102.500000 (-2500)"},
            {{"Intensity"}, "65535"},
            {{"Return Number"}, "3"},
            {{"Number of Returns"}, "5"},
            {{"Scan Direction Flag"}, "1"},
            {{"Edge of Flight Line"}, "1"},
            {{"Classification"}, "130"},
            {{"Scan Angle Rank"}, "-12"},
            {{"User Data"}, "200"},
            {{"Point Source ID"}, "65000"},
        };
        for (const auto& [names, text] : rows)
        {
            QCOMPARE(Value(pane, names), text);
        }
        const bool hasTime = format == 1 || format == 3;
        const bool hasColor = format >= 2;
        QCOMPARE(Hidden(pane, {"GPS Time"}), !hasTime);
        QCOMPARE(Hidden(pane, {"Color"}), !hasColor);
        QCOMPARE(Value(pane, {"GPS Time"}), hasTime ? QString("123456.789000") : "0.000000");
        QCOMPARE(Value(pane, {"Color"}), hasColor ? QString("65535, 0, 4660") : "0, 0, 0");
        QVERIFY(notifier.shown.empty());
    }

    void showsTheFieldsOfFormatsFourToTen_data()
    {
        QTest::addColumn<int>("format");
        // Formats 6 to 10: byte 15 (flags in bits 0 to 3, channel in 4 and 5) and the 16-bit scan
        // angle in bytes 18 and 19.
        QTest::addColumn<int>("flagByte");
        QTest::addColumn<int>("angleLow");
        QTest::addColumn<int>("angleHigh");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QString>("channel");
        QTest::addColumn<QString>("angle");
        QTest::addColumn<int>("shownRows");
        const QString none = "hidden";
        QTest::newRow("format 4") << 4 << 0 << 0 << 0 << none << none << none << 14;
        QTest::newRow("format 5") << 5 << 0 << 0 << 0 << none << none << none << 18;
        // 0xF82F = -2001 steps of 0.006 degrees.
        QTest::newRow("format 6") << 6 << 0xEB << 0x2F << 0xF8
                                  << "11 (Synthetic, Key-point, Overlap)"
                                  << "2"
                                  << "-12.006 (-2001)" << 16;
        QTest::newRow("format 7") << 7 << 0x00 << 0xFF << 0xFF << "0"
                                  << "0"
                                  << "-0.006 (-1)" << 20;
        QTest::newRow("format 8") << 8 << 0x3F << 0x30 << 0x75
                                  << "15 (Synthetic, Key-point, Withheld, Overlap)"
                                  << "3"
                                  << "180.000 (30000)" << 21;
        QTest::newRow("format 9") << 9 << 0x14 << 0x00 << 0x80 << "4 (Withheld)"
                                  << "1"
                                  << "-196.608 (-32768)" << 16;
        QTest::newRow("format 10")
            << 10 << 0x2B << 0x05 << 0x00 << "11 (Synthetic, Key-point, Overlap)"
            << "2"
            << "0.030 (5)" << 21;
    }
    void showsTheFieldsOfFormatsFourToTen()
    {
        QFETCH(int, format);
        QFETCH(int, flagByte);
        QFETCH(int, angleLow);
        QFETCH(int, angleHigh);
        QFETCH(QString, flags);
        QFETCH(QString, channel);
        QFETCH(QString, angle);
        QFETCH(int, shownRows);
        test::TempDir dir;
        std::vector<std::string> paths;
        for (const int f : {10, format})
        {
            test::LasImage image = test::LasImage::Make(static_cast<std::uint8_t>(f));
            std::vector<unsigned char> r =
                test::MakeRecord(image.header.pointDataRecordLength, 1, 2, 3, 4);
            const bool extended = f >= 6;
            // Return 3 of 5; formats 4 and 5: scan direction and edge 1, class 2 withheld,
            // rank -12.
            r[14] = extended ? 0x53 : 0xEB;
            r[15] = static_cast<unsigned char>(extended ? flagByte : 0x82);
            r[16] = extended ? 0x06 : 0xF4;
            if (extended)
            {
                r[18] = static_cast<unsigned char>(angleLow);
                r[19] = static_cast<unsigned char>(angleHigh);
            }
            StoreLE<double>(r.data() + (extended ? 22 : 20), 123456.789);
            if (f == 5 || f == 7 || f == 8 || f == 10)
            {
                const unsigned char rgb[] = {0xFF, 0xFF, 0x00, 0x00, 0x34, 0x12};
                std::copy(std::begin(rgb), std::end(rgb), r.begin() + (f == 5 ? 28 : 30));
            }
            if (f == 8 || f == 10)
            {
                r[36] = 0xEF;
                r[37] = 0xBE;
            }
            image.records.push_back(r);
            image.Layout(0);
            paths.push_back(dir.File(std::to_string(f).append(".las")));
            image.Save(paths.back());
        }
        const auto set = test::SetOf(paths);
        test::RecordingNotifier notifier;
        CPropertiesPointWnd pane(&notifier);
        pane.ShowPoint(set->files[0], 0);
        pane.ShowPoint(set->files[1], 0);

        const bool extended = format >= 6;
        const bool color = format == 5 || format == 7 || format == 8 || format == 10;
        const bool nir = format == 8 || format == 10;
        const std::pair<QString, QString> rows[] = {
            {"Return Number", "3"},
            {"Number of Returns", "5"},
            {"Classification", extended ? "6" : "130"},
            {"Classification Flags", flags},
            {"Scanner Channel", channel},
            {"Scan Angle Rank", extended ? "hidden" : "-12"},
            {"Scan Angle", angle},
            {"GPS Time", "123456.789000"},
            {"Color", color ? "65535, 0, 4660" : "hidden"},
            {"NIR", nir ? "48879" : "hidden"},
        };
        for (const auto& [name, text] : rows)
        {
            QCOMPARE(name + (Hidden(pane, {name}) ? "=hidden" : "=" + Value(pane, {name})),
                     name + "=" + text);
        }
        QCOMPARE(ShownRows(pane), shownRows);
        QVERIFY(notifier.shown.empty());
    }

    void clearPointEmptiesEveryValueAndHidesThePoint()
    {
        test::TempDir dir;
        const auto set = test::SetOf({WriteSurvey(dir, "survey.las", 3, {kBusy})});
        test::RecordingNotifier notifier;
        CPropertiesPointWnd pane(&notifier);
        pane.ShowPoint(set->files[0], 0);
        QVERIFY(pane.HasPoint());
        pane.ClearPoint();
        ExpectEmpty(pane);
    }

    void aPickThatCannotBeReadLeavesThePaneEmpty_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("detail");
        QTest::newRow("index past the end") << "index"
                                            << ""
                                            << "";
        QTest::newRow("the file is gone") << "removed"
                                          << "ReadError::File could not be open."
                                          << ": no such file or folder";
        // Record 1 starts at byte 227 + 28; the file is cut 10 bytes into it.
        QTest::newRow("the record is cut short") << "cut"
                                                 << "ReadError::LAS Point"
                                                 << ": the file ends inside the record at byte 255";
    }
    void aPickThatCannotBeReadLeavesThePaneEmpty()
    {
        QFETCH(QString, failure);
        QFETCH(QString, text);
        QFETCH(QString, detail);
        test::TempDir dir;
        const std::string path = WriteSurvey(dir, "survey.las", 1, {kBusy, kBusy});
        const auto set = test::SetOf({path});
        test::RecordingNotifier notifier;
        CPropertiesPointWnd pane(&notifier);
        QSignalSpy shown(&pane, &CPropertiesPointWnd::pointShown);
        pane.ShowPoint(set->files[0], 0);
        QCOMPARE(shown.count(), 1);

        std::uint32_t index = 1;
        if (failure == "index")
        {
            index = 2;
        }
        else if (failure == "removed")
        {
            std::filesystem::remove(path);
        }
        else
        {
            std::filesystem::resize_file(path, 227 + 28 + 10);
        }
        pane.ShowPoint(set->files[0], index);

        ExpectEmpty(pane);
        QCOMPARE(shown.count(), 1);
        if (text.isEmpty())
        {
            QVERIFY(notifier.shown.empty());
            return;
        }
        QCOMPARE(notifier.shown.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(notifier.shown[0].text), text);
        QCOMPARE(QString::fromStdString(notifier.shown[0].caption), QString("Telvora"));
        QVERIFY(notifier.shown[0].icon == MessageIcon::Error);
        QCOMPARE(QString::fromStdString(notifier.shown[0].detail),
                 detail.isEmpty() ? detail : QString::fromStdString(path) + detail);
    }
};

} // namespace telvora

QTEST_MAIN(telvora::PointPropertiesPaneTest)

#include "PointPropertiesPaneTest.moc"

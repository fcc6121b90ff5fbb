#include "panes/HeaderRows.h"

#include <QString>
#include <QStringList>

#include "las/LasHeader.h"
#include "panes/PaneText.h"
#include "panes/PropertyGrid.h"

namespace telvora
{

namespace
{

const QString kGuidDescription = QStringLiteral(
    "Globally Unique Identifier (GUID) are reserved for use as a Project Identifier (Project ID).");

} // namespace

CHeaderRows::CHeaderRows(CPropertyGrid& targetGrid)
    : grid(targetGrid)
{
    auto header = CPropertyRow::MakeGroup(QStringLiteral("Header"),
                                          QStringLiteral("Header block contains generic data."));
    CPropertyRow* top = header.get();
    const auto text =
        [this](CPropertyRow* parent, const QString& name, const QString& description = QString())
    { rows.push_back(parent->AddChild(CPropertyRow::MakeText(name, description))); };
    const auto list =
        [](CPropertyRow* parent, const QString& name, const QString& description = QString())
    { return parent->AddChild(CPropertyRow::MakeGroup(name, description, true)); };

    text(top, QStringLiteral("File Signature"),
         QStringLiteral("The file signature must contain the four Characters LASF, and is "
                        "required by the LAS specification."));
    text(top, QStringLiteral("File Source ID"),
         QStringLiteral("Flight Line Number if this file was derived from an original flight "
                        "line."));
    text(top, QStringLiteral("Global Encoding"),
         QStringLiteral("This is a bit field used to indicate certain global properties about "
                        "the file."));
    text(top, QStringLiteral("Project ID - GUID data 1"), kGuidDescription);
    text(top, QStringLiteral("Project ID - GUID data 2"), kGuidDescription);
    text(top, QStringLiteral("Project ID - GUID data 3"), kGuidDescription);
    CPropertyRow* guid4 = list(top, QStringLiteral("Project ID - GUID data 4"), kGuidDescription);
    for (int i = 1; i <= 8; ++i)
    {
        text(guid4, QStringLiteral("[%1]").arg(i));
    }
    CPropertyRow* version =
        list(top, QStringLiteral("Version Number"),
             QStringLiteral("The version number consists of a major and minor field. The major and "
                            "minor fields combine to form the number that indicates the format "
                            "number of the current specification itself."));
    text(version, QStringLiteral("Version Major"));
    text(version, QStringLiteral("Version Minor"));
    text(top, QStringLiteral("System Identifier"),
         QStringLiteral("This specification assumes how was that LAS files generated."));
    text(top, QStringLiteral("Generating Software"),
         QStringLiteral("This information is ASCII data describing the generating software "
                        "itself."));
    text(top, QStringLiteral("File Creation Day of Year"),
         QStringLiteral("Day, expressed as an unsigned short, on which this file was created."));
    text(top, QStringLiteral("File Creation Year"),
         QStringLiteral("The year, expressed as a four digit number, in which the file was "
                        "created."));
    text(top, QStringLiteral("Header Size"),
         QStringLiteral("The size, in bytes, of the Public Header Block itself."));
    text(top, QStringLiteral("Offset to point data"),
         QStringLiteral("The actual number of bytes from the beginning of the file to the first "
                        "field of the first point record data field."));
    text(top, QStringLiteral("Number of Variable Length Records"),
         QStringLiteral("This field contains the current number of Variable Length Records."));
    text(top, QStringLiteral("Point Data Format ID"),
         QStringLiteral("The point data format ID corresponds to the point data record format "
                        "type."));
    text(top, QStringLiteral("Point Data Record Length"),
         QStringLiteral("The size, in bytes, of the Point Data Record."));
    text(top, QStringLiteral("Number of point records"),
         QStringLiteral("This field contains the total number of point records within the "
                        "file."));
    CPropertyRow* byReturn = list(top, QStringLiteral("Number of points by return"));
    const QStringList ordinals = {QStringLiteral("first"), QStringLiteral("second"),
                                  QStringLiteral("thirth"), QStringLiteral("fourth"),
                                  QStringLiteral("fifth")};
    for (int i = 0; i < 5; ++i)
    {
        text(byReturn, QStringLiteral("[%1]").arg(i + 1),
             QStringLiteral("Total number of records from the %1 return.").arg(ordinals[i]));
    }
    const QStringList axes = {QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z")};
    CPropertyRow* scales = list(top, QStringLiteral("Scale factors"));
    for (const QString& axis : axes)
    {
        text(scales, axis, axis + QStringLiteral(" scale factor"));
    }
    CPropertyRow* offsets = list(top, QStringLiteral("Offset"));
    for (const QString& axis : axes)
    {
        text(offsets, axis, axis + QStringLiteral(" offset value"));
    }
    CPropertyRow* box = list(top, QStringLiteral("Bounding Box"));
    for (const QString& axis : axes)
    {
        CPropertyRow* side = list(box, axis);
        text(side, QStringLiteral("Max"),
             QStringLiteral("Max ") + axis + QStringLiteral(" coordinate"));
        text(side, QStringLiteral("Min"),
             QStringLiteral("Min ") + axis + QStringLiteral(" coordinate"));
    }

    waveformStart = top->AddChild(CPropertyRow::MakeText(
        QStringLiteral("Start of Waveform Data Packet Record"),
        QStringLiteral("This value provides the offset, in bytes, from the beginning of the file "
                       "to the first byte of the Waveform Data Packet Record.")));
    const auto extended =
        [this](CPropertyRow* parent, const QString& name, const QString& description = QString())
    {
        CPropertyRow* row = parent->AddChild(CPropertyRow::MakeText(name, description));
        version14Values.push_back(row);
        return row;
    };
    version14Rows.push_back(
        extended(top, QStringLiteral("Start of first Extended Variable Length Record"),
                 QStringLiteral("This value provides the offset, in bytes, from the beginning of "
                                "the file to the first byte of the first Extended Variable "
                                "Length Record.")));
    version14Rows.push_back(extended(
        top, QStringLiteral("Number of Extended Variable Length Records"),
        QStringLiteral("This field contains the current number of Extended Variable Length "
                       "Records.")));
    version14Rows.push_back(
        extended(top, QStringLiteral("Number of point records (64-bit)"),
                 QStringLiteral("This field contains the total number of point records within "
                                "the file as a 64-bit number.")));
    CPropertyRow* byReturn64 =
        list(top, QStringLiteral("Number of points by return (64-bit)"),
             QStringLiteral("These fields contain the number of point records of each of the "
                            "15 returns as 64-bit numbers."));
    version14Rows.push_back(byReturn64);
    const QStringList ordinals15 = {
        QStringLiteral("first"),      QStringLiteral("second"),     QStringLiteral("third"),
        QStringLiteral("fourth"),     QStringLiteral("fifth"),      QStringLiteral("sixth"),
        QStringLiteral("seventh"),    QStringLiteral("eighth"),     QStringLiteral("ninth"),
        QStringLiteral("tenth"),      QStringLiteral("eleventh"),   QStringLiteral("twelfth"),
        QStringLiteral("thirteenth"), QStringLiteral("fourteenth"), QStringLiteral("fifteenth")};
    for (int i = 0; i < 15; ++i)
    {
        extended(byReturn64, QStringLiteral("[%1]").arg(i + 1),
                 QStringLiteral("Total number of records from the %1 return.").arg(ordinals15[i]));
    }

    group = grid.AddRow(std::move(header));
    grid.SetHidden(group, true);
    ShowLaterFields(nullptr);
}

void CHeaderRows::Show(const LasHeader* header)
{
    ShowLaterFields(header);
    if (header == nullptr)
    {
        for (CPropertyRow* row : rows)
        {
            grid.SetValue(row, QString());
        }
        return;
    }
    const LasHeader& h = *header;
    QStringList texts = {
        FieldText(h.fileSignature, sizeof h.fileSignature),
        QString::number(h.fileSourceId),
        QString::number(h.globalEncoding),
        QString::number(h.guidData1),
        QString::number(h.guidData2),
        QString::number(h.guidData3),
    };
    for (const std::uint8_t byte : h.guidData4)
    {
        texts.push_back(QString::number(byte));
    }
    texts << QString::number(h.versionMajor) << QString::number(h.versionMinor)
          << FieldText(h.systemIdentifier, sizeof h.systemIdentifier)
          << FieldText(h.generatingSoftware, sizeof h.generatingSoftware)
          << QString::number(h.fileCreationDayOfYear) << QString::number(h.fileCreationYear)
          << QString::number(h.headerSize) << QString::number(h.offsetToPointData)
          << QString::number(h.numberOfVariableLengthRecords)
          << QString::number(h.pointDataFormatId) << QString::number(h.pointDataRecordLength)
          << QString::number(h.numberOfPointRecords);
    for (const std::uint32_t count : h.numberOfPointsByReturn)
    {
        texts.push_back(QString::number(count));
    }
    for (const double value : {h.xScaleFactor, h.yScaleFactor, h.zScaleFactor, h.xOffset, h.yOffset,
                               h.zOffset, h.maxX, h.minX, h.maxY, h.minY, h.maxZ, h.minZ})
    {
        texts.push_back(FixedText(value));
    }
    for (std::size_t i = 0; i < rows.size() && i < static_cast<std::size_t>(texts.size()); ++i)
    {
        grid.SetValue(rows[i], texts[static_cast<qsizetype>(i)]);
    }
}

void CHeaderRows::ShowLaterFields(const LasHeader* header)
{
    const std::size_t laidOut = header != nullptr ? LasHeaderImageSize(*header) : 0;
    const bool has13 = laidOut >= LasHeader::kImageSize13;
    const bool has14 = laidOut >= LasHeader::kImageSize14;
    grid.SetValue(waveformStart,
                  has13 ? QString::number(header->startOfWaveformDataPacketRecord) : QString());
    grid.SetHidden(waveformStart, !has13);
    QStringList texts;
    if (has14)
    {
        texts << QString::number(header->startOfFirstExtendedVlr)
              << QString::number(header->numberOfExtendedVlrs)
              << QString::number(header->extendedNumberOfPointRecords);
        for (const std::uint64_t count : header->extendedNumberOfPointsByReturn)
        {
            texts.push_back(QString::number(count));
        }
    }
    for (std::size_t i = 0; i < version14Values.size(); ++i)
    {
        const auto k = static_cast<qsizetype>(i);
        grid.SetValue(version14Values[i], k < texts.size() ? texts[k] : QString());
    }
    for (CPropertyRow* row : version14Rows)
    {
        grid.SetHidden(row, !has14);
    }
}

} // namespace telvora

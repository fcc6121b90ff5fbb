#include "panes/VlrRows.h"

#include <QString>
#include <cstdint>
#include <vector>

#include "las/LasExtendedVlrs.h"
#include "las/LasFile.h"
#include "las/LasHeader.h"
#include "panes/PaneText.h"
#include "panes/PropertyRow.h"

namespace telvora
{

namespace
{

struct VlrTableRelease
{
    void operator()(unsigned char** table) const { ReleaseVlrTable(table); }
};

// The fields of one record's header, as a VLR and an extended VLR share them.
struct RecordFields
{
    QString reserved;
    QString userId;
    QString recordId;
    QString length;
    QString description;
    QString data;
};

// The record's values are what it was made with, so they are drawn plain, not as changes.
std::unique_ptr<CPropertyRow> MakeRecordGroup(const QString& name, const RecordFields& fields,
                                              const QString& dataDescription)
{
    auto group = CPropertyRow::MakeGroup(name);
    // A file may hold hundreds of records: each opens on request.
    group->SetInitiallyExpanded(false);
    group->AddChild(CPropertyRow::MakeText(QStringLiteral("Reserved"), QStringLiteral("Reserved."),
                                           fields.reserved));
    group->AddChild(CPropertyRow::MakeText(
        QStringLiteral("User ID"),
        QStringLiteral("The User ID that identifies the user which created the variable length "
                       "record."),
        fields.userId));
    group->AddChild(CPropertyRow::MakeText(
        QStringLiteral("Record ID"), QStringLiteral("The Record ID is dependent upon the User ID."),
        fields.recordId));
    group->AddChild(CPropertyRow::MakeText(
        QStringLiteral("Record Length After Header"),
        QStringLiteral("The record length is the number of bytes for the record after the end of "
                       "the standard part of the header (Data)."),
        fields.length));
    group->AddChild(CPropertyRow::MakeText(
        QStringLiteral("Description"),
        QStringLiteral("Optional, null terminated text description of the data."),
        fields.description));
    group->AddChild(CPropertyRow::MakeText(QStringLiteral("Data"), dataDescription, fields.data));
    return group;
}

std::unique_ptr<CPropertyRow> MakeVlrRecordGroup(std::uint32_t number, const unsigned char* record)
{
    const LasVlrHeader vlr = ParseLasVlrHeader(record);
    return MakeRecordGroup(
        QStringLiteral("VRL %1").arg(number),
        {QString::number(vlr.reserved), FieldText(vlr.userId, sizeof vlr.userId),
         QString::number(vlr.recordId), QString::number(vlr.recordLengthAfterHeader),
         FieldText(vlr.description, sizeof vlr.description),
         FieldText(record + LasVlrHeader::kImageSize, vlr.recordLengthAfterHeader)},
        QStringLiteral("Data."));
}

// A first row that says how many of the declared records the file was found to hold.
std::unique_ptr<CPropertyRow> MakeFoundRow(std::uint64_t found, std::uint64_t declared,
                                           const QString& description)
{
    return CPropertyRow::MakeText(QStringLiteral("Records found"), description,
                                  QString::number(found) + QStringLiteral(" of ") +
                                      QString::number(declared) + QStringLiteral(" declared"));
}

} // namespace

std::unique_ptr<CPropertyRow> MakeVlrGroup(CLasFile& file)
{
    if (file.header == nullptr || file.header->numberOfVariableLengthRecords == 0)
    {
        return nullptr;
    }
    const std::uint32_t declared = file.header->numberOfVariableLengthRecords;
    std::uint32_t found = 0;
    const std::unique_ptr<unsigned char*, VlrTableRelease> table(
        file.ReadVariableLengthRecords(&found));

    auto group = CPropertyRow::MakeGroup(QStringLiteral("Variable length records"));
    group->SetInitiallyExpanded(false);
    if (found < declared)
    {
        group->AddChild(MakeFoundRow(
            found, declared,
            QStringLiteral("The header declares more variable length records than lie wholly "
                           "between the header and the point data; only those that do are "
                           "shown.")));
    }
    for (std::uint32_t i = 0; i < found; ++i)
    {
        group->AddChild(MakeVlrRecordGroup(i + 1, table.get()[i]));
    }
    return group;
}

std::unique_ptr<CPropertyRow> MakeEvlrGroup(const CLasFile& file)
{
    if (file.header == nullptr || file.path == nullptr ||
        LasHeaderImageSize(*file.header) < LasHeader::kImageSize14 ||
        file.header->numberOfExtendedVlrs == 0)
    {
        return nullptr;
    }
    const std::uint32_t declared = file.header->numberOfExtendedVlrs;
    const std::vector<LasExtendedVlr> records =
        ReadExtendedVlrs(file.path, *file.header, kEvlrDataShown);

    auto group = CPropertyRow::MakeGroup(QStringLiteral("Extended variable length records"));
    group->SetInitiallyExpanded(false);
    if (records.size() < declared)
    {
        group->AddChild(MakeFoundRow(
            records.size(), declared,
            QStringLiteral("The header declares more extended variable length records than lie "
                           "wholly in the file from the first one on; only those that do are "
                           "shown.")));
    }
    for (std::size_t i = 0; i < records.size(); ++i)
    {
        const LasExtendedVlr& record = records[i];
        const LasEvlrHeader& evlr = record.header;
        group->AddChild(MakeRecordGroup(
            QStringLiteral("EVLR %1").arg(i + 1),
            {QString::number(evlr.reserved), FieldText(evlr.userId, sizeof evlr.userId),
             QString::number(evlr.recordId), QString::number(evlr.recordLengthAfterHeader),
             FieldText(evlr.description, sizeof evlr.description),
             FieldText(record.data.data(), record.data.size())},
            QStringLiteral("Data. Of a record longer than 64 KiB, the first 64 KiB.")));
    }
    return group;
}

} // namespace telvora

#include "panes/VlrRows.h"

#include <QString>
#include <cstdint>

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

// The record's values are what it was made with, so they are drawn plain, not as changes.
std::unique_ptr<CPropertyRow> MakeRecordGroup(std::uint32_t number, const unsigned char* record)
{
    const LasVlrHeader vlr = ParseLasVlrHeader(record);
    auto group = CPropertyRow::MakeGroup(QStringLiteral("VRL %1").arg(number));
    // A file may hold hundreds of records: each opens on request.
    group->SetInitiallyExpanded(false);
    group->AddChild(CPropertyRow::MakeText(QStringLiteral("Reserved"), QStringLiteral("Reserved."),
                                           QString::number(vlr.reserved)));
    group->AddChild(CPropertyRow::MakeText(
        QStringLiteral("User ID"),
        QStringLiteral("The User ID that identifies the user which created the variable length "
                       "record."),
        FieldText(vlr.userId, sizeof vlr.userId)));
    group->AddChild(CPropertyRow::MakeText(
        QStringLiteral("Record ID"), QStringLiteral("The Record ID is dependent upon the User ID."),
        QString::number(vlr.recordId)));
    group->AddChild(CPropertyRow::MakeText(
        QStringLiteral("Record Length After Header"),
        QStringLiteral("The record length is the number of bytes for the record after the end of "
                       "the standard part of the header (Data)."),
        QString::number(vlr.recordLengthAfterHeader)));
    group->AddChild(CPropertyRow::MakeText(
        QStringLiteral("Description"),
        QStringLiteral("Optional, null terminated text description of the data."),
        FieldText(vlr.description, sizeof vlr.description)));
    group->AddChild(CPropertyRow::MakeText(
        QStringLiteral("Data"), QStringLiteral("Data."),
        FieldText(record + LasVlrHeader::kImageSize, vlr.recordLengthAfterHeader)));
    return group;
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
        group->AddChild(CPropertyRow::MakeText(
            QStringLiteral("Records found"),
            QStringLiteral("The header declares more variable length records than lie wholly "
                           "between the header and the point data; only those that do are "
                           "shown."),
            QString::number(found) + QStringLiteral(" of ") + QString::number(declared) +
                QStringLiteral(" declared")));
    }
    for (std::uint32_t i = 0; i < found; ++i)
    {
        group->AddChild(MakeRecordGroup(i + 1, table.get()[i]));
    }
    return group;
}

} // namespace telvora

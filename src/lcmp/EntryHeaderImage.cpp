#include "lcmp/EntryHeaderImage.h"

#include <cstring>
#include <initializer_list>
#include <type_traits>

#include "las/ByteOrder.h"

namespace telvora::EntryHeaderImage
{

namespace
{

// Offsets of the fields whose place differs from the packed LAS image.
constexpr std::size_t kPointDataFormatId = 104;
constexpr std::size_t kPointDataRecordLength = 106;
constexpr std::size_t kFirstDouble = 136;

template <typename Header, typename Visit>
void VisitFields(Header& h, Visit&& visit)
{
    visit(0, h.fileSignature);
    visit(4, h.fileSourceId);
    visit(6, h.globalEncoding);
    visit(8, h.guidData1);
    visit(12, h.guidData2);
    visit(14, h.guidData3);
    visit(16, h.guidData4);
    visit(24, h.versionMajor);
    visit(25, h.versionMinor);
    visit(26, h.systemIdentifier);
    visit(58, h.generatingSoftware);
    visit(90, h.fileCreationDayOfYear);
    visit(92, h.fileCreationYear);
    visit(94, h.headerSize);
    visit(96, h.offsetToPointData);
    visit(100, h.numberOfVariableLengthRecords);
    visit(kPointDataFormatId, h.pointDataFormatId);
    visit(kPointDataRecordLength, h.pointDataRecordLength);
    visit(108, h.numberOfPointRecords);
    visit(112, h.numberOfPointsByReturn);
    std::size_t at = kFirstDouble;
    for (auto* value : {&h.xScaleFactor, &h.yScaleFactor, &h.zScaleFactor, &h.xOffset, &h.yOffset,
                        &h.zOffset, &h.maxX, &h.minX, &h.maxY, &h.minY, &h.maxZ, &h.minZ})
    {
        visit(at, *value);
        at += sizeof(double);
    }
}

} // namespace

LasHeader Parse(const unsigned char (&image)[kSize]) noexcept
{
    LasHeader header;
    VisitFields(header,
                [&image](std::size_t at, auto& field)
                {
                    using Field = std::remove_reference_t<decltype(field)>;
                    if constexpr (std::is_array_v<Field>)
                    {
                        std::memcpy(field, image + at, sizeof field);
                    }
                    else
                    {
                        field = LoadLE<Field>(image + at);
                    }
                });
    // Arrays of multi-byte values are copied above; they are little-endian element by element.
    for (std::size_t k = 0; k < 5; ++k)
    {
        header.numberOfPointsByReturn[k] = LoadLE<std::uint32_t>(image + 112 + 4 * k);
    }
    return header;
}

void Serialize(const LasHeader& header, unsigned char (&image)[kSize]) noexcept
{
    std::memset(image, 0, kSize);
    VisitFields(header,
                [&image](std::size_t at, const auto& field)
                {
                    using Field = std::remove_cv_t<std::remove_reference_t<decltype(field)>>;
                    if constexpr (std::is_array_v<Field>)
                    {
                        std::memcpy(image + at, field, sizeof field);
                    }
                    else
                    {
                        StoreLE<Field>(image + at, field);
                    }
                });
    for (std::size_t k = 0; k < 5; ++k)
    {
        StoreLE<std::uint32_t>(image + 112 + 4 * k, header.numberOfPointsByReturn[k]);
    }
}

} // namespace telvora::EntryHeaderImage

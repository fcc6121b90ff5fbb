#include "las/LasHeader.h"

#include <algorithm>
#include <cstring>

#include "las/ByteOrder.h"

namespace telvora
{

namespace
{

// Walks a byte image in file order, so that the offsets of the layout appear only once: as the
// order of the calls below.
template <typename Byte>
class Cursor
{
public:
    explicit Cursor(Byte* bytes)
        : at(bytes)
    {
    }

    template <typename T>
    void Get(T& value)
    {
        value = LoadLE<T>(at);
        at += sizeof(T);
    }
    template <typename T, std::size_t N>
    void Get(T (&values)[N])
    {
        for (auto& value : values)
        {
            Get(value);
        }
    }
    template <std::size_t N>
    void Get(char (&text)[N])
    {
        std::memcpy(text, at, N);
        at += N;
    }

    template <typename T>
    void Put(const T& value)
    {
        StoreLE<T>(at, value);
        at += sizeof(T);
    }
    template <typename T, std::size_t N>
    void Put(const T (&values)[N])
    {
        for (const auto& value : values)
        {
            Put(value);
        }
    }
    template <std::size_t N>
    void Put(const char (&text)[N])
    {
        std::memcpy(at, text, N);
        at += N;
    }

    Byte* Position() const { return at; }

private:
    Byte* at;
};

template <typename Header, typename Visit>
void VisitHeaderFields(Header& h, Visit&& visit)
{
    visit(h.fileSignature);
    visit(h.fileSourceId);
    visit(h.globalEncoding);
    visit(h.guidData1);
    visit(h.guidData2);
    visit(h.guidData3);
    visit(h.guidData4);
    visit(h.versionMajor);
    visit(h.versionMinor);
    visit(h.systemIdentifier);
    visit(h.generatingSoftware);
    visit(h.fileCreationDayOfYear);
    visit(h.fileCreationYear);
    visit(h.headerSize);
    visit(h.offsetToPointData);
    visit(h.numberOfVariableLengthRecords);
    visit(h.pointDataFormatId);
    visit(h.pointDataRecordLength);
    visit(h.numberOfPointRecords);
    visit(h.numberOfPointsByReturn);
    visit(h.xScaleFactor);
    visit(h.yScaleFactor);
    visit(h.zScaleFactor);
    visit(h.xOffset);
    visit(h.yOffset);
    visit(h.zOffset);
    visit(h.maxX);
    visit(h.minX);
    visit(h.maxY);
    visit(h.minY);
    visit(h.maxZ);
    visit(h.minZ);
}

template <typename Header, typename Visit>
void VisitEvlrFields(Header& h, Visit&& visit)
{
    visit(h.reserved);
    visit(h.userId);
    visit(h.recordId);
    visit(h.recordLengthAfterHeader);
    visit(h.description);
}

template <typename Header, typename Visit>
void VisitVlrFields(Header& h, Visit&& visit)
{
    visit(h.reserved);
    visit(h.userId);
    visit(h.recordId);
    visit(h.recordLengthAfterHeader);
    visit(h.description);
}

template <typename Header, typename Visit>
void VisitExtensionFields(Header& h, std::size_t fields, Visit&& visit)
{
    // 1.3 adds the first field, 1.4 the rest.
    if (fields >= 1)
    {
        visit(h.startOfWaveformDataPacketRecord);
    }
    if (fields >= 2)
    {
        visit(h.startOfFirstExtendedVlr);
        visit(h.numberOfExtendedVlrs);
        visit(h.extendedNumberOfPointRecords);
        visit(h.extendedNumberOfPointsByReturn);
    }
}

std::size_t ExtensionFields(const LasHeader& header)
{
    const std::size_t size = LasHeaderImageSize(header);
    return size >= LasHeader::kImageSize14 ? 2 : size >= LasHeader::kImageSize13 ? 1 : 0;
}

bool Uses64BitCounts(const LasHeader& header)
{
    return LasHeaderImageSize(header) >= LasHeader::kImageSize14 &&
           header.numberOfPointRecords == 0;
}

} // namespace

std::size_t LasHeaderImageSize(const LasHeader& header) noexcept
{
    if (header.versionMajor != 1 || header.versionMinor < 3)
    {
        return LasHeader::kImageSize;
    }
    return header.versionMinor == 3 ? LasHeader::kImageSize13 : LasHeader::kImageSize14;
}

void ParseLasHeaderExtension(const unsigned char* image, std::size_t size,
                             LasHeader& header) noexcept
{
    const std::size_t fields = ExtensionFields(header);
    const std::size_t wanted = fields == 2 ? LasHeader::kImageSize14 : LasHeader::kImageSize13;
    // A header cut short keeps the fields it holds whole: 1.3's alone when the 1.4 block is cut.
    const std::size_t usable = size >= wanted ? fields : size >= LasHeader::kImageSize13 ? 1 : 0;
    Cursor<const unsigned char> in(image + LasHeader::kImageSize);
    VisitExtensionFields(header, std::min(fields, usable), [&](auto& field) { in.Get(field); });
}

LasHeader ParseLasHeaderImage(const unsigned char* image, std::size_t size) noexcept
{
    LasHeader header;
    Cursor<const unsigned char> in(image);
    VisitHeaderFields(header, [&](auto& field) { in.Get(field); });
    ParseLasHeaderExtension(image, size, header);
    return header;
}

std::size_t SerializeLasHeaderImage(const LasHeader& header,
                                    unsigned char (&image)[LasHeader::kImageSize14]) noexcept
{
    Cursor<unsigned char> out(image);
    VisitHeaderFields(header, [&](const auto& field) { out.Put(field); });
    const std::size_t laidOut = LasHeaderImageSize(header);
    if (header.headerSize < laidOut)
    {
        return LasHeader::kImageSize;
    }
    VisitExtensionFields(header, ExtensionFields(header),
                         [&](const auto& field) { out.Put(field); });
    return laidOut;
}

std::uint64_t PointCount(const LasHeader& header) noexcept
{
    return Uses64BitCounts(header) ? header.extendedNumberOfPointRecords
                                   : header.numberOfPointRecords;
}

std::size_t ReturnCountSlots(const LasHeader& header) noexcept
{
    return Uses64BitCounts(header) ? 15 : 5;
}

std::uint64_t PointsByReturn(const LasHeader& header, std::size_t slot) noexcept
{
    if (Uses64BitCounts(header))
    {
        return slot < 15 ? header.extendedNumberOfPointsByReturn[slot] : 0;
    }
    return slot < 5 ? header.numberOfPointsByReturn[slot] : 0;
}

LasHeader ParseLasHeader(const unsigned char (&image)[LasHeader::kImageSize]) noexcept
{
    LasHeader header;
    Cursor<const unsigned char> in(image);
    VisitHeaderFields(header, [&](auto& field) { in.Get(field); });
    return header;
}

void SerializeLasHeader(const LasHeader& header,
                        unsigned char (&image)[LasHeader::kImageSize]) noexcept
{
    Cursor<unsigned char> out(image);
    VisitHeaderFields(header, [&](const auto& field) { out.Put(field); });
}

LasVlrHeader ParseLasVlrHeader(const unsigned char* image) noexcept
{
    LasVlrHeader header;
    Cursor<const unsigned char> in(image);
    VisitVlrFields(header, [&](auto& field) { in.Get(field); });
    return header;
}

void SerializeLasVlrHeader(const LasVlrHeader& header, unsigned char* image) noexcept
{
    Cursor<unsigned char> out(image);
    VisitVlrFields(header, [&](const auto& field) { out.Put(field); });
}

LasEvlrHeader ParseLasEvlrHeader(const unsigned char* image) noexcept
{
    LasEvlrHeader header;
    Cursor<const unsigned char> in(image);
    VisitEvlrFields(header, [&](auto& field) { in.Get(field); });
    return header;
}

void SerializeLasEvlrHeader(const LasEvlrHeader& header, unsigned char* image) noexcept
{
    Cursor<unsigned char> out(image);
    VisitEvlrFields(header, [&](const auto& field) { out.Put(field); });
}

} // namespace telvora

#include "las/LasHeader.h"

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
void VisitVlrFields(Header& h, Visit&& visit)
{
    visit(h.reserved);
    visit(h.userId);
    visit(h.recordId);
    visit(h.recordLengthAfterHeader);
    visit(h.description);
}

} // namespace

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

} // namespace telvora

#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "las/ByteOrder.h"
#include "las/LASPoint.h"

namespace telvora
{

// Where the fields of each format lie in its record. Formats 0 to 5 share the 20 bytes from X to
// Point Source ID (LasField); formats 6 to 10 share 22 bytes (LasExtendedField) with a return
// number and count of 4 bits each, the classification flags, scanner channel, scan direction and
// edge in a byte of their own, an 8-bit classification and a 16-bit scan angle. -1 marks a field
// the format lacks.
struct LasFormatLayout
{
    std::size_t size = 0;
    bool extended = false;
    int gpsTime = -1;
    int rgb = -1;
    int nir = -1;
    int wavePacket = -1;
};

inline constexpr unsigned kLasFormatCount = 11;

// The layout of a format we read; size 0 for any other.
constexpr LasFormatLayout FormatLayout(unsigned format) noexcept
{
    switch (format)
    {
    case 0:
        return {20, false, -1, -1, -1, -1};
    case 1:
        return {28, false, 20, -1, -1, -1};
    case 2:
        return {26, false, -1, 20, -1, -1};
    case 3:
        return {34, false, 20, 28, -1, -1};
    case 4:
        return {57, false, 20, -1, -1, 28};
    case 5:
        return {63, false, 20, 28, -1, 34};
    case 6:
        return {30, true, 22, -1, -1, -1};
    case 7:
        return {36, true, 22, 30, -1, -1};
    case 8:
        return {38, true, 22, 30, 36, -1};
    case 9:
        return {59, true, 22, -1, -1, 30};
    case 10:
        return {67, true, 22, 30, 36, 38};
    default:
        return {};
    }
}

template <int Format>
struct LasRecordLayout
{
    static constexpr LasFormatLayout kLayout = FormatLayout(Format);
    static_assert(kLayout.size != 0);
    static constexpr std::size_t kSize = kLayout.size;
    static constexpr bool kExtended = kLayout.extended;
    static constexpr int kGpsTime = kLayout.gpsTime;
    static constexpr int kRgb = kLayout.rgb;
    static constexpr int kNir = kLayout.nir;
    static constexpr int kWavePacket = kLayout.wavePacket;
};

namespace LasField
{
inline constexpr std::size_t kX = 0;
inline constexpr std::size_t kY = 4;
inline constexpr std::size_t kZ = 8;
inline constexpr std::size_t kIntensity = 12;
inline constexpr std::size_t kReturnByte = 14;
inline constexpr std::size_t kClassification = 15;
inline constexpr std::size_t kScanAngleRank = 16;
inline constexpr std::size_t kUserData = 17;
inline constexpr std::size_t kPointSourceId = 18;
} // namespace LasField

namespace LasExtendedField
{
inline constexpr std::size_t kReturnByte = 14;
inline constexpr std::size_t kFlagsByte = 15;
inline constexpr std::size_t kClassification = 16;
inline constexpr std::size_t kUserData = 17;
inline constexpr std::size_t kScanAngle = 18;
inline constexpr std::size_t kPointSourceId = 20;
} // namespace LasExtendedField

// Offsets inside the 29-byte wave packet of formats 4, 5, 9 and 10.
namespace LasWaveField
{
inline constexpr std::size_t kDescriptorIndex = 0;
inline constexpr std::size_t kByteOffset = 1;
inline constexpr std::size_t kPacketSize = 9;
inline constexpr std::size_t kReturnPointLocation = 13;
inline constexpr std::size_t kXt = 17;
inline constexpr std::size_t kYt = 21;
inline constexpr std::size_t kZt = 25;
} // namespace LasWaveField

// Where the classification lies: the whole byte 15 (flag bits included) in formats 0 to 5, byte
// 16 in formats 6 to 10, whose flags have a byte of their own.
constexpr std::size_t ClassificationOffset(unsigned format) noexcept
{
    return FormatLayout(format).extended ? LasExtendedField::kClassification
                                         : LasField::kClassification;
}

// Scan angles of formats 6 to 10 count in steps of 0.006 degrees.
inline constexpr double kScanAngleStepDegrees = 0.006;

// Scan angle of a record in degrees: the rank of formats 0 to 5, the 16-bit angle of 6 to 10.
inline float ScanAngleDegrees(const unsigned char* record, bool extended) noexcept
{
    if (extended)
    {
        return static_cast<float>(LoadLE<std::int16_t>(record + LasExtendedField::kScanAngle) *
                                  kScanAngleStepDegrees);
    }
    return static_cast<float>(static_cast<std::int8_t>(record[LasField::kScanAngleRank]));
}

// Return number of a record: 3 bits in formats 0 to 5, 4 bits in 6 to 10.
inline std::uint8_t ReturnNumberOf(const unsigned char* record, bool extended) noexcept
{
    return static_cast<std::uint8_t>(record[LasField::kReturnByte] & (extended ? 0x0Fu : 0x07u));
}

// The record of one format held as its exact little-endian file image, so that it is read and
// written as one block. LASPoint0 to LASPoint10 are the instances.
template <int Format>
class LASPointRecord final : public LASPoint
{
    using Layout = LasRecordLayout<Format>;
    static constexpr bool kExtended = Layout::kExtended;
    static constexpr bool kHasGps = Layout::kGpsTime >= 0;
    static constexpr bool kHasRgb = Layout::kRgb >= 0;
    static constexpr bool kHasNir = Layout::kNir >= 0;
    static constexpr bool kHasWave = Layout::kWavePacket >= 0;
    static constexpr unsigned kReturnMask = kExtended ? 0x0Fu : 0x07u;
    static constexpr unsigned kCountShift = kExtended ? 4u : 3u;
    // Scan direction and edge: bits 6 and 7 of the return byte, or of the flag byte from 6 on.
    static constexpr std::size_t kDirectionByte =
        kExtended ? LasExtendedField::kFlagsByte : LasField::kReturnByte;
    static constexpr std::size_t kClassByte = ClassificationOffset(Format);
    static constexpr std::size_t kUserDataByte =
        kExtended ? LasExtendedField::kUserData : LasField::kUserData;
    static constexpr std::size_t kSourceId =
        kExtended ? LasExtendedField::kPointSourceId : LasField::kPointSourceId;

public:
    static constexpr int kFormat = Format;
    static constexpr std::size_t kRecordSize = Layout::kSize;

    unsigned char record[kRecordSize] = {};

    bool Read(std::istream& in) override
    {
        in.read(reinterpret_cast<char*>(record), static_cast<std::streamsize>(kRecordSize));
        return in.gcount() == static_cast<std::streamsize>(kRecordSize);
    }
    int GetFormat() const override { return Format; }

    std::int32_t GetX() const override { return Load<std::int32_t>(LasField::kX); }
    std::int32_t GetY() const override { return Load<std::int32_t>(LasField::kY); }
    std::int32_t GetZ() const override { return Load<std::int32_t>(LasField::kZ); }
    std::uint16_t GetIntensity() const override
    {
        return Load<std::uint16_t>(LasField::kIntensity);
    }
    std::uint8_t GetReturnNumber() const override { return ReturnByte() & kReturnMask; }
    std::uint8_t GetNumberOfReturns() const override
    {
        return (ReturnByte() >> kCountShift) & kReturnMask;
    }
    std::uint8_t GetScanDirectionFlag() const override
    {
        return (record[kDirectionByte] >> 6) & 1u;
    }
    std::uint8_t GetEdgeOfFlightLine() const override { return (record[kDirectionByte] >> 7) & 1u; }
    std::uint8_t GetClassification() const override { return record[kClassByte]; }
    std::int8_t GetScanAngleRank() const override
    {
        if constexpr (kExtended)
        {
            // The angle to whole degrees, as a rank holds it.
            const long degrees = std::lround(GetScanAngleDegrees());
            return static_cast<std::int8_t>(std::clamp(degrees, -128L, 127L));
        }
        return static_cast<std::int8_t>(record[LasField::kScanAngleRank]);
    }
    std::uint8_t GetUserData() const override { return record[kUserDataByte]; }
    std::uint16_t GetPointSourceID() const override { return Load<std::uint16_t>(kSourceId); }
    double GetGPSTime() const override { return std::bit_cast<double>(GetGPSTimeBits()); }
    std::uint64_t GetGPSTimeBits() const override
    {
        if constexpr (kHasGps)
        {
            return Load<std::uint64_t>(Layout::kGpsTime);
        }
        return 0;
    }
    std::uint16_t GetRed() const override { return Colour(0); }
    std::uint16_t GetGreen() const override { return Colour(1); }
    std::uint16_t GetBlue() const override { return Colour(2); }
    bool GetSynthetic() const override { return (GetClassificationFlags() & 1u) != 0; }
    bool GetKeyPoint() const override { return (GetClassificationFlags() & 2u) != 0; }
    bool GetWithheld() const override { return (GetClassificationFlags() & 4u) != 0; }
    std::uint8_t GetClassificationFlags() const override
    {
        if constexpr (kExtended)
        {
            return record[LasExtendedField::kFlagsByte] & 0x0Fu;
        }
        return static_cast<std::uint8_t>(record[LasField::kClassification] >> 5);
    }
    std::uint8_t GetScannerChannel() const override
    {
        if constexpr (kExtended)
        {
            return (record[LasExtendedField::kFlagsByte] >> 4) & 0x03u;
        }
        return 0;
    }
    std::int16_t GetScanAngle() const override
    {
        if constexpr (kExtended)
        {
            return Load<std::int16_t>(LasExtendedField::kScanAngle);
        }
        return GetScanAngleRank();
    }
    float GetScanAngleDegrees() const override { return ScanAngleDegrees(record, kExtended); }
    std::uint16_t GetNIR() const override
    {
        if constexpr (kHasNir)
        {
            return Load<std::uint16_t>(Layout::kNir);
        }
        return 0;
    }
    std::uint8_t GetWavePacketDescriptorIndex() const override
    {
        return Wave<std::uint8_t>(LasWaveField::kDescriptorIndex);
    }
    std::uint64_t GetWaveformDataOffset() const override
    {
        return Wave<std::uint64_t>(LasWaveField::kByteOffset);
    }
    std::uint32_t GetWaveformPacketSize() const override
    {
        return Wave<std::uint32_t>(LasWaveField::kPacketSize);
    }
    float GetReturnPointWaveformLocation() const override
    {
        return Wave<float>(LasWaveField::kReturnPointLocation);
    }
    float GetWaveXt() const override { return Wave<float>(LasWaveField::kXt); }
    float GetWaveYt() const override { return Wave<float>(LasWaveField::kYt); }
    float GetWaveZt() const override { return Wave<float>(LasWaveField::kZt); }

    void SetX(std::int32_t value) override { Store(LasField::kX, value); }
    void SetY(std::int32_t value) override { Store(LasField::kY, value); }
    void SetZ(std::int32_t value) override { Store(LasField::kZ, value); }
    void SetIntensity(std::uint16_t value) override { Store(LasField::kIntensity, value); }
    void SetReturnNumber(std::uint8_t value) override
    {
        SetBits(LasField::kReturnByte, 0, kReturnMask, value);
    }
    void SetNumberOfReturns(std::uint8_t value) override
    {
        SetBits(LasField::kReturnByte, kCountShift, kReturnMask, value);
    }
    void SetScanDirectionFlag(std::uint8_t value) override
    {
        SetBits(kDirectionByte, 6, 0x01u, value);
    }
    void SetEdgeOfFlightLine(std::uint8_t value) override
    {
        SetBits(kDirectionByte, 7, 0x01u, value);
    }
    void SetClassification(std::uint8_t value) override { record[kClassByte] = value; }
    void SetScanAngleRank(std::int8_t value) override
    {
        if constexpr (kExtended)
        {
            // Whole degrees in steps of 0.006 degrees: 500 / 3 steps each.
            SetScanAngle(static_cast<std::int16_t>(std::lround(value / kScanAngleStepDegrees)));
        }
        else
        {
            record[LasField::kScanAngleRank] = static_cast<unsigned char>(value);
        }
    }
    void SetUserData(std::uint8_t value) override { record[kUserDataByte] = value; }
    void SetPointSourceID(std::uint16_t value) override { Store(kSourceId, value); }
    void SetGPSTime(double value) override { SetGPSTimeBits(std::bit_cast<std::uint64_t>(value)); }
    void SetGPSTimeBits(std::uint64_t bits) override
    {
        if constexpr (kHasGps)
        {
            Store(Layout::kGpsTime, bits);
        }
        else
        {
            (void)bits;
        }
    }
    void SetRed(std::uint16_t value) override { SetColour(0, value); }
    void SetGreen(std::uint16_t value) override { SetColour(1, value); }
    void SetBlue(std::uint16_t value) override { SetColour(2, value); }
    void SetSynthetic(bool value) override { SetFlag(0, value); }
    void SetKeyPoint(bool value) override { SetFlag(1, value); }
    void SetWithheld(bool value) override { SetFlag(2, value); }
    void SetClassificationFlags(std::uint8_t value) override
    {
        if constexpr (kExtended)
        {
            SetBits(LasExtendedField::kFlagsByte, 0, 0x0Fu, value);
        }
        else
        {
            SetBits(LasField::kClassification, 5, 0x07u, value);
        }
    }
    void SetScannerChannel(std::uint8_t value) override
    {
        if constexpr (kExtended)
        {
            SetBits(LasExtendedField::kFlagsByte, 4, 0x03u, value);
        }
        else
        {
            (void)value;
        }
    }
    void SetScanAngle(std::int16_t value) override
    {
        if constexpr (kExtended)
        {
            Store(LasExtendedField::kScanAngle, value);
        }
        else
        {
            record[LasField::kScanAngleRank] =
                static_cast<unsigned char>(static_cast<std::int8_t>(value));
        }
    }
    void SetNIR(std::uint16_t value) override
    {
        if constexpr (kHasNir)
        {
            Store(Layout::kNir, value);
        }
        else
        {
            (void)value;
        }
    }
    void SetWavePacket(std::uint8_t descriptorIndex, std::uint64_t dataOffset,
                       std::uint32_t packetSize, float returnPointLocation, float xt, float yt,
                       float zt) override
    {
        if constexpr (kHasWave)
        {
            constexpr auto at = static_cast<std::size_t>(Layout::kWavePacket);
            record[at + LasWaveField::kDescriptorIndex] = descriptorIndex;
            Store(at + LasWaveField::kByteOffset, dataOffset);
            Store(at + LasWaveField::kPacketSize, packetSize);
            Store(at + LasWaveField::kReturnPointLocation, returnPointLocation);
            Store(at + LasWaveField::kXt, xt);
            Store(at + LasWaveField::kYt, yt);
            Store(at + LasWaveField::kZt, zt);
        }
        else
        {
            (void)descriptorIndex, (void)dataOffset, (void)packetSize;
            (void)returnPointLocation, (void)xt, (void)yt, (void)zt;
        }
    }

private:
    template <typename T>
    T Load(std::size_t offset) const noexcept
    {
        return LoadLE<T>(record + offset);
    }
    template <typename T>
    void Store(std::size_t offset, T value) noexcept
    {
        StoreLE<T>(record + offset, value);
    }
    template <typename T>
    T Wave(std::size_t field) const noexcept
    {
        if constexpr (kHasWave)
        {
            return Load<T>(static_cast<std::size_t>(Layout::kWavePacket) + field);
        }
        (void)field;
        return T{};
    }

    std::uint8_t ReturnByte() const noexcept { return record[LasField::kReturnByte]; }
    void SetBits(std::size_t byte, unsigned shift, unsigned mask, std::uint8_t value) noexcept
    {
        const unsigned kept = record[byte] & ~(mask << shift);
        record[byte] = static_cast<unsigned char>(kept | ((value & mask) << shift));
    }
    void SetFlag(unsigned flag, bool value) noexcept
    {
        const auto mask = static_cast<std::uint8_t>(1u << flag);
        const std::uint8_t flags = GetClassificationFlags();
        SetClassificationFlags(static_cast<std::uint8_t>(value ? (flags | mask) : (flags & ~mask)));
    }

    std::uint16_t Colour(int channel) const noexcept
    {
        if constexpr (kHasRgb)
        {
            return Load<std::uint16_t>(static_cast<std::size_t>(Layout::kRgb) +
                                       2 * static_cast<std::size_t>(channel));
        }
        (void)channel;
        return 0;
    }
    void SetColour(int channel, std::uint16_t value) noexcept
    {
        if constexpr (kHasRgb)
        {
            Store(static_cast<std::size_t>(Layout::kRgb) + 2 * static_cast<std::size_t>(channel),
                  value);
        }
        else
        {
            (void)channel;
            (void)value;
        }
    }
};

using LASPoint0 = LASPointRecord<0>;
using LASPoint1 = LASPointRecord<1>;
using LASPoint2 = LASPointRecord<2>;
using LASPoint3 = LASPointRecord<3>;
using LASPoint4 = LASPointRecord<4>;
using LASPoint5 = LASPointRecord<5>;
using LASPoint6 = LASPointRecord<6>;
using LASPoint7 = LASPointRecord<7>;
using LASPoint8 = LASPointRecord<8>;
using LASPoint9 = LASPointRecord<9>;
using LASPoint10 = LASPointRecord<10>;

extern template class LASPointRecord<0>;
extern template class LASPointRecord<1>;
extern template class LASPointRecord<2>;
extern template class LASPointRecord<3>;
extern template class LASPointRecord<4>;
extern template class LASPointRecord<5>;
extern template class LASPointRecord<6>;
extern template class LASPointRecord<7>;
extern template class LASPointRecord<8>;
extern template class LASPointRecord<9>;
extern template class LASPointRecord<10>;

// Calls visit(std::integral_constant<int, F>{}) for the format F we read and returns what it
// returns; fallback() for any other format.
template <typename Visit, typename Fallback>
decltype(auto) WithLasFormat(unsigned format, Visit&& visit, Fallback&& fallback)
{
    using Result = decltype(fallback());
    return [&]<int... F>(std::integer_sequence<int, F...>)->Result
    {
        Result result{};
        const bool known = ((format == static_cast<unsigned>(F)
                                 ? (result = visit(std::integral_constant<int, F>{}), true)
                                 : false) ||
                            ...);
        return known ? result : fallback();
    }
    (std::make_integer_sequence<int, static_cast<int>(kLasFormatCount)>{});
}

// Standard record size of a point data format, 0 for formats we do not read.
std::size_t StandardRecordSize(unsigned format) noexcept;

// A new point object of the format with every record byte zero; none for formats above 10.
LASPoint* CreateLasPoint(unsigned format);

// The record image behind a point object of the record classes; none for any other class.
unsigned char* RecordImage(LASPoint& point) noexcept;
const unsigned char* RecordImage(const LASPoint& point) noexcept;

// Record images of many points in a row, as the writer needs them: while the points are of one
// class, each costs a single comparison of its type.
class RecordImageFinder
{
public:
    // The point's record image and its standard size; none for objects of other classes.
    const unsigned char* Find(const LASPoint& point, std::size_t& size) noexcept;

private:
    const std::type_info* knownType = nullptr;
    int knownFormat = -1;
};

} // namespace telvora

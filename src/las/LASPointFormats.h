#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <typeinfo>

#include "las/ByteOrder.h"
#include "las/LASPoint.h"

namespace telvora
{

// Where the fields of each format lie in its record. The common part (X to Point Source ID) is
// the same 20 bytes in every format.
template <int Format>
struct LasRecordLayout;

template <>
struct LasRecordLayout<0>
{
    static constexpr std::size_t kSize = 20;
    static constexpr int kGpsTime = -1;
    static constexpr int kRgb = -1;
};

template <>
struct LasRecordLayout<1>
{
    static constexpr std::size_t kSize = 28;
    static constexpr int kGpsTime = 20;
    static constexpr int kRgb = -1;
};

template <>
struct LasRecordLayout<2>
{
    static constexpr std::size_t kSize = 26;
    static constexpr int kGpsTime = -1;
    static constexpr int kRgb = 20;
};

template <>
struct LasRecordLayout<3>
{
    static constexpr std::size_t kSize = 34;
    static constexpr int kGpsTime = 20;
    static constexpr int kRgb = 28;
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

// The record of one format held as its exact little-endian file image, so that it is read and
// written as one block. LASPoint0 to LASPoint3 are the four instances.
template <int Format>
class LASPointRecord final : public LASPoint
{
    using Layout = LasRecordLayout<Format>;
    static constexpr bool kHasGps = Layout::kGpsTime >= 0;
    static constexpr bool kHasRgb = Layout::kRgb >= 0;

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
    std::uint8_t GetReturnNumber() const override { return ReturnByte() & 0x07u; }
    std::uint8_t GetNumberOfReturns() const override { return (ReturnByte() >> 3) & 0x07u; }
    std::uint8_t GetScanDirectionFlag() const override { return (ReturnByte() >> 6) & 0x01u; }
    std::uint8_t GetEdgeOfFlightLine() const override { return (ReturnByte() >> 7) & 0x01u; }
    std::uint8_t GetClassification() const override { return record[LasField::kClassification]; }
    std::int8_t GetScanAngleRank() const override
    {
        return static_cast<std::int8_t>(record[LasField::kScanAngleRank]);
    }
    std::uint8_t GetUserData() const override { return record[LasField::kUserData]; }
    std::uint16_t GetPointSourceID() const override
    {
        return Load<std::uint16_t>(LasField::kPointSourceId);
    }
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
    bool GetSynthetic() const override { return ClassFlag(5); }
    bool GetKeyPoint() const override { return ClassFlag(6); }
    bool GetWithheld() const override { return ClassFlag(7); }

    void SetX(std::int32_t value) override { Store(LasField::kX, value); }
    void SetY(std::int32_t value) override { Store(LasField::kY, value); }
    void SetZ(std::int32_t value) override { Store(LasField::kZ, value); }
    void SetIntensity(std::uint16_t value) override { Store(LasField::kIntensity, value); }
    void SetReturnNumber(std::uint8_t value) override { SetReturnBits(0, 0x07u, value); }
    void SetNumberOfReturns(std::uint8_t value) override { SetReturnBits(3, 0x07u, value); }
    void SetScanDirectionFlag(std::uint8_t value) override { SetReturnBits(6, 0x01u, value); }
    void SetEdgeOfFlightLine(std::uint8_t value) override { SetReturnBits(7, 0x01u, value); }
    void SetClassification(std::uint8_t value) override
    {
        record[LasField::kClassification] = value;
    }
    void SetScanAngleRank(std::int8_t value) override
    {
        record[LasField::kScanAngleRank] = static_cast<unsigned char>(value);
    }
    void SetUserData(std::uint8_t value) override { record[LasField::kUserData] = value; }
    void SetPointSourceID(std::uint16_t value) override { Store(LasField::kPointSourceId, value); }
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
    void SetSynthetic(bool value) override { SetClassFlag(5, value); }
    void SetKeyPoint(bool value) override { SetClassFlag(6, value); }
    void SetWithheld(bool value) override { SetClassFlag(7, value); }

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

    std::uint8_t ReturnByte() const noexcept { return record[LasField::kReturnByte]; }
    void SetReturnBits(unsigned shift, unsigned mask, std::uint8_t value) noexcept
    {
        const unsigned kept = record[LasField::kReturnByte] & ~(mask << shift);
        record[LasField::kReturnByte] =
            static_cast<unsigned char>(kept | ((value & mask) << shift));
    }

    bool ClassFlag(unsigned bit) const noexcept
    {
        return (record[LasField::kClassification] >> bit) & 0x01u;
    }
    void SetClassFlag(unsigned bit, bool value) noexcept
    {
        const unsigned mask = 1u << bit;
        const unsigned byte = record[LasField::kClassification];
        record[LasField::kClassification] =
            static_cast<unsigned char>(value ? (byte | mask) : (byte & ~mask));
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

extern template class LASPointRecord<0>;
extern template class LASPointRecord<1>;
extern template class LASPointRecord<2>;
extern template class LASPointRecord<3>;

// Standard record size of a point data format, 0 for formats we do not read.
std::size_t StandardRecordSize(unsigned format) noexcept;

// A new point object of the format with every record byte zero; none for formats above 3.
LASPoint* CreateLasPoint(unsigned format);

// The record image behind a point object of the four classes; none for any other class.
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

#pragma once

#include <cstdint>
#include <istream>

namespace telvora
{

// One point record of format 0 to 10. Code that handles points of any format works only through
// this interface; getters of a field the format lacks return zero and its setters do nothing.
class LASPoint
{
public:
    virtual ~LASPoint() = default;

    // Reads one record of the format's standard size from the stream's position; true only when
    // the whole record arrived.
    virtual bool Read(std::istream& in) = 0;
    virtual int GetFormat() const = 0;

    virtual std::int32_t GetX() const = 0;
    virtual std::int32_t GetY() const = 0;
    virtual std::int32_t GetZ() const = 0;
    virtual std::uint16_t GetIntensity() const = 0;
    virtual std::uint8_t GetReturnNumber() const = 0;
    virtual std::uint8_t GetNumberOfReturns() const = 0;
    virtual std::uint8_t GetScanDirectionFlag() const = 0;
    virtual std::uint8_t GetEdgeOfFlightLine() const = 0;
    virtual std::uint8_t GetClassification() const = 0;
    virtual std::int8_t GetScanAngleRank() const = 0;
    virtual std::uint8_t GetUserData() const = 0;
    virtual std::uint16_t GetPointSourceID() const = 0;
    virtual double GetGPSTime() const = 0;
    virtual std::uint64_t GetGPSTimeBits() const = 0;
    virtual std::uint16_t GetRed() const = 0;
    virtual std::uint16_t GetGreen() const = 0;
    virtual std::uint16_t GetBlue() const = 0;
    virtual bool GetSynthetic() const = 0;
    virtual bool GetKeyPoint() const = 0;
    virtual bool GetWithheld() const = 0;
    // Synthetic, key-point, withheld and overlap in bits 0 to 3: the flag byte of formats 6 to
    // 10, the three flag bits of the classification byte in formats 0 to 5.
    virtual std::uint8_t GetClassificationFlags() const = 0;
    virtual std::uint8_t GetScannerChannel() const = 0;
    // The 16-bit scan angle of formats 6 to 10 in its steps of 0.006 degrees; the rank in 0 to 5.
    virtual std::int16_t GetScanAngle() const = 0;
    virtual float GetScanAngleDegrees() const = 0;
    virtual std::uint16_t GetNIR() const = 0;
    // The wave packet of formats 4, 5, 9 and 10 (the waveform itself is not read).
    virtual std::uint8_t GetWavePacketDescriptorIndex() const = 0;
    virtual std::uint64_t GetWaveformDataOffset() const = 0;
    virtual std::uint32_t GetWaveformPacketSize() const = 0;
    virtual float GetReturnPointWaveformLocation() const = 0;
    virtual float GetWaveXt() const = 0;
    virtual float GetWaveYt() const = 0;
    virtual float GetWaveZt() const = 0;

    virtual void SetX(std::int32_t value) = 0;
    virtual void SetY(std::int32_t value) = 0;
    virtual void SetZ(std::int32_t value) = 0;
    virtual void SetIntensity(std::uint16_t value) = 0;
    // The bit-field setters take only the low bits of their argument; the other bits of the
    // return byte stay.
    virtual void SetReturnNumber(std::uint8_t value) = 0;
    virtual void SetNumberOfReturns(std::uint8_t value) = 0;
    virtual void SetScanDirectionFlag(std::uint8_t value) = 0;
    virtual void SetEdgeOfFlightLine(std::uint8_t value) = 0;
    // Formats 0 to 5: the whole byte, flag bits included: reclassification replaces the flags
    // too. Formats 6 to 10: the classification byte; the flags keep their own.
    virtual void SetClassification(std::uint8_t value) = 0;
    virtual void SetScanAngleRank(std::int8_t value) = 0;
    virtual void SetUserData(std::uint8_t value) = 0;
    virtual void SetPointSourceID(std::uint16_t value) = 0;
    virtual void SetGPSTime(double value) = 0;
    // The archive decoder predicts GPS times on their bit patterns, so NaNs and signed zeros
    // must pass through unchanged.
    virtual void SetGPSTimeBits(std::uint64_t bits) = 0;
    virtual void SetRed(std::uint16_t value) = 0;
    virtual void SetGreen(std::uint16_t value) = 0;
    virtual void SetBlue(std::uint16_t value) = 0;
    virtual void SetSynthetic(bool value) = 0;
    virtual void SetKeyPoint(bool value) = 0;
    virtual void SetWithheld(bool value) = 0;
    virtual void SetClassificationFlags(std::uint8_t value) = 0;
    virtual void SetScannerChannel(std::uint8_t value) = 0;
    virtual void SetScanAngle(std::int16_t value) = 0;
    virtual void SetNIR(std::uint16_t value) = 0;
    virtual void SetWavePacket(std::uint8_t descriptorIndex, std::uint64_t dataOffset,
                               std::uint32_t packetSize, float returnPointLocation, float xt,
                               float yt, float zt) = 0;
};

} // namespace telvora

#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "las/LASPointFormats.h"
#include "las/LasFile.h"
#include "las/LasHeader.h"

namespace telvora::lasgen::test
{

// One record as read back through the project's point classes.
struct Record
{
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t z = 0;
    std::uint16_t intensity = 0;
    std::uint8_t returnNumber = 0;
    std::uint8_t returns = 0;
    std::uint8_t direction = 0;
    std::uint8_t edge = 0;
    std::uint8_t classification = 0;
    std::int8_t angle = 0;
    std::uint16_t source = 0;
    double time = 0.0;
    std::uint16_t red = 0;
    std::uint16_t green = 0;
    std::uint16_t blue = 0;
};

// A generated file read back whole: its bytes, its header as CLasFile reads it, its records.
struct ReadBack
{
    std::vector<unsigned char> bytes;
    LasHeader header;
    std::vector<Record> records;

    double X(const Record& r) const { return r.x * header.xScaleFactor + header.xOffset; }
    double Y(const Record& r) const { return r.y * header.yScaleFactor + header.yOffset; }
    double Z(const Record& r) const { return r.z * header.zScaleFactor + header.zOffset; }
};

inline ReadBack ReadSurvey(const std::string& path)
{
    ReadBack survey;
    survey.bytes = telvora::test::ReadAll(path);
    CLasFile file;
    file.SetPath(path.c_str());
    file.ReadHeader();
    survey.header = *file.header;

    const LasHeader& h = survey.header;
    const std::size_t standard = StandardRecordSize(h.pointDataFormatId);
    std::unique_ptr<LASPoint> point(CreateLasPoint(h.pointDataFormatId));
    for (std::uint64_t i = 0; i < h.numberOfPointRecords; ++i)
    {
        const std::size_t at = h.offsetToPointData + i * h.pointDataRecordLength;
        if (point == nullptr || at + h.pointDataRecordLength > survey.bytes.size())
        {
            break;
        }
        std::memcpy(RecordImage(*point), survey.bytes.data() + at, standard);
        Record r;
        r.x = point->GetX();
        r.y = point->GetY();
        r.z = point->GetZ();
        r.intensity = point->GetIntensity();
        r.returnNumber = point->GetReturnNumber();
        r.returns = point->GetNumberOfReturns();
        r.direction = point->GetScanDirectionFlag();
        r.edge = point->GetEdgeOfFlightLine();
        r.classification = point->GetClassification();
        r.angle = point->GetScanAngleRank();
        r.source = point->GetPointSourceID();
        r.time = point->GetGPSTime();
        r.red = point->GetRed();
        r.green = point->GetGreen();
        r.blue = point->GetBlue();
        survey.records.push_back(r);
    }
    return survey;
}

// The records of one pulse: a first return and the later returns that follow it.
struct PulseSpan
{
    std::size_t first = 0;
    std::size_t count = 0;
};

inline std::vector<PulseSpan> SplitPulses(const std::vector<Record>& records)
{
    std::vector<PulseSpan> pulses;
    for (std::size_t i = 0; i < records.size(); ++i)
    {
        if (records[i].returnNumber == 1 || pulses.empty())
        {
            pulses.push_back({i, 0});
        }
        ++pulses.back().count;
    }
    return pulses;
}

} // namespace telvora::lasgen::test

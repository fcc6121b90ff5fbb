#include "telvora-las/LasReport.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fmt/format.h>
#include <iterator>
#include <memory>
#include <ostream>

#include "common/Notifier.h"
#include "common/TerminalText.h"
#include "las/LASPointFormats.h"
#include "las/LasException.h"
#include "las/LasExtendedVlrs.h"
#include "las/LasFile.h"

namespace telvora::lascli
{

namespace
{

// The attribute readers run one after the other, each advancing the progress position by about
// a hundred steps.
constexpr int kStatsReaders = 5;

constexpr const char* kBoundKeys[6] = {"Min x", "Max x", "Min y", "Max y", "Min z", "Max z"};
// Fields held as floats in the record: shown as the floats they are in text reports.
constexpr const char* kFloatPointKeys[4] = {"Return Point Waveform Location", "X(t)", "Y(t)",
                                            "Z(t)"};

// Whether the header lays out the fields that end at byte end (LAS 1.3: 235, LAS 1.4: 375) and
// its Header Size holds them; behind a smaller Header Size lie the VLRs, not these fields.
bool HoldsFieldsUpTo(const LasHeader& header, std::size_t end)
{
    return LasHeaderImageSize(header) >= end && header.headerSize >= end;
}

// A float field widened to double, which is exact: the JSON parses back to the very float.
Json FloatValue(float value)
{
    return static_cast<double>(value);
}

// Floats in text as their shortest float form rather than the long expansion of the double.
void ShortenFloats(Json& object, const char* const* keys, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
    {
        const auto found = object.find(keys[i]);
        if (found != object.end() && found->is_number_float())
        {
            *found = fmt::format("{}", static_cast<float>(found->get<double>()));
        }
    }
}

template <std::size_t N>
std::string FieldText(const char (&text)[N], FieldForm form)
{
    if (form == FieldForm::Utf8)
    {
        return FixedText(text, N);
    }
    return TerminalText(std::string_view(text, strnlen(text, N)), TextEncoding::Latin1);
}

// Lines for the error output quote paths and texts from the file.
void WriteLine(std::ostream& err, const std::string& line)
{
    err << TerminalText(line) << '\n';
}

template <typename T, std::size_t N>
Json NumberArray(const T (&values)[N])
{
    Json array = Json::array();
    for (const T value : values)
    {
        array.push_back(static_cast<std::uint64_t>(value));
    }
    return array;
}

std::string Dump(const Json& json, int indent)
{
    // Texts are already UTF-8; replacing is only a guard against a crash on a case missed there.
    return json.dump(indent, ' ', false, Json::error_handler_t::replace);
}

std::string ScalarText(const Json& value)
{
    switch (value.type())
    {
    case Json::value_t::string:
        return value.get<std::string>();
    case Json::value_t::number_unsigned:
        return fmt::format("{}", value.get<std::uint64_t>());
    case Json::value_t::number_integer:
        return fmt::format("{}", value.get<std::int64_t>());
    case Json::value_t::number_float:
        return fmt::format("{}", value.get<double>());
    case Json::value_t::boolean:
        return value.get<bool>() ? "true" : "false";
    case Json::value_t::null:
        return "none";
    case Json::value_t::array:
    {
        std::string text;
        for (const Json& element : value)
        {
            if (!text.empty())
            {
                text += ' ';
            }
            text += ScalarText(element);
        }
        return text;
    }
    default:
        return Dump(value, -1);
    }
}

// One "Name: value" line per field; nested objects become indented blocks.
void AppendFields(std::string& text, const Json& object, const std::string& indent)
{
    for (const auto& [name, value] : object.items())
    {
        if (value.is_object())
        {
            text += fmt::format("{}{}:\n", indent, name);
            AppendFields(text, value, indent + "  ");
        }
        else
        {
            text += fmt::format("{}{}: {}\n", indent, name, ScalarText(value));
        }
    }
}

// Keeps the attribute readers' messages for the error output, in the form the default notifier
// would print them, and lets the caller tell a reported failure from a silent one.
class CollectingNotifier final : public INotifier
{
public:
    explicit CollectingNotifier(std::vector<std::string>& messages)
        : lines(messages)
    {
    }

    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon,
                     const std::string& detail) override
    {
        lines.push_back(caption + ": " + text + (detail.empty() ? "" : " (" + detail + ")"));
        ++shown;
    }

    int Shown() const { return shown; }

private:
    std::vector<std::string>& lines;
    int shown = 0;
};

struct VlrTableDeleter
{
    void operator()(unsigned char** table) const { ReleaseVlrTable(table); }
};

void ReadVlrs(CLasFile& file, InfoReport& report)
{
    const LasHeader& header = *file.header;
    report.vlrsDeclared = header.numberOfVariableLengthRecords;
    try
    {
        std::uint32_t found = 0;
        const std::unique_ptr<unsigned char*, VlrTableDeleter> table(
            file.ReadVariableLengthRecords(&found));
        std::vector<LasVlrHeader> vlrs;
        vlrs.reserve(found);
        for (std::uint32_t i = 0; i < found; ++i)
        {
            vlrs.push_back(ParseLasVlrHeader(table.get()[i]));
        }
        if (found < report.vlrsDeclared)
        {
            report.warnings.push_back(fmt::format(
                "Warning: {} of {} declared variable length records found between "
                "Header Size {} and Offset to point data {}",
                found, report.vlrsDeclared, header.headerSize, header.offsetToPointData));
        }
        report.vlrs = std::move(vlrs);
    }
    catch (const CLasException& error)
    {
        report.diagnostics.push_back(RefusalLine(error.GetErrorText(), error.GetDetail()));
    }
    catch (const std::exception& error)
    {
        report.diagnostics.push_back(error.what());
    }
}

void ReadEvlrs(const CLasFile& file, InfoReport& report)
{
    const LasHeader& header = *file.header;
    report.evlrsLaidOut = HoldsFieldsUpTo(header, LasHeader::kImageSize14);
    if (!report.evlrsLaidOut)
    {
        return;
    }
    try
    {
        // Only the headers are shown: none of the data (a waveform record may be gigabytes).
        std::vector<LasEvlrHeader> evlrs;
        for (const LasExtendedVlr& record : ReadExtendedVlrs(file.path, header, 0))
        {
            evlrs.push_back(record.header);
        }
        if (evlrs.size() < header.numberOfExtendedVlrs)
        {
            report.warnings.push_back(fmt::format(
                "Warning: {} of {} declared extended variable length records found "
                "from Start of first Extended Variable Length Record {}",
                evlrs.size(), header.numberOfExtendedVlrs, header.startOfFirstExtendedVlr));
        }
        report.evlrs = std::move(evlrs);
    }
    catch (const CLasException& error)
    {
        report.diagnostics.push_back(RefusalLine(error.GetErrorText(), error.GetDetail()));
    }
    catch (const std::exception& error)
    {
        report.diagnostics.push_back(error.what());
    }
}

// Positions, return numbers, classifications, intensities and scan angle ranks, each through its
// attribute reader, one array at a time so that no more than one is held.
std::optional<PointStats> CollectStats(const CLasFile& file, AttributeProgress* progress,
                                       std::vector<std::string>& diagnostics)
{
    const LasHeader& header = *file.header;
    CollectingNotifier notifier(diagnostics);
    // The readers return nothing without a message when the file cannot be opened again or the
    // array cannot be allocated; that must not pass for success either.
    auto failed = [&](const auto& values)
    {
        if (values != nullptr)
        {
            return false;
        }
        if (notifier.Shown() == 0)
        {
            diagnostics.push_back(fmt::format("The point records of {} could not be read",
                                              file.path != nullptr ? file.path : ""));
        }
        return true;
    };

    if (progress != nullptr)
    {
        progress->SetStatusText("Reading the point records");
        progress->SetProgressRange(0, kStatsReaders * 100);
        progress->SetProgressPos(0);
    }
    struct ProgressReset
    {
        AttributeProgress* progress;
        ~ProgressReset()
        {
            if (progress != nullptr)
            {
                progress->SetProgressPos(0);
            }
        }
    } reset{progress};

    PointStats stats;
    const std::uint64_t count = PointCount(header);
    stats.records = count;
    stats.returnSlots = FormatLayout(header.pointDataFormatId).extended ? 16 : 8;
    try
    {
        {
            const auto positions = file.ReadPositions(progress, &notifier);
            if (failed(positions))
            {
                return std::nullopt;
            }
            for (int axis = 0; axis < 3 && count > 0; ++axis)
            {
                stats.min[axis] = stats.max[axis] = positions[axis];
            }
            for (std::uint64_t i = 0; i < count; ++i)
            {
                for (int axis = 0; axis < 3; ++axis)
                {
                    const float value = positions[3 * i + axis];
                    stats.min[axis] = std::min(stats.min[axis], value);
                    stats.max[axis] = std::max(stats.max[axis], value);
                }
            }
        }
        {
            const auto returns = file.ReadReturnNumbers(progress, &notifier);
            if (failed(returns))
            {
                return std::nullopt;
            }
            for (std::uint64_t i = 0; i < count; ++i)
            {
                ++stats.returnNumbers[returns[i] & 0x0Fu];
            }
        }
        {
            const auto classes = file.ReadClassifications(progress, &notifier);
            if (failed(classes))
            {
                return std::nullopt;
            }
            for (std::uint64_t i = 0; i < count; ++i)
            {
                ++stats.classifications[classes[i]];
            }
        }
        {
            const auto intensities = file.ReadIntensities(progress, &notifier);
            if (failed(intensities))
            {
                return std::nullopt;
            }
            if (count > 0)
            {
                const auto [low, high] =
                    std::minmax_element(intensities.get(), intensities.get() + count);
                stats.intensityMin = *low;
                stats.intensityMax = *high;
            }
        }
        {
            // In degrees: the ranks of formats 0 to 5 exactly, the 16-bit angles of 6 to 10 (up
            // to 180 degrees, more than a rank holds) rounded to whole degrees.
            const auto angles = file.ReadScanAngles(progress, &notifier);
            if (failed(angles))
            {
                return std::nullopt;
            }
            stats.absScanAngleMin = INT_MAX;
            stats.absScanAngleMax = 0;
            for (std::uint64_t i = 0; i < count; ++i)
            {
                const auto magnitude = static_cast<int>(std::abs(std::lround(angles[i])));
                stats.absScanAngleMin = std::min(stats.absScanAngleMin, magnitude);
                stats.absScanAngleMax = std::max(stats.absScanAngleMax, magnitude);
            }
            if (count == 0)
            {
                stats.absScanAngleMin = 0;
            }
        }
    }
    catch (const std::exception& error)
    {
        diagnostics.push_back(error.what());
        return std::nullopt;
    }
    return stats;
}

std::string OutOfRangeMessage(std::string_view what, std::uint64_t index, std::uint32_t recordCount,
                              std::string_view name)
{
    if (recordCount == 0)
    {
        return fmt::format("{} {} is out of range: {} declares no point records", what, index,
                           name);
    }
    return fmt::format("{} {} is out of range: {} declares {} point records (indices 0 to {})",
                       what, index, name, recordCount, recordCount - 1);
}

} // namespace

std::string FixedText(const char* text, std::size_t width)
{
    std::string utf8;
    for (std::size_t i = 0; i < width && text[i] != '\0'; ++i)
    {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80)
        {
            utf8 += static_cast<char>(byte);
        }
        else
        {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

Json DescribeHeader(const LasHeader& header, FieldForm form)
{
    Json json = Json::object();
    json["File Signature"] = FieldText(header.fileSignature, form);
    json["File Source ID"] = header.fileSourceId;
    json["Global Encoding"] = header.globalEncoding;
    json["Project ID - GUID data 1"] = header.guidData1;
    json["Project ID - GUID data 2"] = header.guidData2;
    json["Project ID - GUID data 3"] = header.guidData3;
    json["Project ID - GUID data 4"] = NumberArray(header.guidData4);
    json["Version Major"] = static_cast<unsigned>(header.versionMajor);
    json["Version Minor"] = static_cast<unsigned>(header.versionMinor);
    json["System Identifier"] = FieldText(header.systemIdentifier, form);
    json["Generating Software"] = FieldText(header.generatingSoftware, form);
    json["File Creation Day of Year"] = header.fileCreationDayOfYear;
    json["File Creation Year"] = header.fileCreationYear;
    json["Header Size"] = header.headerSize;
    json["Offset to point data"] = header.offsetToPointData;
    json["Number of Variable Length Records"] = header.numberOfVariableLengthRecords;
    json["Point Data Format ID"] = static_cast<unsigned>(header.pointDataFormatId);
    json["Point Data Record Length"] = header.pointDataRecordLength;
    json["Number of point records"] = header.numberOfPointRecords;
    json["Number of points by return"] = NumberArray(header.numberOfPointsByReturn);
    json["X scale factor"] = header.xScaleFactor;
    json["Y scale factor"] = header.yScaleFactor;
    json["Z scale factor"] = header.zScaleFactor;
    json["X offset value"] = header.xOffset;
    json["Y offset value"] = header.yOffset;
    json["Z offset value"] = header.zOffset;
    json["Max X coordinate"] = header.maxX;
    json["Min X coordinate"] = header.minX;
    json["Max Y coordinate"] = header.maxY;
    json["Min Y coordinate"] = header.minY;
    json["Max Z coordinate"] = header.maxZ;
    json["Min Z coordinate"] = header.minZ;
    if (HoldsFieldsUpTo(header, LasHeader::kImageSize13))
    {
        json["Start of Waveform Data Packet Record"] = header.startOfWaveformDataPacketRecord;
    }
    if (HoldsFieldsUpTo(header, LasHeader::kImageSize14))
    {
        json["Start of first Extended Variable Length Record"] = header.startOfFirstExtendedVlr;
        json["Number of Extended Variable Length Records"] = header.numberOfExtendedVlrs;
        json["Number of point records (64-bit)"] = header.extendedNumberOfPointRecords;
        json["Number of points by return (64-bit)"] =
            NumberArray(header.extendedNumberOfPointsByReturn);
    }
    return json;
}

Json DescribeVlr(const LasVlrHeader& vlr, FieldForm form)
{
    Json json = Json::object();
    json["Reserved"] = vlr.reserved;
    json["User ID"] = FieldText(vlr.userId, form);
    json["Record ID"] = vlr.recordId;
    json["Record Length After Header"] = vlr.recordLengthAfterHeader;
    json["Description"] = FieldText(vlr.description, form);
    return json;
}

Json DescribeEvlr(const LasEvlrHeader& evlr, FieldForm form)
{
    Json json = Json::object();
    json["Reserved"] = evlr.reserved;
    json["User ID"] = FieldText(evlr.userId, form);
    json["Record ID"] = evlr.recordId;
    json["Record Length After Header"] = evlr.recordLengthAfterHeader;
    json["Description"] = FieldText(evlr.description, form);
    return json;
}

Json DescribePoint(const LasHeader& header, std::uint32_t index, const LASPoint& point)
{
    Json json = Json::object();
    json["Index"] = index;
    json["X"] = point.GetX();
    json["Y"] = point.GetY();
    json["Z"] = point.GetZ();
    json["x"] = static_cast<double>(point.GetX()) * header.xScaleFactor + header.xOffset;
    json["y"] = static_cast<double>(point.GetY()) * header.yScaleFactor + header.yOffset;
    json["z"] = static_cast<double>(point.GetZ()) * header.zScaleFactor + header.zOffset;
    json["Intensity"] = point.GetIntensity();
    json["Return Number"] = static_cast<unsigned>(point.GetReturnNumber());
    json["Number of Returns"] = static_cast<unsigned>(point.GetNumberOfReturns());
    json["Scan Direction Flag"] = static_cast<unsigned>(point.GetScanDirectionFlag());
    json["Edge of Flight Line"] = static_cast<unsigned>(point.GetEdgeOfFlightLine());
    json["Classification"] = static_cast<unsigned>(point.GetClassification());
    const LasFormatLayout layout = FormatLayout(static_cast<unsigned>(point.GetFormat()));
    // Formats 6 to 10: their angle rounded to whole degrees, up to 180, which a rank's 8 bits
    // would cut at 127.
    json["Scan Angle Rank"] = layout.extended
                                  ? static_cast<int>(std::lround(point.GetScanAngleDegrees()))
                                  : static_cast<int>(point.GetScanAngleRank());
    json["User Data"] = static_cast<unsigned>(point.GetUserData());
    json["Point Source ID"] = point.GetPointSourceID();
    json["GPS Time"] = point.GetGPSTime();
    json["Red"] = point.GetRed();
    json["Green"] = point.GetGreen();
    json["Blue"] = point.GetBlue();
    if (layout.extended)
    {
        const unsigned flags = point.GetClassificationFlags();
        json["Synthetic"] = flags & 1u;
        json["Key-point"] = (flags >> 1) & 1u;
        json["Withheld"] = (flags >> 2) & 1u;
        json["Overlap"] = (flags >> 3) & 1u;
        json["Scanner Channel"] = static_cast<unsigned>(point.GetScannerChannel());
        const int angle = point.GetScanAngle();
        json["Scan Angle"] = angle;
        // 6 / 1000 rather than 0.006: the quotient of two exact numbers is the double nearest the
        // decimal angle, which prints as that decimal (0.006, not 0.006000000000000001).
        json["Scan Angle (degrees)"] = angle * 6 / 1000.0;
    }
    if (layout.nir >= 0)
    {
        json["NIR"] = point.GetNIR();
    }
    if (layout.wavePacket >= 0)
    {
        json["Wave Packet Descriptor Index"] =
            static_cast<unsigned>(point.GetWavePacketDescriptorIndex());
        json["Byte offset to waveform data"] = point.GetWaveformDataOffset();
        json["Waveform packet size in bytes"] = point.GetWaveformPacketSize();
        json["Return Point Waveform Location"] = FloatValue(point.GetReturnPointWaveformLocation());
        json["X(t)"] = FloatValue(point.GetWaveXt());
        json["Y(t)"] = FloatValue(point.GetWaveYt());
        json["Z(t)"] = FloatValue(point.GetWaveZt());
    }
    return json;
}

std::string RefusalLine(const char* text, const std::string& reason)
{
    return reason.empty() ? std::string(text) : fmt::format("{} ({})", text, reason);
}

Json DescribeStats(const PointStats& stats)
{
    const bool any = stats.records > 0;
    Json json = Json::object();
    json["Records"] = stats.records;
    for (std::size_t axis = 0; axis < 3; ++axis)
    {
        // The float widened to double is exact, so the JSON parses back to the very float.
        json[kBoundKeys[2 * axis]] = any ? Json(static_cast<double>(stats.min[axis])) : Json();
        json[kBoundKeys[2 * axis + 1]] = any ? Json(static_cast<double>(stats.max[axis])) : Json();
    }
    json["Points by return number"] = std::vector<std::uint64_t>(
        stats.returnNumbers.begin(),
        stats.returnNumbers.begin() + static_cast<std::ptrdiff_t>(stats.returnSlots));
    Json classes = Json::object();
    for (std::size_t value = 0; value < stats.classifications.size(); ++value)
    {
        if (stats.classifications[value] != 0)
        {
            classes[fmt::format("{}", value)] = stats.classifications[value];
        }
    }
    json["Classification histogram"] = std::move(classes);
    json["Min Intensity"] = any ? Json(stats.intensityMin) : Json();
    json["Max Intensity"] = any ? Json(stats.intensityMax) : Json();
    json["Min |Scan Angle Rank|"] = any ? Json(stats.absScanAngleMin) : Json();
    json["Max |Scan Angle Rank|"] = any ? Json(stats.absScanAngleMax) : Json();
    return json;
}

InfoReport BuildInfoReport(const std::string& path, bool withStats, AttributeProgress* progress)
{
    CLasFile file;
    file.SetPath(path.c_str());
    InfoReport report;
    try
    {
        file.ReadCheckedHeader();
    }
    catch (const CLasException& refusal)
    {
        // The fields of a refused file are what a user needs to see why; but a file that is
        // too short for a header, or is no LAS file at all, has no fields worth showing.
        try
        {
            file.ReadHeader();
        }
        catch (const CLasException&)
        {
            throw refusal;
        }
        if (std::memcmp(file.header->fileSignature, "LASF", 4) != 0)
        {
            throw refusal;
        }
        report.verdict = {refusal.GetErrorText(), refusal.GetDetail()};
        report.diagnostics.push_back(RefusalLine(refusal.GetErrorText(), refusal.GetDetail()));
    }
    report.header = *file.header;
    report.statsRequested = withStats;
    // The table lies before the point block and says nothing about it, so the records are read
    // even when the table is damaged; but not those of a file the viewer refuses, whose records
    // are missing or in a form that is not read.
    ReadVlrs(file, report);
    ReadEvlrs(file, report);
    if (withStats && report.verdict)
    {
        report.stats = CollectStats(file, progress, report.diagnostics);
    }
    return report;
}

Json InfoToJson(const InfoReport& report)
{
    Json json = DescribeHeader(report.header);
    json["readable"] = static_cast<bool>(report.verdict);
    json["reason"] = report.verdict ? Json() : Json(report.verdict.reason);
    json["vlrs_declared"] = report.vlrsDeclared;
    // null, not an empty list: "no records" and "could not be read" must stay apart.
    if (report.vlrs.has_value())
    {
        Json vlrs = Json::array();
        for (const LasVlrHeader& vlr : *report.vlrs)
        {
            vlrs.push_back(DescribeVlr(vlr));
        }
        json["vlrs_found"] = report.vlrs->size();
        json["vlrs"] = std::move(vlrs);
    }
    else
    {
        json["vlrs_found"] = nullptr;
        json["vlrs"] = nullptr;
    }
    if (report.evlrsLaidOut)
    {
        json["evlrs_declared"] = report.header.numberOfExtendedVlrs;
        json["evlrs_found"] = report.evlrs.has_value() ? Json(report.evlrs->size()) : Json();
        Json evlrs = report.evlrs.has_value() ? Json::array() : Json();
        if (report.evlrs.has_value())
        {
            for (const LasEvlrHeader& evlr : *report.evlrs)
            {
                evlrs.push_back(DescribeEvlr(evlr));
            }
        }
        json["evlrs"] = std::move(evlrs);
    }
    if (report.statsRequested)
    {
        json["stats"] = report.stats.has_value() ? DescribeStats(*report.stats) : Json();
    }
    return json;
}

std::string InfoToText(const InfoReport& report)
{
    std::string text;
    AppendFields(text, DescribeHeader(report.header, FieldForm::Terminal), "");
    text += report.verdict
                ? std::string("Readable: yes\n")
                : fmt::format("Readable: no ({})\n", TerminalText(report.verdict.reason));
    if (!report.vlrs.has_value())
    {
        text += "Variable Length Records: could not be read\n";
    }
    else
    {
        const std::size_t count = report.vlrs->size();
        if (count < report.vlrsDeclared)
        {
            text += fmt::format("Variable Length Records: {} of {} declared found\n", count,
                                report.vlrsDeclared);
        }
        for (std::size_t i = 0; i < count; ++i)
        {
            text += fmt::format("Variable Length Record {} of {}:\n", i + 1, count);
            AppendFields(text, DescribeVlr((*report.vlrs)[i], FieldForm::Terminal), "  ");
        }
    }
    if (report.evlrsLaidOut && !report.evlrs.has_value())
    {
        text += "Extended Variable Length Records: could not be read\n";
    }
    else if (report.evlrsLaidOut)
    {
        const std::size_t count = report.evlrs->size();
        if (count < report.header.numberOfExtendedVlrs)
        {
            text += fmt::format("Extended Variable Length Records: {} of {} declared found\n",
                                count, report.header.numberOfExtendedVlrs);
        }
        for (std::size_t i = 0; i < count; ++i)
        {
            text += fmt::format("Extended Variable Length Record {} of {}:\n", i + 1, count);
            AppendFields(text, DescribeEvlr((*report.evlrs)[i], FieldForm::Terminal), "  ");
        }
    }
    if (report.statsRequested)
    {
        if (!report.stats.has_value())
        {
            text += "Point record statistics: could not be read\n";
        }
        else
        {
            text += "Point record statistics:\n";
            Json stats = DescribeStats(*report.stats);
            ShortenFloats(stats, kBoundKeys, std::size(kBoundKeys));
            AppendFields(text, stats, "  ");
        }
    }
    return text;
}

int RunInfo(const std::string& path, const InfoOptions& options, std::ostream& out,
            std::ostream& err, AttributeProgress* progress)
{
    InfoReport report;
    try
    {
        report = BuildInfoReport(path, options.stats, progress);
    }
    catch (const CLasException& error)
    {
        WriteLine(err, RefusalLine(error.GetErrorText(), error.GetDetail()));
        return kExitFailure;
    }
    catch (const std::exception& error)
    {
        WriteLine(err, error.what());
        return kExitFailure;
    }
    out << (options.json ? Dump(InfoToJson(report), 2) + "\n" : InfoToText(report));
    out.flush();
    for (const std::string& line : report.diagnostics)
    {
        WriteLine(err, line);
    }
    for (const std::string& line : report.warnings)
    {
        WriteLine(err, line);
    }
    return report.diagnostics.empty() ? kExitOk : kExitFailure;
}

ResolvedSelection ResolveSelection(const PointSelection& selection, std::uint32_t recordCount,
                                   std::string_view name)
{
    ResolvedSelection result;
    for (const std::uint32_t index : selection.indices)
    {
        if (index >= recordCount)
        {
            result.spans.clear();
            result.error = OutOfRangeMessage("Record index", index, recordCount, name);
            return result;
        }
        result.spans.push_back({index, std::uint64_t{index} + 1});
    }
    if (selection.first.has_value() || selection.count.has_value())
    {
        const std::uint64_t begin = selection.first.value_or(0);
        if (selection.first.has_value() && begin >= recordCount)
        {
            result.spans.clear();
            result.error = OutOfRangeMessage("First record", begin, recordCount, name);
            return result;
        }
        const std::uint64_t end = std::min<std::uint64_t>(
            begin + selection.count.value_or(kDefaultPointCount), recordCount);
        if (begin < end)
        {
            result.spans.push_back({begin, end});
        }
    }
    else if (selection.indices.empty() && recordCount > 0)
    {
        result.spans.push_back({0, std::min(kDefaultPointCount, recordCount)});
    }
    return result;
}

int RunPoints(const std::string& path, const PointSelection& selection, bool json,
              std::ostream& out, std::ostream& err)
{
    CLasFile file;
    file.SetPath(path.c_str());
    try
    {
        // The viewer's check: what it refuses is not listed either.
        file.ReadCheckedHeader();
    }
    catch (const CLasException& error)
    {
        WriteLine(err, RefusalLine(error.GetErrorText(), error.GetDetail()));
        return kExitFailure;
    }
    const LasHeader& header = *file.header;
    // The check refuses files whose count does not fit 32 bits.
    const ResolvedSelection resolved =
        ResolveSelection(selection, static_cast<std::uint32_t>(PointCount(header)), path);
    if (!resolved.error.empty())
    {
        WriteLine(err, resolved.error);
        return kExitFailure;
    }

    bool firstRecord = true;
    // Each record is printed as soon as it is read; the first failure ends the listing.
    auto list = [&]() -> std::string
    {
        for (const IndexSpan& span : resolved.spans)
        {
            for (std::uint64_t index = span.begin; index < span.end; ++index)
            {
                const auto at = static_cast<std::uint32_t>(index);
                std::unique_ptr<LASPoint> point;
                try
                {
                    point.reset(file.ReadPoint(at));
                }
                catch (const CLasException& error)
                {
                    return fmt::format("{} (record {})",
                                       RefusalLine(error.GetErrorText(), error.GetDetail()), at);
                }
                if (point == nullptr)
                {
                    return fmt::format("Record {} of {} could not be read", at, path);
                }
                Json record = DescribePoint(header, at, *point);
                if (json)
                {
                    // One record per line keeps long listings readable and greppable.
                    out << (firstRecord ? "\n" : ",\n") << Dump(record, -1);
                }
                else
                {
                    std::string text = firstRecord ? "" : "\n";
                    ShortenFloats(record, kFloatPointKeys, std::size(kFloatPointKeys));
                    AppendFields(text, record, "");
                    out << text;
                }
                firstRecord = false;
            }
        }
        return {};
    };

    std::string failure;
    if (json)
    {
        out << '[';
    }
    try
    {
        failure = list();
    }
    catch (const std::exception& error)
    {
        failure = error.what();
    }
    if (json)
    {
        out << (firstRecord ? "]\n" : "\n]\n");
    }
    out.flush();
    if (!failure.empty())
    {
        WriteLine(err, failure);
        return kExitFailure;
    }
    return kExitOk;
}

std::optional<std::uint32_t> ParseIndex(std::string_view text)
{
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end)
    {
        return std::nullopt;
    }
    return value;
}

PercentProgress::PercentProgress(std::ostream* output)
    : sink(output)
{
}

void PercentProgress::SetStatusText(const std::string& text)
{
    label = text;
}

void PercentProgress::SetProgressRange(int newLower, int newUpper)
{
    lower = newLower;
    upper = std::max(newLower, newUpper);
}

void PercentProgress::SetProgressPos(int pos)
{
    position = std::clamp(pos, lower, upper);
    if (sink == nullptr)
    {
        return;
    }
    if (pos == 0)
    {
        if (shownPercent >= 0)
        {
            *sink << '\r' << std::string(label.size() + 8, ' ') << '\r' << std::flush;
            shownPercent = -1;
        }
        return;
    }
    const int span = upper - lower;
    const int percent = span > 0 ? (position - lower) * 100 / span : 100;
    if (percent != shownPercent)
    {
        shownPercent = percent;
        *sink << fmt::format("\r{}: {}%", label, percent) << std::flush;
    }
}

} // namespace telvora::lascli

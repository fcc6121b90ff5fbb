#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/StatusServices.h"
#include "las/LASPoint.h"
#include "las/LasFileCheck.h"
#include "las/LasHeader.h"

// What telvora-las prints, kept apart from its command line so that tests can run every command
// in-process. Reports are built as JSON objects whose keys are the field names shown to the user;
// the text form is rendered from the same objects, so both forms always agree on names and order.
// Numbers are formatted by fmt and nlohmann only, never through iostreams or printf, which would
// follow the process locale (decimal commas, thousands separators).
namespace telvora::lascli
{

// Insertion order matters: fields are listed in file order.
using Json = nlohmann::ordered_json;

inline constexpr int kExitOk = 0;
// The file, or part of it, could not be read; whatever could be read has still been printed.
inline constexpr int kExitFailure = 1;
// The command line itself is wrong.
inline constexpr int kExitUsage = 2;

// Records listed by `points` when neither indices nor a range are given.
inline constexpr std::uint32_t kDefaultPointCount = 10;

// A fixed-width text field up to its first NUL. The bytes are taken as Latin-1 and returned as
// UTF-8, so that any header, however odd, still gives valid JSON.
std::string FixedText(const char* text, std::size_t width);

// How the fixed-width text fields are given: as UTF-8 for JSON (FixedText), or made safe for a
// terminal (common/TerminalText.h, the bytes taken as Latin-1) for the text reports.
enum class FieldForm
{
    Utf8,
    Terminal,
};

Json DescribeHeader(const LasHeader& header, FieldForm form = FieldForm::Utf8);
Json DescribeVlr(const LasVlrHeader& vlr, FieldForm form = FieldForm::Utf8);
// The same keys as a VLR's; the length after the header is 64 bits wide.
Json DescribeEvlr(const LasEvlrHeader& evlr, FieldForm form = FieldForm::Utf8);
// Scaled coordinates are computed in double from the raw integers; the viewer's float positions
// would hide digits of large coordinates. The fields every format shares come first, in every
// format (Scan Angle Rank of formats 6 to 10 is their angle rounded to whole degrees); then those
// of the record's own format: flags, scanner channel and 16-bit scan angle for 6 to 10, NIR for 8
// and 10, the wave packet for 4, 5, 9 and 10.
Json DescribePoint(const LasHeader& header, std::uint32_t index, const LASPoint& point);

// A refusal as the tool writes it to the error output: the fixed message text, then the reason in
// brackets, as the viewer shows them together.
std::string RefusalLine(const char* text, const std::string& reason);

// What the point records really hold, as opposed to what the header claims.
struct PointStats
{
    std::uint64_t records = 0;
    // Bounds of the float positions the viewer works with, not of the exact doubles; meaningful
    // only when records is not 0.
    std::array<float, 3> min{};
    std::array<float, 3> max{};
    // Return numbers have 3 bits in formats 0 to 5 and 4 bits in 6 to 10: 8 or 16 slots.
    std::size_t returnSlots = 8;
    std::array<std::uint64_t, 16> returnNumbers{};
    std::array<std::uint64_t, 256> classifications{};
    std::uint16_t intensityMin = 0;
    std::uint16_t intensityMax = 0;
    // Scan angles in whole degrees: the rank of formats 0 to 5, the 16-bit angle of 6 to 10
    // rounded.
    int absScanAngleMin = 0;
    int absScanAngleMax = 0;
};

Json DescribeStats(const PointStats& stats);

struct InfoReport
{
    LasHeader header;
    // The viewer's verdict on the file: the same check, so that the tool and the viewer agree on
    // what can be opened.
    LasFileVerdict verdict;
    // None when the table could not be read. Real files declare more records than their block
    // holds: the records found are those that lie wholly inside it.
    std::optional<std::vector<LasVlrHeader>> vlrs;
    std::uint32_t vlrsDeclared = 0;
    // Set for headers that lay out the extended VLR fields (LAS 1.4). The extended VLRs as far as
    // the file holds them whole, walked from Start of first Extended Variable Length Record; none
    // when they could not be read.
    bool evlrsLaidOut = false;
    std::optional<std::vector<LasEvlrHeader>> evlrs;
    bool statsRequested = false;
    // None when not requested or when the records could not be read.
    std::optional<PointStats> stats;
    // Lines for the error output, in the order the problems were met.
    std::vector<std::string> diagnostics;
    // Lines for the error output about what was read all the same; they do not fail the run.
    std::vector<std::string> warnings;
};

// Reads the header, the VLR table and, when asked, every record. Throws CLasException, with the
// viewer's reason as its detail, only when there is no header to report: the file cannot be
// opened, is shorter than a header or is not a LAS file. A file the viewer refuses still has its
// header and VLRs reported, with the refusal as the first diagnostic; its records are not read.
// Every later failure lands in diagnostics and leaves its part of the report empty, so that a
// damaged VLR table never hides what could be read.
InfoReport BuildInfoReport(const std::string& path, bool withStats, AttributeProgress* progress);

// The header fields under their names (those LAS 1.3 and 1.4 add where the header holds them),
// then "readable" (the verdict) and "reason" (why not, or null), "vlrs": a list, or null when the
// table could not be read, for LAS 1.4 files "evlrs_declared", "evlrs_found" and "evlrs", and,
// when statistics were asked for, "stats": null when the records could not be read.
Json InfoToJson(const InfoReport& report);
// The same in "Name: value" lines; a part that could not be read says so in one line. Text
// from the file is made safe for a terminal.
std::string InfoToText(const InfoReport& report);

struct InfoOptions
{
    bool json = false;
    bool stats = false;
};

// The `info` command: the report on out, diagnostics on err, both safe for a terminal (JSON is
// escaped as JSON). kExitFailure when anything could not be read.
int RunInfo(const std::string& path, const InfoOptions& options, std::ostream& out,
            std::ostream& err, AttributeProgress* progress = nullptr);

// Which records `points` lists: the explicit indices in the order given, then the range.
struct PointSelection
{
    std::vector<std::uint32_t> indices;
    std::optional<std::uint32_t> first;
    std::optional<std::uint32_t> count;
};

// A run of consecutive record indices [begin, end).
struct IndexSpan
{
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
};

struct ResolvedSelection
{
    std::vector<IndexSpan> spans;
    // Set when the selection names a record the file does not declare; spans are then empty.
    std::string error;
};

// An explicit index past the last record is an error. A range is cut at the last record, like
// `head`, but one that starts past it is an error. Without indices or range: the first
// kDefaultPointCount records, or all of them when the file has fewer. The error names the file
// as `name`.
ResolvedSelection ResolveSelection(const PointSelection& selection, std::uint32_t recordCount,
                                   std::string_view name = "the file");

// The `points` command. A file the viewer refuses lists nothing. Records are written as they are
// read, so a read error stops the listing at the failing record; the JSON array is closed all the
// same.
int RunPoints(const std::string& path, const PointSelection& selection, bool json,
              std::ostream& out, std::ostream& err);

// A record index or count as typed on the command line: decimal digits only, up to 2^32 - 1.
std::optional<std::uint32_t> ParseIndex(std::string_view text);

// Reports the attribute readers' progress as a percentage on a terminal. Silent without a sink,
// and the line is wiped when the position returns to 0, as the main window hides its bar.
class PercentProgress final : public AttributeProgress
{
public:
    explicit PercentProgress(std::ostream* sink);

    void SetStatusText(const std::string& text) override;
    void SetProgressRange(int lower, int upper) override;
    int GetProgressPos() const override { return position; }
    void SetProgressPos(int pos) override;

private:
    std::ostream* sink;
    std::string label;
    int lower = 0;
    int upper = 100;
    int position = 0;
    int shownPercent = -1;
};

} // namespace telvora::lascli

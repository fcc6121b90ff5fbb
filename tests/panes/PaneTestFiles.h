#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "TestData.h"
#include "scene/LasFileSet.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace telvora::test
{

// The real LAS files beside the repository and their reference values.
std::string RealFile(const std::string& name);
// The reference JSON of a real file; an empty object when it is missing.
nlohmann::json Reference(const std::string& name);
bool HaveRealFiles();

// A set of the files, their headers read as they are (without the checks that Open applies), as
// the main window hands over a loaded set.
std::unique_ptr<CLasFileSet> SetOf(const std::vector<std::string>& paths);

// Little-endian stores into a byte image, written from the LAS layouts, independently of the
// reader and writer under test.
void PutU16(std::vector<unsigned char>& bytes, std::size_t at, std::uint16_t value);
void PutU32(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t value);
void PutF64(std::vector<unsigned char>& bytes, std::size_t at, double value);
void PutText(std::vector<unsigned char>& bytes, std::size_t at, const std::string& text);

// A 227-byte LAS 1.2 public header with the given layout; scale 0.01 and offsets 0 unless set
// afterwards (scale at byte 131, offset at 155).
std::vector<unsigned char> HeaderImage(std::uint8_t format, std::uint16_t recordLength,
                                       std::uint32_t pointCount, std::uint32_t vlrCount,
                                       std::uint32_t offsetToPointData);
// A variable length record: its 54-byte header and data.
std::vector<unsigned char> VlrImage(const std::string& userId, std::uint16_t recordId,
                                    const std::string& description,
                                    const std::vector<unsigned char>& data);

// The item reached from the top level through the names, or none.
QTreeWidgetItem* ItemAt(const QTreeWidget* tree, const QStringList& names);
// The names of the items at the top level that are not hidden, in order.
QStringList ShownTopNames(const QTreeWidget* tree);

// A fixed-width text as the panes must show it: up to the first NUL, printable ASCII as it is,
// every other byte as \xNN.
QString Escaped(const unsigned char* bytes, std::size_t width);
// "%f" in the C locale, through std::to_chars.
QString Fixed6(double value);

} // namespace telvora::test

// Leaves a Qt test whose real input is missing: a failure when CI is set, a skip otherwise.
#define TELVORA_REQUIRE_REAL_FILES()                                                               \
    do                                                                                             \
    {                                                                                              \
        if (!::telvora::test::HaveRealFiles())                                                     \
        {                                                                                          \
            TELVORA_QT_MISSING_TEST_INPUT("the real LAS files are missing");                       \
        }                                                                                          \
    } while (false)

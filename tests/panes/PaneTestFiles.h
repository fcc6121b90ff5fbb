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

#pragma once

#include <vector>

namespace telvora
{

class CPropertyGrid;
class CPropertyRow;
struct LasHeader;

// The "Header" group of the file properties pane: the 43 fields of the LAS 1.0 to 1.2 public
// header in ten groups, under the field names and explanations of the LAS format, in file order.
class CHeaderRows
{
public:
    // Adds the group to the grid, hidden, with every value empty.
    explicit CHeaderRows(CPropertyGrid& grid);

    CPropertyRow* GetGroup() const { return group; }
    // Every row receives its field of the header; every row becomes empty without one.
    void Show(const LasHeader* header);

private:
    CPropertyGrid& grid;
    CPropertyRow* group = nullptr;
    // The value rows in file order.
    std::vector<CPropertyRow*> rows;
};

} // namespace telvora

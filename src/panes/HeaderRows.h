#pragma once

#include <vector>

namespace telvora
{

class CPropertyGrid;
class CPropertyRow;
struct LasHeader;

// The "Header" group of the file properties pane: the 43 fields of the LAS 1.0 to 1.2 public
// header in ten groups, under the field names and explanations of the LAS format, in file order,
// then the field LAS 1.3 appends and the 19 of LAS 1.4. The rows of fields that the shown file's
// version does not lay out are hidden, so that no zero passes for a value the file never held.
class CHeaderRows
{
public:
    // Adds the group to the grid, hidden, with every value empty.
    explicit CHeaderRows(CPropertyGrid& grid);

    CPropertyRow* GetGroup() const { return group; }
    // Every row receives its field of the header; every row becomes empty without one.
    void Show(const LasHeader* header);

private:
    // The LAS 1.3 and 1.4 fields: values and shown as far as the header's version lays them out.
    void ShowLaterFields(const LasHeader* header);

    CPropertyGrid& grid;
    CPropertyRow* group = nullptr;
    // The value rows of the first 227 bytes in file order.
    std::vector<CPropertyRow*> rows;
    // LAS 1.3: Start of Waveform Data Packet Record.
    CPropertyRow* waveformStart = nullptr;
    // LAS 1.4: the rows in the Header group (hidden together), and the value rows in file order.
    std::vector<CPropertyRow*> version14Rows;
    std::vector<CPropertyRow*> version14Values;
};

} // namespace telvora

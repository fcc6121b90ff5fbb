#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "panes/PropertyRow.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace telvora
{

class CPropertyDelegate;
class CPropertyDescription;

// A property grid: rows of names and values under a "Property"/"Value" header, in collapsible
// groups, with a description area beneath that names the selected row and explains it. Values
// that differ from the value a row was made with are drawn bold. The grid shows its rows either
// grouped (the tree as built) or alphabetically: then plain groups step aside and every row they
// hold stands on its own, sorted by name; value lists stay rows, with their items beneath them.
// Ctrl+C copies the selected rows as "name<TAB>value" lines.
//
// The grid owns every row added to it. Row pointers stay valid until the row (or a group around
// it) is removed or the grid is destroyed.
class CPropertyGrid : public QWidget
{
    Q_OBJECT

public:
    explicit CPropertyGrid(QWidget* parent = nullptr);
    ~CPropertyGrid() override;
    CPropertyGrid(const CPropertyGrid&) = delete;
    CPropertyGrid& operator=(const CPropertyGrid&) = delete;

    // Appends the row (with everything it holds) to the group, or at the top level when group is
    // none. Returns the row.
    CPropertyRow* AddRow(std::unique_ptr<CPropertyRow> row, CPropertyRow* group = nullptr);
    // Removes the row from the grid and deletes it with everything it holds.
    void RemoveRow(CPropertyRow* row);
    const std::vector<std::unique_ptr<CPropertyRow>>& GetTopRows() const { return topRows; }

    // Sets a text or choice row's value without telling anyone: the program's own update.
    void SetValue(CPropertyRow* row, const QString& text);
    // Sets a whole-number row's value, kept within its range, without telling anyone.
    void SetInteger(CPropertyRow* row, int value);
    void SetHidden(CPropertyRow* row, bool hidden);
    void SetEnabled(CPropertyRow* row, bool enabled);
    void SetExpanded(CPropertyRow* row, bool expanded);
    void ExpandAll();

    void SetAlphabetical(bool alphabetical);
    bool IsAlphabetical() const { return alphabetical; }

    // The selected rows that are shown, top to bottom, one "name<TAB>value" line each, joined by
    // "\n"; a group gives its own line. The text is also put on the clipboard.
    QString CopySelection();

    // The row shown in the description area, or none.
    const CPropertyRow* GetDescribedRow() const { return describedRow; }
    // The tree, for the panes' and tests' use: selection, accessibility, editors.
    QTreeWidget* GetTree() const { return tree; }
    // The row an item of the tree shows, or none.
    static CPropertyRow* RowOf(const QTreeWidgetItem* item);

signals:
    // The user picked a text from a drop-down row's list; the row holds it already.
    void choiceSelected(telvora::CPropertyRow* row, const QString& text);
    // The user changed a whole-number row; the row holds the new value already.
    void integerChanged(telvora::CPropertyRow* row, int value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnChoiceCommitted(CPropertyRow* row, const QString& text);
    void OnIntegerCommitted(CPropertyRow* row, int value);
    void Describe(const CPropertyRow* row);

    // Makes tree items for the row and everything under it that shows beneath it in the current
    // order.
    QTreeWidgetItem* MakeItems(CPropertyRow* row);
    // Drops every item and makes them again in the current order; keep becomes the current row
    // again when it is still shown.
    void Rebuild(const CPropertyRow* keep);
    // Hidden, expanded, enabled and bold states of the row's items and those under it.
    void ApplyState(CPropertyRow* row);
    void ShowValue(CPropertyRow* row);
    // Redraws a changed value and every value list around it that joins it.
    void ValueChanged(CPropertyRow* row);

    QTreeWidget* tree = nullptr;
    CPropertyDelegate* delegate = nullptr;
    CPropertyDescription* description = nullptr;
    std::vector<std::unique_ptr<CPropertyRow>> topRows;
    const CPropertyRow* describedRow = nullptr;
    bool alphabetical = false;
    bool namesSizedByUser = false;
    bool sizingNames = false;
};

} // namespace telvora

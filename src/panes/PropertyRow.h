#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QTreeWidgetItem;

namespace telvora
{

class CPropertyGrid;

// One row of a property grid: a group, which holds rows, or a value row of one of four kinds.
// A row is built on its own (with its children) and handed to a grid, which owns it from then
// on; everything that changes a row in a grid goes through the grid, so that what is drawn
// follows. The grid rebuilds its tree items from these rows whenever its order changes, so the
// rows, not the items, hold names, values and state.
class CPropertyRow
{
public:
    enum class Kind
    {
        // Holds rows. A value list shows its rows' values, joined, in its own value cell.
        Group,
        // A read-only text.
        Text,
        // A text chosen from a list of options.
        Choice,
        // A whole number between a minimum and a maximum.
        Integer,
        // A colour swatch with its components; never editable.
        Color,
    };

    static std::unique_ptr<CPropertyRow>
    MakeGroup(const QString& name, const QString& description = QString(), bool valueList = false);
    // The value a row is made with is drawn plain; only values that differ from it are bold.
    static std::unique_ptr<CPropertyRow> MakeText(const QString& name,
                                                  const QString& description = QString(),
                                                  const QString& value = QString());
    static std::unique_ptr<CPropertyRow> MakeChoice(const QString& name, const QString& description,
                                                    const QStringList& options);
    static std::unique_ptr<CPropertyRow> MakeInteger(const QString& name,
                                                     const QString& description, int value,
                                                     int minimum, int maximum);
    // Disabled from the start: a colour row is a legend entry.
    static std::unique_ptr<CPropertyRow> MakeColor(const QString& name, const QString& description,
                                                   const QColor& color);

    ~CPropertyRow();
    CPropertyRow(const CPropertyRow&) = delete;
    CPropertyRow& operator=(const CPropertyRow&) = delete;

    // Appends a child to a group that is not in a grid yet (a group in a grid takes children
    // through CPropertyGrid::AddRow). Returns the child.
    CPropertyRow* AddChild(std::unique_ptr<CPropertyRow> child);
    // Whether a group not in a grid yet shows open when it is added (later: SetExpanded).
    void SetInitiallyExpanded(bool open) { expanded = open; }

    Kind GetKind() const { return kind; }
    bool IsGroup() const { return kind == Kind::Group; }
    bool IsValueList() const { return valueList; }
    // A plain group has no value of its own; in alphabetical order its rows stand alone.
    bool IsPlainGroup() const { return kind == Kind::Group && !valueList; }
    const QString& GetName() const { return name; }
    const QString& GetDescription() const { return description; }
    // A value list's value is its rows' values joined with ", ", or empty while all are empty.
    QString GetValue() const;
    // Differs from the value it was made with; a value list is modified when one of its rows is.
    bool IsModified() const;
    int GetInteger() const { return integer; }
    int GetMinimum() const { return minimum; }
    int GetMaximum() const { return maximum; }
    const QStringList& GetOptions() const { return options; }
    const QColor& GetColor() const { return color; }
    bool IsHidden() const { return hidden; }
    bool IsEnabled() const { return enabled; }
    bool IsExpanded() const { return expanded; }
    // Hidden itself or inside a hidden group.
    bool IsHiddenWithGroups() const;
    // The row itself or one of the rows it holds, at any depth.
    bool Contains(const CPropertyRow* row) const;
    CPropertyRow* GetParent() const { return parent; }
    const std::vector<std::unique_ptr<CPropertyRow>>& GetChildren() const { return children; }

private:
    friend class CPropertyGrid;

    CPropertyRow(Kind rowKind, const QString& rowName, const QString& rowDescription);

    // The rows that stand on their own in alphabetical order: the row itself, or for a plain
    // group those of every row it holds.
    void CollectStandingRows(std::vector<CPropertyRow*>& out);
    void ForgetItems();

    Kind kind;
    QString name;
    QString description;
    QString value;
    QString initialValue;
    bool valueList = false;
    int integer = 0;
    int minimum = 0;
    int maximum = 0;
    QStringList options;
    QColor color;
    bool hidden = false;
    bool enabled = true;
    // Plain groups open, value lists closed, as a property grid shows them at first.
    bool expanded = false;
    CPropertyRow* parent = nullptr;
    std::vector<std::unique_ptr<CPropertyRow>> children;
    // The tree item that shows the row now; none while the row is not drawn.
    QTreeWidgetItem* item = nullptr;
};

} // namespace telvora

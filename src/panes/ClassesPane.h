#pragma once

#include <QWidget>
#include <array>
#include <cstdint>

#include "scene/PointFilter.h"

class QComboBox;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace telvora
{

// The classes present in the loaded files with their numbers of points, each with a check box
// that shows or hides it, and the return filter. Every change the user makes is emitted as the
// whole filter; the pane knows nothing of the view.
class CClassesWnd : public QWidget
{
    Q_OBJECT

public:
    explicit CClassesWnd(QWidget* parent = nullptr);

    // One row per code with a count above 0, in code order. Codes still present keep their hidden
    // state; a code no longer present is no longer hidden either, so the filter is what the rows
    // show. Emits nothing: the caller applies Filter() to the new scene.
    void SetCounts(const std::array<std::uint64_t, 256>& counts);
    // No rows (the scene is gone); the return filter stays.
    void Clear();
    // Takes the filter as the user's (checks and return choice) and emits it; codes without a row
    // are not hidden.
    void SetFilter(const PointFilter& filter);
    const PointFilter& Filter() const { return filter; }

    QTreeWidget* Rows() const { return rows; }
    QComboBox* Returns() const { return returns; }
    QPushButton* ShowAllButton() const { return showAll; }
    QPushButton* HideAllButton() const { return hideAll; }
    QPushButton* OnlyThisButton() const { return onlyThis; }

    // The row's name: the standard names for codes 0 to 31, "Class N" above.
    static QString ClassName(int code);

signals:
    void filterChanged(const telvora::PointFilter& filter);

private:
    // Hides the codes of hidden that have a row, shows the others, and emits the filter.
    void SetHidden(const std::bitset<256>& hidden);
    void ReadChecks();
    void Emit();
    void ContextMenu(const QPoint& at);

    QTreeWidget* rows = nullptr;
    QComboBox* returns = nullptr;
    QPushButton* showAll = nullptr;
    QPushButton* hideAll = nullptr;
    QPushButton* onlyThis = nullptr;
    PointFilter filter;
    // The codes that have a row.
    std::bitset<256> present;
    bool filling = false;
};

} // namespace telvora

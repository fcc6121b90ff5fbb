#include "panes/PropertyGrid.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QPalette>
#include <QResizeEvent>
#include <QSplitter>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>
#include <algorithm>

#include "panes/PropertyDelegate.h"
#include "panes/PropertyDescription.h"

namespace telvora
{

namespace
{

void SetBold(QTreeWidgetItem* item, int column, bool bold)
{
    if (bold)
    {
        QFont font = item->treeWidget() != nullptr ? item->treeWidget()->font() : QFont();
        font.setBold(true);
        item->setFont(column, font);
    }
    else
    {
        // No font of its own, so that the item follows the grid's font when that changes.
        item->setData(column, Qt::FontRole, QVariant());
    }
}

} // namespace

CPropertyGrid::CPropertyGrid(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setChildrenCollapsible(false);
    layout->addWidget(splitter);

    tree = new QTreeWidget(splitter);
    tree->setObjectName(QStringLiteral("propertyTree"));
    tree->setAccessibleName(QStringLiteral("Properties"));
    tree->setColumnCount(2);
    tree->setHeaderLabels({QStringLiteral("Property"), QStringLiteral("Value")});
    tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    tree->setAllColumnsShowFocus(true);
    tree->setUniformRowHeights(true);
    tree->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::DoubleClicked |
                          QAbstractItemView::EditKeyPressed);
    tree->header()->setSectionResizeMode(0, QHeaderView::Interactive);
    // The names take half the width until the user drags the border: a fixed width would leave
    // no room for the values in a narrow pane.
    connect(tree->header(), &QHeaderView::sectionResized, this,
            [this](int section, int, int)
            {
                // Only a drag counts: the header adjusts its sections on its own as well.
                if (section == 0 && !sizingNames &&
                    QGuiApplication::mouseButtons().testFlag(Qt::LeftButton))
                {
                    namesSizedByUser = true;
                }
            });
    delegate = new CPropertyDelegate(tree);
    tree->setItemDelegate(delegate);
    tree->installEventFilter(this);
    tree->viewport()->installEventFilter(this);
    setFocusProxy(tree);

    description = new CPropertyDescription(splitter);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);

    connect(tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { Describe(RowOf(current)); });
    connect(tree, &QTreeWidget::itemExpanded, this,
            [](QTreeWidgetItem* item)
            {
                if (CPropertyRow* row = RowOf(item))
                {
                    row->expanded = true;
                }
            });
    connect(tree, &QTreeWidget::itemCollapsed, this,
            [](QTreeWidgetItem* item)
            {
                if (CPropertyRow* row = RowOf(item))
                {
                    row->expanded = false;
                }
            });
    connect(delegate, &CPropertyDelegate::choiceCommitted, this, &CPropertyGrid::OnChoiceCommitted);
    connect(delegate, &CPropertyDelegate::integerCommitted, this,
            &CPropertyGrid::OnIntegerCommitted);
}

CPropertyGrid::~CPropertyGrid()
{
    // The items go before the rows they point to, and quietly: nothing may describe a row
    // while the grid comes apart.
    tree->removeEventFilter(this);
    tree->blockSignals(true);
    tree->clear();
}

CPropertyRow* CPropertyGrid::RowOf(const QTreeWidgetItem* item)
{
    if (item == nullptr)
    {
        return nullptr;
    }
    return static_cast<CPropertyRow*>(item->data(0, Qt::UserRole).value<void*>());
}

CPropertyRow* CPropertyGrid::AddRow(std::unique_ptr<CPropertyRow> row, CPropertyRow* group)
{
    CPropertyRow* added = row.get();
    if (group != nullptr)
    {
        group->AddChild(std::move(row));
    }
    else
    {
        added->parent = nullptr;
        topRows.push_back(std::move(row));
    }
    if (alphabetical || (group != nullptr && group->item == nullptr))
    {
        Rebuild(RowOf(tree->currentItem()));
        return added;
    }
    QTreeWidgetItem* item = MakeItems(added);
    if (group != nullptr)
    {
        group->item->addChild(item);
        ValueChanged(group);
    }
    else
    {
        tree->addTopLevelItem(item);
    }
    ApplyState(added);
    return added;
}

void CPropertyGrid::RemoveRow(CPropertyRow* row)
{
    if (row == nullptr)
    {
        return;
    }
    if (describedRow != nullptr && row->Contains(describedRow))
    {
        Describe(nullptr);
    }
    CPropertyRow* parent = row->parent;
    const bool rebuild = alphabetical || row->item == nullptr;
    const CPropertyRow* keep = RowOf(tree->currentItem());
    if (keep != nullptr && row->Contains(keep))
    {
        keep = nullptr;
    }
    if (rebuild)
    {
        tree->clear();
        for (const auto& top : topRows)
        {
            top->ForgetItems();
        }
    }
    else
    {
        // Deleting the item takes the items under it along.
        delete row->item;
        row->ForgetItems();
    }
    auto& siblings = parent != nullptr ? parent->children : topRows;
    const auto found = std::find_if(siblings.begin(), siblings.end(),
                                    [row](const auto& sibling) { return sibling.get() == row; });
    if (found != siblings.end())
    {
        siblings.erase(found);
    }
    if (rebuild)
    {
        Rebuild(keep);
    }
    else if (parent != nullptr)
    {
        ValueChanged(parent);
    }
}

void CPropertyGrid::SetValue(CPropertyRow* row, const QString& text)
{
    if (row == nullptr || row->IsGroup())
    {
        return;
    }
    if (row->kind == CPropertyRow::Kind::Integer)
    {
        SetInteger(row, QLocale::c().toInt(text));
        return;
    }
    if (row->value == text)
    {
        return;
    }
    row->value = text;
    ValueChanged(row);
}

void CPropertyGrid::SetInteger(CPropertyRow* row, int value)
{
    if (row == nullptr || row->kind != CPropertyRow::Kind::Integer)
    {
        return;
    }
    row->integer = std::clamp(value, row->minimum, row->maximum);
    row->value = QString::number(row->integer);
    ValueChanged(row);
}

void CPropertyGrid::SetHidden(CPropertyRow* row, bool hidden)
{
    if (row == nullptr || row->hidden == hidden)
    {
        return;
    }
    row->hidden = hidden;
    // In alphabetical order the rows of a plain group stand at the top and hide with it.
    std::vector<CPropertyRow*> pending{row};
    while (!pending.empty())
    {
        CPropertyRow* next = pending.back();
        pending.pop_back();
        if (next->item != nullptr)
        {
            next->item->setHidden(next->item->parent() == nullptr ? next->IsHiddenWithGroups()
                                                                  : next->hidden);
        }
        if (next->item == nullptr || next->item->parent() == nullptr)
        {
            for (const auto& child : next->children)
            {
                pending.push_back(child.get());
            }
        }
    }
}

void CPropertyGrid::SetEnabled(CPropertyRow* row, bool enabled)
{
    if (row == nullptr)
    {
        return;
    }
    row->enabled = enabled;
    if (row->item != nullptr)
    {
        ApplyState(row);
    }
}

void CPropertyGrid::SetExpanded(CPropertyRow* row, bool expanded)
{
    if (row == nullptr)
    {
        return;
    }
    row->expanded = expanded;
    if (row->item != nullptr)
    {
        row->item->setExpanded(expanded);
    }
}

void CPropertyGrid::ExpandAll()
{
    std::vector<CPropertyRow*> pending;
    for (const auto& top : topRows)
    {
        pending.push_back(top.get());
    }
    while (!pending.empty())
    {
        CPropertyRow* row = pending.back();
        pending.pop_back();
        if (!row->children.empty())
        {
            row->expanded = true;
        }
        for (const auto& child : row->children)
        {
            pending.push_back(child.get());
        }
    }
    tree->expandAll();
}

void CPropertyGrid::SetAlphabetical(bool newAlphabetical)
{
    if (alphabetical == newAlphabetical)
    {
        return;
    }
    alphabetical = newAlphabetical;
    Rebuild(RowOf(tree->currentItem()));
}

QString CPropertyGrid::CopySelection()
{
    QStringList lines;
    for (QTreeWidgetItemIterator it(tree, QTreeWidgetItemIterator::Selected); *it != nullptr; ++it)
    {
        bool shown = true;
        for (const QTreeWidgetItem* up = *it; up != nullptr && shown; up = up->parent())
        {
            shown = !up->isHidden();
        }
        const CPropertyRow* row = RowOf(*it);
        if (shown && row != nullptr)
        {
            lines.push_back(row->name + QLatin1Char('\t') + row->GetValue());
        }
    }
    QString text = lines.join(QLatin1Char('\n'));
    if (!lines.isEmpty())
    {
        QApplication::clipboard()->setText(text);
    }
    return text;
}

bool CPropertyGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == tree->viewport() && event->type() == QEvent::Resize && !namesSizedByUser)
    {
        sizingNames = true;
        tree->setColumnWidth(0, static_cast<QResizeEvent*>(event)->size().width() / 2);
        sizingNames = false;
    }
    if (watched == tree &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy))
    {
        // The view alone would copy the current cell; users copy whole rows into reports. The
        // override claims the keys before any application shortcut sees them.
        if (event->type() == QEvent::KeyPress)
        {
            CopySelection();
        }
        event->accept();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CPropertyGrid::OnChoiceCommitted(CPropertyRow* row, const QString& text)
{
    row->value = text;
    ValueChanged(row);
    emit choiceSelected(row, text);
}

void CPropertyGrid::OnIntegerCommitted(CPropertyRow* row, int value)
{
    const int kept = std::clamp(value, row->minimum, row->maximum);
    if (kept == row->integer)
    {
        return;
    }
    row->integer = kept;
    row->value = QString::number(kept);
    ValueChanged(row);
    emit integerChanged(row, kept);
}

void CPropertyGrid::Describe(const CPropertyRow* row)
{
    describedRow = row;
    description->Show(row);
}

QTreeWidgetItem* CPropertyGrid::MakeItems(CPropertyRow* row)
{
    auto* item = new QTreeWidgetItem;
    item->setText(0, row->name);
    item->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<void*>(row)));
    row->item = item;
    for (const auto& child : row->children)
    {
        item->addChild(MakeItems(child.get()));
    }
    return item;
}

void CPropertyGrid::Rebuild(const CPropertyRow* keep)
{
    tree->clear();
    for (const auto& top : topRows)
    {
        top->ForgetItems();
    }
    std::vector<CPropertyRow*> shown;
    for (const auto& top : topRows)
    {
        if (alphabetical)
        {
            top->CollectStandingRows(shown);
        }
        else
        {
            shown.push_back(top.get());
        }
    }
    if (alphabetical)
    {
        std::stable_sort(shown.begin(), shown.end(),
                         [](const CPropertyRow* a, const CPropertyRow* b)
                         { return QString::compare(a->name, b->name, Qt::CaseInsensitive) < 0; });
    }
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(shown.size()));
    for (CPropertyRow* row : shown)
    {
        items.push_back(MakeItems(row));
    }
    tree->addTopLevelItems(items);
    for (CPropertyRow* row : shown)
    {
        ApplyState(row);
    }
    if (keep != nullptr && keep->item != nullptr)
    {
        tree->setCurrentItem(keep->item);
    }
}

void CPropertyGrid::ApplyState(CPropertyRow* row)
{
    QTreeWidgetItem* item = row->item;
    // In alphabetical order a row at the top stands outside its groups, yet hides with them.
    item->setHidden(item->parent() == nullptr ? row->IsHiddenWithGroups() : row->hidden);
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    const bool editable =
        row->kind == CPropertyRow::Kind::Choice || row->kind == CPropertyRow::Kind::Integer;
    if (editable && row->enabled)
    {
        flags |= Qt::ItemIsEditable;
    }
    item->setFlags(flags);
    if (row->IsPlainGroup())
    {
        item->setFirstColumnSpanned(true);
        SetBold(item, 0, true);
    }
    // Disabled rows stay selectable, so that their descriptions can be read.
    const QVariant greyed =
        row->enabled ? QVariant()
                     : QVariant(tree->palette().color(QPalette::Disabled, QPalette::Text));
    item->setData(0, Qt::ForegroundRole, greyed);
    item->setData(1, Qt::ForegroundRole, greyed);
    ShowValue(row);
    for (const auto& child : row->children)
    {
        if (child->item != nullptr)
        {
            ApplyState(child.get());
        }
    }
    if (!row->children.empty())
    {
        item->setExpanded(row->expanded);
    }
}

void CPropertyGrid::ShowValue(CPropertyRow* row)
{
    QTreeWidgetItem* item = row->item;
    if (item == nullptr || row->IsPlainGroup())
    {
        return;
    }
    item->setText(1, row->GetValue());
    SetBold(item, 1, row->IsModified());
    if (row->kind == CPropertyRow::Kind::Color)
    {
        item->setData(1, Qt::DecorationRole, row->color);
    }
}

void CPropertyGrid::ValueChanged(CPropertyRow* row)
{
    ShowValue(row);
    for (CPropertyRow* up = row->parent; up != nullptr && up->valueList; up = up->parent)
    {
        ShowValue(up);
    }
}

} // namespace telvora

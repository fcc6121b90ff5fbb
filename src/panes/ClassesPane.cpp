#include "panes/ClassesPane.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "scene/ClassNames.h"

namespace telvora
{
namespace
{

constexpr int kCodeRole = Qt::UserRole;

} // namespace

CClassesWnd::CClassesWnd(QWidget* parent)
    : QWidget(parent)
{
    rows = new QTreeWidget;
    rows->setObjectName("classRows");
    rows->setAccessibleName("Classes");
    rows->setColumnCount(2);
    rows->setHeaderLabels({"Class", "Points"});
    rows->setRootIsDecorated(false);
    rows->setContextMenuPolicy(Qt::CustomContextMenu);
    rows->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    rows->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    rows->header()->setStretchLastSection(false);

    showAll = new QPushButton("Show all");
    hideAll = new QPushButton("Hide all");
    onlyThis = new QPushButton("Only this");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(showAll);
    buttons->addWidget(hideAll);
    buttons->addWidget(onlyThis);

    returns = new QComboBox;
    returns->setObjectName("returnFilter");
    returns->setAccessibleName("Returns");
    // In the order of ReturnFilter.
    returns->addItems(
        {"All returns", "First returns", "Last returns", "Single returns", "Intermediate returns"});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(rows, 1);
    layout->addLayout(buttons);
    layout->addWidget(returns);

    connect(rows, &QTreeWidget::itemChanged, this,
            [this]
            {
                if (!filling)
                {
                    ReadChecks();
                    Emit();
                }
            });
    connect(rows, &QWidget::customContextMenuRequested, this, &CClassesWnd::ContextMenu);
    connect(showAll, &QPushButton::clicked, this, [this] { SetHidden({}); });
    connect(hideAll, &QPushButton::clicked, this, [this] { SetHidden(std::bitset<256>().set()); });
    connect(onlyThis, &QPushButton::clicked, this,
            [this]
            {
                const QTreeWidgetItem* current = rows->currentItem();
                if (current != nullptr)
                {
                    SetHidden(std::bitset<256>().set().reset(
                        static_cast<std::size_t>(current->data(0, kCodeRole).toInt())));
                }
            });
    connect(returns, &QComboBox::activated, this,
            [this](int index)
            {
                filter.returns = static_cast<ReturnFilter>(index);
                Emit();
            });
}

QString CClassesWnd::ClassName(int code)
{
    if (code >= 0 && code < static_cast<int>(ClassNames.size()))
    {
        const std::string_view name = ClassNames[static_cast<std::size_t>(code)];
        return QString::fromLatin1(name.data(), static_cast<int>(name.size()));
    }
    return QString("Class %1").arg(code);
}

void CClassesWnd::SetCounts(const std::array<std::uint64_t, 256>& counts)
{
    filling = true;
    rows->clear();
    present.reset();
    for (std::size_t code = 0; code < counts.size(); ++code)
    {
        if (counts[code] == 0)
        {
            filter.hiddenClasses.reset(code);
            continue;
        }
        present.set(code);
        const int c = static_cast<int>(code);
        // QString::number ignores the locale: plain digits.
        auto* item = new QTreeWidgetItem(
            rows, {ClassName(c), QString::number(static_cast<qulonglong>(counts[code]))});
        item->setData(0, kCodeRole, c);
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, filter.hiddenClasses.test(code) ? Qt::Unchecked : Qt::Checked);
    }
    filling = false;
}

void CClassesWnd::Clear()
{
    filling = true;
    rows->clear();
    present.reset();
    filling = false;
}

void CClassesWnd::SetFilter(const PointFilter& newFilter)
{
    filter.returns = newFilter.returns;
    returns->setCurrentIndex(static_cast<int>(newFilter.returns));
    SetHidden(newFilter.hiddenClasses);
}

void CClassesWnd::SetHidden(const std::bitset<256>& hidden)
{
    filter.hiddenClasses = hidden & present;
    filling = true;
    for (int i = 0; i < rows->topLevelItemCount(); ++i)
    {
        QTreeWidgetItem* item = rows->topLevelItem(i);
        const auto code = static_cast<std::size_t>(item->data(0, kCodeRole).toInt());
        item->setCheckState(0, hidden.test(code) ? Qt::Unchecked : Qt::Checked);
    }
    filling = false;
    Emit();
}

void CClassesWnd::ReadChecks()
{
    for (int i = 0; i < rows->topLevelItemCount(); ++i)
    {
        const QTreeWidgetItem* item = rows->topLevelItem(i);
        const auto code = static_cast<std::size_t>(item->data(0, kCodeRole).toInt());
        filter.hiddenClasses.set(code, item->checkState(0) != Qt::Checked);
    }
}

void CClassesWnd::Emit()
{
    emit filterChanged(filter);
}

void CClassesWnd::ContextMenu(const QPoint& at)
{
    QMenu menu(this);
    menu.addAction(showAll->text(), showAll, &QPushButton::click);
    menu.addAction(hideAll->text(), hideAll, &QPushButton::click);
    QAction* only = menu.addAction(onlyThis->text(), onlyThis, &QPushButton::click);
    only->setEnabled(rows->itemAt(at) != nullptr);
    if (QTreeWidgetItem* item = rows->itemAt(at))
    {
        rows->setCurrentItem(item);
    }
    menu.exec(rows->viewport()->mapToGlobal(at));
}

} // namespace telvora

#include "panes/PaneToolBar.h"

#include <QAction>

#include "common/CommandIds.h"
#include "panes/PaneIcons.h"

namespace telvora
{

namespace
{

struct PaneCommand
{
    int id;
    const char* text;
    const char* toolTip;
    const char* objectName;
    bool checkable;
    bool handled;
};

constexpr PaneCommand kCommands[] = {
    {ID_EXPAND_ALL, "Expand All", "Expand all groups", "expandAllAction", false, true},
    {ID_SORTPROPERTIES, "Sort Alphabetically", "Show the properties in alphabetical order",
     "sortAlphabeticallyAction", true, true},
    {ID_PROPERTIES1, "Properties 1", "Properties 1", "properties1Action", false, false},
    {ID_PROPERTIES2, "Properties 2", "Properties 2", "properties2Action", false, false},
    {ID_SHOW_VRL, "VRL", "Show the variable length records", "showVrlAction", false, true},
};

} // namespace

CPaneToolBar::CPaneToolBar(std::initializer_list<int> commandIds, QWidget* parent)
    : QToolBar(parent)
{
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(16, 16));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (const int id : commandIds)
    {
        for (const PaneCommand& command : kCommands)
        {
            if (command.id != id)
            {
                continue;
            }
            QAction* action = addAction(PaneCommandIcon(id), QString::fromLatin1(command.text));
            action->setObjectName(QString::fromLatin1(command.objectName));
            action->setToolTip(QString::fromLatin1(command.toolTip));
            action->setData(id);
            action->setCheckable(command.checkable);
            action->setEnabled(command.handled);
        }
    }
}

QAction* CPaneToolBar::GetAction(int commandId) const
{
    for (QAction* action : actions())
    {
        if (action->data().toInt() == commandId)
        {
            return action;
        }
    }
    return nullptr;
}

} // namespace telvora

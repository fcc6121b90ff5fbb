#include "app/CommandTable.h"

namespace telvora
{

CCommandTable::CCommandTable(QObject* newOwner)
    : owner(newOwner)
{
}

QAction* CCommandTable::AddPlace(int id, const QString& text, const QIcon& icon)
{
    auto* action = new QAction(icon, text, owner);
    action->setData(id);
    action->setCheckable(IsCommandCheckable(id));
    action->setEnabled(false);
    QObject::connect(action, &QAction::triggered, owner,
                     [this, id]
                     {
                         const auto handler = handlers.find(id);
                         if (handler != handlers.end())
                         {
                             handler->second();
                         }
                     });
    places[id].push_back(action);
    return action;
}

void CCommandTable::SetHandler(int id, std::function<void()> handler)
{
    handlers[id] = std::move(handler);
}

void CCommandTable::Remove(int id)
{
    const auto found = places.find(id);
    if (found != places.end())
    {
        for (QAction* action : found->second)
        {
            // Later: the action may be the one whose trigger is running this very removal.
            action->deleteLater();
        }
        places.erase(found);
    }
    handlers.erase(id);
}

const std::vector<QAction*>& CCommandTable::Places(int id) const
{
    static const std::vector<QAction*> none;
    const auto found = places.find(id);
    return found != places.end() ? found->second : none;
}

std::vector<int> CCommandTable::Ids() const
{
    std::vector<int> ids;
    ids.reserve(places.size());
    for (const auto& [id, actions] : places)
    {
        ids.push_back(id);
    }
    return ids;
}

void CCommandTable::Update(const UiState& state)
{
    for (const auto& [id, actions] : places)
    {
        const bool enabled = HasHandler(id) && IsCommandEnabled(id, state);
        const bool checked = IsCommandChecked(id, state);
        for (QAction* action : actions)
        {
            if (action->isEnabled() != enabled)
            {
                action->setEnabled(enabled);
            }
            if (action->isCheckable() && action->isChecked() != checked)
            {
                // Only toggled and changed fire here, never triggered: the handler does not run.
                action->setChecked(checked);
            }
        }
    }
}

bool CCommandTable::IsEnabled(int id) const
{
    const auto& actions = Places(id);
    return !actions.empty() && actions.front()->isEnabled();
}

bool CCommandTable::IsChecked(int id) const
{
    const auto& actions = Places(id);
    return !actions.empty() && actions.front()->isChecked();
}

bool CCommandTable::Execute(int id)
{
    if (!IsEnabled(id))
    {
        return false;
    }
    Places(id).front()->trigger();
    return true;
}

} // namespace telvora

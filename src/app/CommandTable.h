#pragma once

#include <QAction>
#include <functional>
#include <map>
#include <vector>

#include "app/CommandRules.h"

namespace telvora
{

// Every command of the main window by its ID. A command may appear in several places (File
// menu, ribbon panel, quick access) with a text of its own in each; all of them are actions of
// the same command and share its handler and its enable and check state. A command without a
// handler is shown disabled, so commands whose work arrives later cannot be chosen.
class CCommandTable
{
public:
    explicit CCommandTable(QObject* owner);

    // A new place of the command; the first call defines the command.
    QAction* AddPlace(int id, const QString& text, const QIcon& icon = QIcon());
    void SetHandler(int id, std::function<void()> handler);
    // Deletes every place of the command and its handler: for the menus that are rebuilt, such
    // as the loaded files.
    void Remove(int id);

    bool Contains(int id) const { return places.count(id) != 0; }
    bool HasHandler(int id) const { return handlers.count(id) != 0; }
    const std::vector<QAction*>& Places(int id) const;
    std::vector<int> Ids() const;

    // Evaluates every command's enable and check rule, as the update handlers of a desktop
    // framework do before a menu opens and when the application falls idle.
    void Update(const UiState& state);

    bool IsEnabled(int id) const;
    bool IsChecked(int id) const;

    // Runs the handler when the command is enabled; false otherwise.
    bool Execute(int id);

private:
    QObject* owner;
    std::map<int, std::vector<QAction*>> places;
    std::map<int, std::function<void()>> handlers;
};

} // namespace telvora

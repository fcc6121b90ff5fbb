#pragma once

#include <QToolBar>
#include <initializer_list>

class QAction;

namespace telvora
{

// The small toolbar of a property pane: one button per command, in the order given, with its
// drawn image, text, tooltip and object name. A command the pane does not handle shows disabled.
// The buttons act on the pane that owns the toolbar; nothing is routed through the main window.
class CPaneToolBar : public QToolBar
{
    Q_OBJECT

public:
    CPaneToolBar(std::initializer_list<int> commandIds, QWidget* parent = nullptr);

    // The button of a command, or none when the toolbar has no such button.
    QAction* GetAction(int commandId) const;
};

} // namespace telvora

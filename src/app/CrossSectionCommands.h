#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

#include "common/Notifier.h"

class QWidget;

namespace telvora
{

class CCommandTable;
class CCrossFrame;
class CQUARNView;
struct UiState;

// The cross-section window on the application's side: opening it for the view's section line
// (the C key and the Cross Section command) and closing it before the view lets go of the files,
// the trees or the line that the window borrows.
class CCrossSectionCommands : public QObject
{
public:
    // owner: the main window, which owns the cross-section window; messages go to notifier.
    CCrossSectionCommands(QWidget* owner, CQUARNView& view, INotifier* notifier);
    ~CCrossSectionCommands() override;

    // Hands the command its handler.
    void Connect(CCommandTable& commands);
    // The part of the command state the cross section decides.
    void Fill(UiState& state) const;

    // Opens the window for the section line, unless there is none or a window is open already.
    void OpenCrossSection();
    void CloseCrossSection();
    CCrossFrame* Frame() const { return frame; }
    // Called after the window changed classification bytes (a reclassification, an undo or a
    // redo), once the trees follow them: whoever shows counts by class refreshes them.
    void SetClassesChanged(std::function<void()> callback) { classesChanged = std::move(callback); }

private:
    QWidget* owner;
    CQUARNView& view;
    std::function<void()> classesChanged;
    // The view may go first when the main window is torn down.
    QPointer<CQUARNView> viewAlive;
    INotifier* notifier;
    // The open window, cleared by the window itself when it is destroyed.
    CCrossFrame* frame = nullptr;
};

} // namespace telvora

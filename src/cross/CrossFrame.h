#pragma once

#include <QMainWindow>
#include <functional>

#include "common/Notifier.h"
#include "cross/CrossView.h"
#include "cross/ProfileSection.h"

class QAction;
class QDockWidget;
class QLabel;

namespace telvora
{

class PropertiesCrossWnd;

// The cross-section window: a top-level window of its owner (the main window) with the profile
// view, a status bar for the measurement and the docked properties pane. It borrows the loaded
// files, the trees and the section line; whoever releases them closes this window first.
class CCrossFrame : public QMainWindow
{
    Q_OBJECT

public:
    // The frame clears openSlot, when it still refers to this frame, as it is destroyed.
    CCrossFrame(QWidget* owner, CCrossFrame** openSlot);
    ~CCrossFrame() override;

    void SetNotifier(INotifier* newNotifier)
    {
        notifier = newNotifier;
        view->SetNotifier(newNotifier);
    }
    // Where Export Profile asks for the CSV file; an empty result is a cancelled dialog.
    void SetExportChooser(std::function<QString()> chooser) { exportChooser = std::move(chooser); }
    // Writes the collected points to the CSV file at path. True when written; a failure is
    // reported.
    bool ExportProfile(const QString& path);
    // Takes what the section is cut from, with a half-thickness of sectionWidth metres, and
    // builds it.
    void SetSection(const SectionSource& source, float sectionWidth);
    void SetStatusText(const std::string& text);

    CCrossView* View() const { return view; }
    QDockWidget* PropertiesPane() const { return propertiesPane; }
    PropertiesCrossWnd* Properties() const { return properties; }
    QAction* UndoAction() const { return undoAction; }
    QAction* RedoAction() const { return redoAction; }
    QAction* ExportAction() const { return exportAction; }
    QString StatusText() const;

    // Metres; the half-thickness of the slab.
    float width = 0.5f;

private:
    void ChooseAndExport();
    void UpdateActions();

    CCrossFrame** slot;
    INotifier* notifier = nullptr;
    std::function<QString()> exportChooser;
    PropertiesCrossWnd* properties = nullptr;
    QAction* undoAction = nullptr;
    QAction* redoAction = nullptr;
    QAction* exportAction = nullptr;
    CCrossView* view = nullptr;
    QLabel* statusPane = nullptr;
    QDockWidget* propertiesPane = nullptr;
};

} // namespace telvora

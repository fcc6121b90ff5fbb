#pragma once

#include <QMainWindow>

#include "common/Notifier.h"
#include "cross/CrossView.h"
#include "cross/ProfileSection.h"

class QDockWidget;
class QLabel;

namespace telvora
{

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

    void SetNotifier(INotifier* notifier) { view->SetNotifier(notifier); }
    // Takes what the section is cut from, with a half-thickness of sectionWidth metres, and
    // builds it.
    void SetSection(const SectionSource& source, float sectionWidth);
    void SetStatusText(const std::string& text);

    CCrossView* View() const { return view; }
    QDockWidget* PropertiesPane() const { return propertiesPane; }
    QString StatusText() const;

    // Metres; the half-thickness of the slab.
    float width = 0.5f;

private:
    CCrossFrame** slot;
    CCrossView* view = nullptr;
    QLabel* statusPane = nullptr;
    QDockWidget* propertiesPane = nullptr;
};

} // namespace telvora

#include "app/CrossSectionCommands.h"

#include "app/CommandTable.h"
#include "common/CommandIds.h"
#include "cross/CrossFrame.h"
#include "scene/LasFileSet.h"
#include "view/QUARNView.h"

namespace telvora
{

CCrossSectionCommands::CCrossSectionCommands(QWidget* ownerWindow, CQUARNView& sceneView,
                                             INotifier* messages)
    : QObject(ownerWindow)
    , owner(ownerWindow)
    , view(sceneView)
    , viewAlive(&sceneView)
    , notifier(messages)
{
    view.SetCrossSectionQuery([this] { return frame != nullptr; });
    connect(&view, &CQUARNView::crossSectionRequested, this,
            &CCrossSectionCommands::OpenCrossSection);
    // Whatever releases the scene (Close, Open, an archive entry, the view's end), the window
    // goes first.
    connect(&view, &CQUARNView::sceneReleasing, this, &CCrossSectionCommands::CloseCrossSection,
            Qt::DirectConnection);
}

CCrossSectionCommands::~CCrossSectionCommands()
{
    if (viewAlive)
    {
        viewAlive->SetCrossSectionQuery({});
    }
    CloseCrossSection();
}

void CCrossSectionCommands::Connect(CCommandTable& commands)
{
    commands.SetHandler(ID_TOOLS_CROSSSECTION, [this] { OpenCrossSection(); });
}

void CCrossSectionCommands::Fill(UiState& state) const
{
    state.hasSectionLine = view.sectionLine != nullptr;
    state.crossSectionOpen = frame != nullptr;
}

void CCrossSectionCommands::OpenCrossSection()
{
    CLasFileSet* set = view.FileSet();
    if (frame != nullptr || !view.sectionLine || set == nullptr || !view.sceneReady)
    {
        return;
    }
    frame = new CCrossFrame(owner, &frame);
    frame->SetNotifier(notifier);
    SectionSource source;
    source.set = set;
    source.trees = view.Trees();
    source.sceneOffset = set->sceneOffset;
    source.line = view.sectionLine.get();
    source.makeCurrent = [target = &view] { target->makeCurrent(); };
    frame->show();
    frame->SetSection(source, 0.5f);
    // The section line is moved from the window: the 3D view redraws as it goes.
    connect(frame->View(), &CCrossView::sectionMoved, &view, qOverload<>(&QWidget::update));
    // Reclassified points may now be hidden, or shown, in the 3D view.
    connect(frame->View(), &CCrossView::classesChanged, &view,
            [this]
            {
                view.update();
                if (classesChanged)
                {
                    classesChanged();
                }
            });
    frame->View()->update();
}

void CCrossSectionCommands::CloseCrossSection()
{
    // Deleted now, not later: the files it borrows are released right after this returns.
    delete frame;
    frame = nullptr;
}

} // namespace telvora

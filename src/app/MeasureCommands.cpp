#include "app/MeasureCommands.h"

#include <memory>

#include "app/CommandTable.h"
#include "common/CommandIds.h"
#include "las/LASPoint.h"
#include "las/LasException.h"
#include "las/LasFile.h"
#include "panes/PointPropertiesPane.h"
#include "scene/LasFileSet.h"
#include "view/QUARNView.h"

namespace telvora
{

CMeasureCommands::CMeasureCommands(QObject* owner, CQUARNView& sceneView,
                                   CPropertiesPointWnd& pointPane, IStatusServices& statusServices)
    : QObject(owner)
    , view(sceneView)
    , pane(pointPane)
    , status(statusServices)
{
    connect(&view, &CQUARNView::pointPicked, this, &CMeasureCommands::TakePick);
    connect(&view, &CQUARNView::pickCleared, this, [this] { SetArmed(false); });
    connect(
        &view, &CQUARNView::sceneReleasing, this, [this] { SetArmed(false); },
        Qt::DirectConnection);
}

void CMeasureCommands::Connect(CCommandTable& commands)
{
    commands.SetHandler(ID_TOOLS_MEASURE, [this] { SetArmed(!armed); });
}

void CMeasureCommands::Fill(UiState& state) const
{
    state.measuring = armed;
}

void CMeasureCommands::SetArmed(bool on)
{
    const bool wasArmed = armed;
    armed = on;
    Clear();
    if (on)
    {
        status.SetStatusText("Measure: double-click the first point");
    }
    else if (wasArmed)
    {
        status.SetStatusText("Ready");
    }
}

void CMeasureCommands::Clear()
{
    ends.clear();
    result.reset();
    view.measureEnds.clear();
    pane.ShowMeasurement(nullptr);
    view.update();
}

void CMeasureCommands::TakePick(int file, quint32 index)
{
    const CLasFileSet* set = view.FileSet();
    if (!armed || set == nullptr || file < 0 || file >= set->count || !view.pickedPoint)
    {
        return;
    }
    const CLasFile& lasFile = set->files[file];
    std::unique_ptr<LASPoint> point;
    try
    {
        point.reset(lasFile.ReadPoint(index));
    }
    catch (const CLasException&)
    {
        // The point pane has said why the record cannot be read; it is no end.
        return;
    }
    if (point == nullptr || lasFile.header == nullptr)
    {
        return;
    }
    if (ends.size() == 2)
    {
        Clear();
    }
    const LasHeader& h = *lasFile.header;
    ends.push_back({static_cast<double>(point->GetX()) * h.xScaleFactor + h.xOffset,
                    static_cast<double>(point->GetY()) * h.yScaleFactor + h.yOffset,
                    static_cast<double>(point->GetZ()) * h.zScaleFactor + h.zOffset, h.xScaleFactor,
                    h.yScaleFactor, h.zScaleFactor});
    view.measureEnds.push_back(*view.pickedPoint);
    if (ends.size() == 2)
    {
        result = Measure3D(ends[0], ends[1]);
        const MeasurementTexts texts = TextsOf(*result);
        pane.ShowMeasurement(&texts);
        status.SetStatusText(StatusTextOf(*result));
    }
    else
    {
        status.SetStatusText("Measure: double-click the second point");
    }
    view.update();
}

} // namespace telvora

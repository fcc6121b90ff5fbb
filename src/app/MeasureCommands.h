#pragma once

#include <QObject>
#include <optional>
#include <vector>

#include "panes/Measurement.h"

namespace telvora
{

class CCommandTable;
class CPropertiesPointWnd;
class CQUARNView;
class IStatusServices;
struct UiState;

// Measuring in the 3D view on the application's side. The Measure command arms it (and, chosen
// again, disarms it and drops the measurement); while armed, every pick is an end: the first
// and second make a measurement, a third starts a new one. The result goes to the status text
// and the point pane's "Measurement" group; the view draws the ends. Escape and releasing the
// scene drop the measurement and disarm.
class CMeasureCommands : public QObject
{
public:
    CMeasureCommands(QObject* owner, CQUARNView& view, CPropertiesPointWnd& pane,
                     IStatusServices& status);

    // Hands the command its handler.
    void Connect(CCommandTable& commands);
    // The part of the command state measuring decides.
    void Fill(UiState& state) const;

    void SetArmed(bool armed);
    bool Armed() const { return armed; }
    // The measurement of the last two ends, when there is one.
    const std::optional<Measurement3D>& Result() const { return result; }

private:
    void TakePick(int file, quint32 index);
    void Clear();

    CQUARNView& view;
    CPropertiesPointWnd& pane;
    IStatusServices& status;
    bool armed = false;
    std::vector<MeasureEnd> ends;
    std::optional<Measurement3D> result;
};

} // namespace telvora

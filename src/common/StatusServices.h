#pragma once

#include <string>

namespace telvora
{

// The main window's status text and progress bar. Long operations report through it about a
// hundred times per file, never once per point; the main frame shows the bar while its position
// is not 0.
class IStatusServices
{
public:
    virtual ~IStatusServices() = default;

    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetProgressRange(int lower, int upper) = 0;
    virtual int GetProgressPos() const = 0;
    // Clamps pos to the range and redraws the bar at once, since the caller keeps the
    // user-interface thread busy until it is done.
    virtual void SetProgressPos(int pos) = 0;
};

// The readers of whole attributes need only the position part of the status services.
using AttributeProgress = IStatusServices;

} // namespace telvora

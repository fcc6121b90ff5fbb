#pragma once

#include <string>

#include "common/StatusServices.h"

namespace telvora::bench
{

// Progress that goes nowhere, at the cost of a real virtual call, as the status bar would take.
class NullProgress final : public IStatusServices
{
public:
    void SetStatusText(const std::string&) override {}
    void SetProgressRange(int, int) override {}
    int GetProgressPos() const override { return position; }
    void SetProgressPos(int pos) override { position = pos; }

private:
    int position = 0;
};

} // namespace telvora::bench

#pragma once

#include <string>
#include <vector>

#include "common/Notifier.h"
#include "common/StatusServices.h"

namespace telvora::test
{

// Status services that remember every call, with the clamping the status bar does.
class RecordingStatus : public IStatusServices
{
public:
    void SetStatusText(const std::string& text) override { texts.push_back(text); }
    void SetProgressRange(int lowerBound, int upperBound) override
    {
        lower = lowerBound;
        upper = upperBound;
    }
    int GetProgressPos() const override { return position; }
    void SetProgressPos(int pos) override
    {
        position = pos < lower ? lower : (pos > upper ? upper : pos);
        positions.push_back(pos);
    }

    int lower = 0;
    int upper = 100;
    int position = 0;
    std::vector<int> positions;
    std::vector<std::string> texts;
};

struct ShownMessage
{
    std::string text;
    std::string caption;
    MessageIcon icon;
    std::string detail;
};

class RecordingNotifier : public INotifier
{
public:
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                     const std::string& detail) override
    {
        shown.push_back({text, caption, icon, detail});
    }

    std::vector<ShownMessage> shown;
};

} // namespace telvora::test

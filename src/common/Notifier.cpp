#include "common/Notifier.h"

#include <cstdio>

namespace telvora
{

namespace
{

class CStderrNotifier final : public INotifier
{
public:
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon,
                     const std::string& detail) override
    {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        if (!detail.empty())
        {
            std::fprintf(stderr, "%s\n", detail.c_str());
        }
    }
};

} // namespace

INotifier& StderrNotifier()
{
    static CStderrNotifier notifier;
    return notifier;
}

} // namespace telvora

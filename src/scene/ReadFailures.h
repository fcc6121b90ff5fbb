#pragma once

#include <string>

#include "common/Notifier.h"
#include "las/LasFile.h"

namespace telvora
{

// Passes messages on and counts them, so that a failure a reader has already reported is not
// reported a second time.
class CCountingNotifier final : public INotifier
{
public:
    explicit CCountingNotifier(INotifier* target);

    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                     const std::string& detail) override;
    int Count() const { return count; }

private:
    INotifier& shown;
    int count = 0;
};

// The attribute readers say nothing when a file cannot be opened at all (it vanished, or its
// permissions changed). After a reader of this file returned nothing, this names the file and the
// reason, unless a message has been shown already.
void ReportUnreadFile(const CLasFile& file, CCountingNotifier& notifier);

} // namespace telvora

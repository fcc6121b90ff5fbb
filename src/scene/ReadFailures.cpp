#include "scene/ReadFailures.h"

#include "common/PathHelpers.h"
#include "common/SystemErrors.h"
#include "las/LasException.h"
#include "las/PosixFile.h"

namespace telvora
{

CCountingNotifier::CCountingNotifier(INotifier* target)
    : shown(target != nullptr ? *target : StderrNotifier())
{
}

void CCountingNotifier::ShowMessage(const std::string& text, const std::string& caption,
                                    MessageIcon icon, const std::string& detail)
{
    ++count;
    shown.ShowMessage(text, caption, icon, detail);
}

void ReportUnreadFile(const CLasFile& file, CCountingNotifier& notifier)
{
    if (notifier.Count() > 0)
    {
        return;
    }
    const char* path = file.path != nullptr ? file.path : "";
    const PosixFile probe(path, PosixFile::Mode::Read);
    const std::string reason = probe.IsOpen()
                                   ? FileProblem(FileNameOf(path), "its points could not be read")
                                   : FileProblem(FileNameOf(path), probe.LastError());
    notifier.ShowMessage(LasMessage::kReadFileOpen, "Telvora", MessageIcon::Error, reason);
}

} // namespace telvora

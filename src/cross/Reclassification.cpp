#include "cross/Reclassification.h"

#include <algorithm>

#include "las/FileIdentity.h"
#include "las/LasException.h"
#include "scene/LasFileSet.h"

namespace telvora
{
namespace
{

constexpr const char* kCaption = "Cross Section";

void Report(INotifier* notifier, const CLasException& error)
{
    INotifier& shown = notifier != nullptr ? *notifier : StderrNotifier();
    shown.ShowMessage(error.GetErrorText(), kCaption, MessageIcon::Error, error.GetDetail());
}

// Sets the profile class of the collected points of the file whose records are the first n of
// records (ascending).
void ShowClasses(ProfileSection& section, int file, const std::vector<std::uint32_t>& records,
                 const std::vector<std::uint8_t>& classes, std::size_t n)
{
    const auto f = static_cast<std::size_t>(file);
    if (f >= section.indices.size())
    {
        return;
    }
    const std::vector<std::uint32_t>& collected = section.indices[f];
    for (std::size_t k = 0; k < n; ++k)
    {
        const auto found = std::lower_bound(collected.begin(), collected.end(), records[k]);
        if (found != collected.end() && *found == records[k])
        {
            section.points[f][static_cast<std::size_t>(found - collected.begin())].classification =
                classes[k];
        }
    }
}

// Writes classification bytes into file f. Another entry of the set for the same file (a set not
// built through Open, which loads each file once) was read with the same identity: the
// program's own write must not make that file look changed by another program to it.
void WriteFile(const CLasFileSet& set, int f, const ClassChange& change, const std::uint8_t* codes,
               std::uint8_t* previous, std::size_t& written)
{
    CLasFile& file = set.files[f];
    const FileIdentity read = file.identity;
    const auto share = [&]
    {
        for (int g = 0; read.known && g < set.count; ++g)
        {
            if (g != f && set.files[g].identity == read)
            {
                set.files[g].identity = file.identity;
            }
        }
    };
    try
    {
        file.WriteClassifications(change.records.data(), change.records.size(), codes, previous,
                                  written);
    }
    catch (...)
    {
        share();
        throw;
    }
    share();
}

} // namespace

ClassEdit ApplyClass(const CLasFileSet& set, ProfileSection& section,
                     const std::vector<std::vector<std::uint32_t>>& chosen, std::uint8_t code,
                     INotifier* notifier)
{
    ClassEdit edit;
    const std::size_t files = std::min(
        {chosen.size(), section.indices.size(), static_cast<std::size_t>(std::max(set.count, 0))});
    for (std::size_t f = 0; f < files; ++f)
    {
        if (chosen[f].empty() || set.visible[f] == 0)
        {
            continue;
        }
        ClassChange change;
        change.file = static_cast<int>(f);
        for (const std::uint32_t position : chosen[f])
        {
            change.records.push_back(section.indices[f][position]);
        }
        change.after.assign(change.records.size(), code);
        change.before.assign(change.records.size(), 0);
        std::size_t written = 0;
        bool failed = false;
        try
        {
            WriteFile(set, change.file, change, change.after.data(), change.before.data(), written);
        }
        catch (const CLasException& error)
        {
            Report(notifier, error);
            failed = true;
        }
        change.records.resize(written);
        change.before.resize(written);
        change.after.resize(written);
        ShowClasses(section, change.file, change.records, change.after, written);
        if (written > 0)
        {
            edit.push_back(std::move(change));
        }
        if (failed)
        {
            break;
        }
    }
    return edit;
}

bool WriteEdit(const CLasFileSet& set, ProfileSection& section, const ClassEdit& edit, bool undo,
               INotifier* notifier)
{
    // An undo goes back through the changes in reverse: where two of them wrote the same bytes
    // (two entries of one file), the first one's "before" is what the file held, and it has to
    // be written last.
    for (std::size_t n = 0; n < edit.size(); ++n)
    {
        const ClassChange& change = edit[undo ? edit.size() - 1 - n : n];
        if (change.file < 0 || change.file >= set.count)
        {
            continue;
        }
        const std::vector<std::uint8_t>& bytes = undo ? change.before : change.after;
        std::vector<std::uint8_t> replaced(bytes.size());
        std::size_t written = 0;
        try
        {
            WriteFile(set, change.file, change, bytes.data(), replaced.data(), written);
        }
        catch (const CLasException& error)
        {
            ShowClasses(section, change.file, change.records, bytes, written);
            Report(notifier, error);
            return false;
        }
        ShowClasses(section, change.file, change.records, bytes, written);
    }
    return true;
}

void CReclassifyHistory::Push(ClassEdit edit)
{
    // An edit that left every byte as it was (nothing selected, the class the points had, a first
    // file that could not be written) leaves the files where the undone edits expect them, so
    // they can still be redone; there is nothing in it to undo either.
    const bool changedAByte =
        std::any_of(edit.begin(), edit.end(),
                    [](const ClassChange& change) { return change.before != change.after; });
    if (!changedAByte)
    {
        return;
    }
    undone.clear();
    done.push_back(std::move(edit));
    while (done.size() > kDepth)
    {
        done.pop_front();
    }
}

bool CReclassifyHistory::Undo(const CLasFileSet& set, ProfileSection& section, INotifier* notifier)
{
    return Move(done, undone, true, set, section, notifier);
}

bool CReclassifyHistory::Redo(const CLasFileSet& set, ProfileSection& section, INotifier* notifier)
{
    return Move(undone, done, false, set, section, notifier);
}

template <typename From, typename To>
bool CReclassifyHistory::Move(From& from, To& to, bool undo, const CLasFileSet& set,
                              ProfileSection& section, INotifier* notifier)
{
    if (from.empty() || !WriteEdit(set, section, from.back(), undo, notifier))
    {
        return false;
    }
    to.push_back(std::move(from.back()));
    from.pop_back();
    return true;
}

} // namespace telvora

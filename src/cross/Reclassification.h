#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "common/Notifier.h"
#include "cross/ProfileSection.h"

namespace telvora
{

class CLasFileSet;

// The classification bytes one reclassification changed in one file: the records in file order,
// with the byte each held before and holds after.
struct ClassChange
{
    int file = 0;
    std::vector<std::uint32_t> records;
    std::vector<std::uint8_t> before;
    std::vector<std::uint8_t> after;
};

// Everything one reclassification wrote, file by file: exactly the records whose new byte reached
// their file.
using ClassEdit = std::vector<ClassChange>;

// Gives the code to the collected points at `chosen` (per file, positions in the section's arrays,
// ascending) of every visible file: in each file in place, in one pass, then in the profile. A
// file that cannot be written (read-only, a failed read or write) is reported once and stops the
// reclassification there: the records written before keep their new class in file and profile,
// the others keep the class they had in both. Returns what was written.
ClassEdit ApplyClass(const CLasFileSet& set, ProfileSection& section,
                     const std::vector<std::vector<std::uint32_t>>& chosen, std::uint8_t code,
                     INotifier* notifier);

// Writes the bytes an edit replaced (or, for redo, its new bytes) back into the files and the
// collected points of the section that are among its records. False after a failure, which is
// reported: the records restored before it show their restored class, the others stay as they
// were, and the edit can be written again.
bool WriteEdit(const CLasFileSet& set, ProfileSection& section, const ClassEdit& edit, bool undo,
               INotifier* notifier);

// The reclassifications of one cross-section window, newest last: at most kDepth to undo, and
// what was undone since the last new one to redo.
class CReclassifyHistory
{
public:
    static constexpr std::size_t kDepth = 20;

    // Only an edit that changed at least one byte is kept, and only such an edit drops Redo.
    void Push(ClassEdit edit);
    bool CanUndo() const { return !done.empty(); }
    bool CanRedo() const { return !undone.empty(); }
    // False when there was nothing to undo or the write failed; the entry then stays.
    bool Undo(const CLasFileSet& set, ProfileSection& section, INotifier* notifier);
    bool Redo(const CLasFileSet& set, ProfileSection& section, INotifier* notifier);
    // The edit Redo would write again (the one just undone), and the one Undo would take back.
    const ClassEdit* NextRedo() const { return undone.empty() ? nullptr : &undone.back(); }
    const ClassEdit* NextUndo() const { return done.empty() ? nullptr : &done.back(); }

private:
    // Writes the newest edit of `from` (its old bytes for an undo) and moves it onto `to`; it
    // stays where it was when the write fails.
    template <typename From, typename To>
    static bool Move(From& from, To& to, bool undo, const CLasFileSet& set, ProfileSection& section,
                     INotifier* notifier);

    std::deque<ClassEdit> done;
    std::vector<ClassEdit> undone;
};

} // namespace telvora

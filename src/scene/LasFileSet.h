#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Geometry.h"
#include "las/FileIdentity.h"
#include "las/LasFile.h"

namespace telvora
{

// Whose file a decompressed archive entry is.
enum class EntryFile
{
    // Made by the program for this scene: removed with the set.
    Temporary,
    // A file that was at the output path already, which the user chose to keep: never removed.
    UsersFile
};

// What the scene has open: the files in the order they were chosen, whether each is shown, the
// box around all of them and the offset that moves real-world coordinates into scene coordinates.
// When the files are worked on through temporary copies, sourcePaths holds where each copy goes
// back to on Save. The view creates the set with new and deletes it; everything else only borrows
// it.
class CLasFileSet
{
public:
    static constexpr std::int32_t kMaxFiles = 50;

    // n empty files, all visible. Throws std::invalid_argument unless n is 1 to kMaxFiles.
    explicit CLasFileSet(std::int32_t n);
    ~CLasFileSet();
    CLasFileSet(const CLasFileSet&) = delete;
    CLasFileSet& operator=(const CLasFileSet&) = delete;

    // One empty file that remembers the archive it will be decompressed from. The caller owns the
    // result.
    static CLasFileSet* CreateForArchive(const char* archivePath);

    // Makes the decompressed entry file 0; a temporary one is removed when the set is destroyed.
    void SetArchiveEntryPath(const char* decompressedPath, EntryFile whose);

    // Reads and checks file i's header and adds its points and box to the set. A file that cannot
    // be shown (LasFileCheck.h) is refused with a CLasException that names it and says why; the
    // totals and the box stay as they were. Each index is meant
    // to be opened once, from 0 upwards.
    void OpenFile(std::int32_t i, const char* path);

    // Copies every file into the folder and works on the copies from then on; sourcePaths[i]
    // keeps the file the user chose. A copy takes the file's name, or "name (2).las", "(3)" and
    // so on when that name is taken, so it never lands on an existing file (the folder may well
    // be the one the user's files are in). A file that is no longer the one that was read is not
    // copied. On a failure the copies made so far stay in use and in the set's care, and the
    // exception propagates.
    void CreateTemporaryCopies(const char* folder);

    // Save: copies every working copy back onto the file it came from, which must still be the
    // file that was read or last saved (FileIdentity.h); the first failure propagates and leaves
    // that file as it was.
    void SaveCopies();
    // Save As of file i: copies it to destination, which from then on is where file i is saved
    // (with copies) or the file itself (without).
    void SaveFileAs(std::int32_t i, const char* destination);

    // The horizontal centre of all loaded data at height 0, from the headers' bounds in double.
    void ComputeSceneOffset();

    CLasFile* files = nullptr;
    unsigned char* visible = nullptr;
    std::int32_t count = 0;
    // Real-world, as floats: for extents and heights only. Positions are made relative to
    // sceneOffset in double first (las/PositionTransform.h).
    CBoundingBox bounds;
    Vec3d sceneOffset;
    // 64 bits: fifty files of four billion records each overflow 32.
    std::uint64_t totalPoints = 0;
    // Either none or count entries; an entry is none only for a file without a path.
    char** sourcePaths = nullptr;
    char* archivePath = nullptr;

private:
    void ReplaceSourcePaths(char** paths);
    void TakeOwnership(const std::string& path);

    // Only files the set made itself (copies, the decompressed entry) are ever deleted, whatever
    // paths the files carry by then.
    std::vector<std::string> ownedFiles;
    // The identity of each source path as read or last saved; as many as sourcePaths holds.
    std::vector<FileIdentity> sourceIdentities;
    bool hasBounds = false;
    Vec3d worldMinimum;
    Vec3d worldMaximum;
};

} // namespace telvora

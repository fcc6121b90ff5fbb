#include "las/FileIdentity.h"

#include <sys/stat.h>

#include "common/SystemErrors.h"
#include "las/LasException.h"
#include "las/PosixFile.h"

namespace telvora
{

FileIdentity IdentityOf(const PosixFile& file)
{
    FileIdentity identity;
    struct stat info
    {
    };
    if (!file.IsOpen() || ::fstat(file.Descriptor(), &info) != 0)
    {
        return identity;
    }
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.size = info.st_size;
    identity.modifiedSeconds = info.st_mtim.tv_sec;
    identity.modifiedNanoseconds = info.st_mtim.tv_nsec;
    identity.headerBytes = file.ReadAt(identity.header.data(), identity.header.size(), 0);
    identity.known = true;
    return identity;
}

FileIdentity IdentityOf(const char* path)
{
    return IdentityOf(PosixFile(path, PosixFile::Mode::Read));
}

void RequireIdentity(const FileIdentity& expected, const PosixFile& file, const char* path,
                     const char* message)
{
    if (expected.known && IdentityOf(file) != expected)
    {
        throw CLasException(message, FileProblem(path != nullptr ? path : "", kFileChangedReason));
    }
}

} // namespace telvora

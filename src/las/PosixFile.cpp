#include "las/PosixFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace telvora
{

namespace
{

int OpenFlags(PosixFile::Mode mode)
{
    switch (mode)
    {
    case PosixFile::Mode::Read:
        return O_RDONLY;
    case PosixFile::Mode::Update:
        return O_RDWR;
    case PosixFile::Mode::Append:
        return O_WRONLY | O_CREAT | O_APPEND;
    case PosixFile::Mode::Truncate:
        return O_WRONLY | O_CREAT | O_TRUNC;
    case PosixFile::Mode::CreateNew:
        return O_WRONLY | O_CREAT | O_EXCL;
    }
    return O_RDONLY;
}

} // namespace

PosixFile::PosixFile(const char* path, Mode mode)
{
    if (path == nullptr)
    {
        return;
    }
    do
    {
        fd = ::open(path, OpenFlags(mode) | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);

    // A folder opens for reading but is no file of ours.
    struct stat info
    {
    };
    if (fd >= 0 && (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)))
    {
        ::close(fd);
        fd = -1;
        errno = EISDIR;
    }
    if (fd < 0)
    {
        lastError = errno;
    }
}

PosixFile::~PosixFile()
{
    Close();
}

PosixFile::PosixFile(PosixFile&& other) noexcept
    : fd(std::exchange(other.fd, -1))
    , lastError(other.lastError)
{
}

PosixFile& PosixFile::operator=(PosixFile&& other) noexcept
{
    if (this != &other)
    {
        Close();
        fd = std::exchange(other.fd, -1);
        lastError = other.lastError;
    }
    return *this;
}

std::int64_t PosixFile::Size() const
{
    struct stat info
    {
    };
    if (fd < 0 || ::fstat(fd, &info) != 0)
    {
        return -1;
    }
    return static_cast<std::int64_t>(info.st_size);
}

std::size_t PosixFile::ReadAt(void* buffer, std::size_t size, std::int64_t offset) const
{
    if (fd < 0 || offset < 0)
    {
        return 0;
    }
    auto* bytes = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < size)
    {
        const ssize_t got = ::pread(fd, bytes + done, size - done,
                                    static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR)
        {
            continue;
        }
        if (got < 0)
        {
            lastError = errno;
        }
        if (got <= 0)
        {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::size_t PosixFile::Read(void* buffer, std::size_t size)
{
    if (fd < 0)
    {
        return 0;
    }
    auto* bytes = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < size)
    {
        const ssize_t got = ::read(fd, bytes + done, size - done);
        if (got < 0 && errno == EINTR)
        {
            continue;
        }
        if (got < 0)
        {
            lastError = errno;
        }
        if (got <= 0)
        {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

bool PosixFile::Seek(std::int64_t offset)
{
    return fd >= 0 && offset >= 0 && ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

std::size_t PosixFile::Write(const void* buffer, std::size_t size)
{
    if (fd < 0)
    {
        return 0;
    }
    const auto* bytes = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < size)
    {
        const ssize_t put = ::write(fd, bytes + done, size - done);
        if (put < 0 && errno == EINTR)
        {
            continue;
        }
        if (put <= 0)
        {
            // A write that stores nothing and reports no error would repeat for ever; ENOSPC is
            // what it means on every file system that does it.
            lastError = put < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(put);
    }
    return done;
}

std::size_t PosixFile::WriteAt(const void* buffer, std::size_t size, std::int64_t offset)
{
    if (fd < 0 || offset < 0)
    {
        return 0;
    }
    const auto* bytes = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < size)
    {
        const ssize_t put = ::pwrite(fd, bytes + done, size - done,
                                     static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (put < 0 && errno == EINTR)
        {
            continue;
        }
        if (put <= 0)
        {
            // A write that stores nothing and reports no error would repeat for ever; ENOSPC is
            // what it means on every file system that does it.
            lastError = put < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(put);
    }
    return done;
}

void PosixFile::AdviseSequential() const
{
    if (fd >= 0)
    {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
}

bool PosixFile::Sync()
{
    if (fd >= 0 && ::fsync(fd) == 0)
    {
        return true;
    }
    lastError = fd >= 0 ? errno : EBADF;
    return false;
}

bool PosixFile::Truncate(std::int64_t size)
{
    int result = -1;
    do
    {
        result = fd >= 0 ? ::ftruncate(fd, static_cast<off_t>(size)) : -1;
    } while (result != 0 && fd >= 0 && errno == EINTR);
    if (result != 0)
    {
        lastError = fd >= 0 ? errno : EBADF;
    }
    return result == 0;
}

bool PosixFile::Close()
{
    if (fd < 0)
    {
        return true;
    }
    // Linux releases the descriptor even when close reports EINTR, so it is never retried.
    const int result = ::close(fd);
    fd = -1;
    if (result != 0)
    {
        lastError = errno;
    }
    return result == 0;
}

} // namespace telvora

#include "lcmp/FileByteSource.h"

namespace telvora
{

FileByteSource::FileByteSource(const char* path)
    : file(path, PosixFile::Mode::Read)
{
    file.AdviseSequential();
}

void FileByteSource::Close()
{
    file.Close();
}

std::size_t FileByteSource::Read(void* buffer, std::size_t size)
{
    const std::size_t got = file.ReadAt(buffer, size, position);
    position += static_cast<std::int64_t>(got);
    return got;
}

bool FileByteSource::Seek(std::int64_t offset)
{
    if (offset < 0 || !file.IsOpen())
    {
        return false;
    }
    position = offset;
    return true;
}

std::int64_t FileByteSource::Size() const
{
    return file.Size();
}

} // namespace telvora

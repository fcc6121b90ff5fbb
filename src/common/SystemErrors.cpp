#include "common/SystemErrors.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

namespace telvora
{

std::string ErrorReason(int error)
{
    switch (error)
    {
    case 0:
        return "an unknown error";
    case ENOSPC:
    case EDQUOT:
        return "the disk is full";
    case EFBIG:
        return "the file is too large (a file-size limit was reached)";
    case EROFS:
        return "the file system is read-only";
    case EACCES:
    case EPERM:
        return "permission denied";
    case ENOENT:
        return "no such file or folder";
    case ENOTDIR:
        return "a part of the path is not a folder";
    case EISDIR:
        return "it is a folder, not a file";
    case EIO:
        return "an input/output error of the disk";
    case ENAMETOOLONG:
        return "the name is too long";
    case EMFILE:
    case ENFILE:
        return "too many files are open";
    case ENOMEM:
        return "not enough memory";
    default:
        break;
    }
    // Not strerror: Qt switches the C library to the user's locale.
    const char* description = ::strerrordesc_np(error);
    if (description == nullptr)
    {
        return "error " + std::to_string(error);
    }
    std::string text(description);
    if (!text.empty())
    {
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    }
    return text;
}

void IgnoreFileSizeLimitSignal()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

std::string FileProblem(std::string_view path, std::string_view reason)
{
    std::string text(path);
    text += ": ";
    text += reason;
    return text;
}

std::string FileProblem(std::string_view path, int error)
{
    return FileProblem(path, ErrorReason(error));
}

} // namespace telvora

#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <utility>

namespace telvora
{

// Every LAS and archive read or write failure. The text is one of the fixed messages below (or
// another static text of the archive code); it is shown to the user as it stands, so it is never
// copied, built at run time or freed. The detail, where there is one, names the file and says why
// in plain words ("survey.las: the disk is full"); it is shown beside the fixed text.
class CLasException : public std::exception
{
public:
    explicit CLasException(const char* staticText) noexcept
        : message(staticText)
    {
    }
    CLasException(const char* staticText, std::string detailText)
        : message(staticText)
        , detail(std::move(detailText))
    {
    }
    ~CLasException() override = default;

    // The same text, so that whatever catches a plain std::exception reports something useful.
    const char* what() const noexcept override { return message; }
    virtual const char* GetErrorText() const noexcept { return message; }
    const std::string& GetDetail() const noexcept { return detail; }

    // The same failure, its detail naming `shown` where it names `written`: a file written under
    // a hidden name first is known to the user by its final one.
    CLasException NamingFile(std::string_view written, std::string_view shown) const
    {
        std::string text = detail;
        if (text.size() > written.size() && text.compare(0, written.size(), written) == 0 &&
            text[written.size()] == ':')
        {
            text.replace(0, written.size(), shown);
        }
        return CLasException(message, std::move(text));
    }

private:
    const char* message;
    std::string detail;
};

namespace LasMessage
{
inline constexpr const char* kReadFileOpen = "ReadError::File could not be open.";
inline constexpr const char* kReadHeader = "ReadError::LAS Header";
inline constexpr const char* kReadVlr = "ReadError::LAS VRL";
inline constexpr const char* kReadPoint = "ReadError::LAS Point";
// A file that is readable but holds what cannot be shown (another point format, compressed
// records, a later major version).
inline constexpr const char* kReadFormat = "ReadError::LAS Point Format";
inline constexpr const char* kCreatePoints =
    "CLasFile::CreatePoints - can not create points - memory problem?";
inline constexpr const char* kWriteFileCreate = "WriteError::File could not be created.";
inline constexpr const char* kWriteFileOpen = "WriteError::File could not be open.";
inline constexpr const char* kWriteHeader = "WriteError::LAS Header";
inline constexpr const char* kWriteVlr = "WriteError::LAS VRL";
inline constexpr const char* kWriteSignature = "WriteError::LAS Signature";
inline constexpr const char* kWritePoint = "WriteError::LAS Point";

// Shown, not thrown, by the readers of whole attributes; the same text for every format.
inline constexpr const char* kAttributeShortRead = "Can't Read LasPoint0";
inline constexpr const char* kAttributeShortReadCaption = "ReadError";
} // namespace LasMessage

} // namespace telvora

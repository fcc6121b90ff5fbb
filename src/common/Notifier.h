#pragma once

#include <string>

namespace telvora
{

enum class MessageIcon
{
    Information,
    Warning,
    Error,
    Question
};

// Message boxes owned by the main window. Code below the application layer reports through
// this interface, so that it stays free of widgets and tests can record what would be shown.
class INotifier
{
public:
    virtual ~INotifier() = default;

    // The text is the program's fixed message; the detail, which may be empty, names the file
    // and says why in plain words, and is shown beneath it.
    virtual void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                             const std::string& detail) = 0;
};

// Writes "caption: text" (and the detail on the next line) to standard error: what command-line
// tools, and callers that pass no notifier of their own, get.
INotifier& StderrNotifier();

} // namespace telvora

#pragma once

#include "common/Notifier.h"

class QWidget;

namespace telvora
{

// Shows each message in a modal message box with an OK button, owned by the given window.
class CMessageBoxNotifier : public INotifier
{
public:
    explicit CMessageBoxNotifier(QWidget* ownerWindow = nullptr)
        : owner(ownerWindow)
    {
    }

    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                     const std::string& detail) override;

private:
    QWidget* owner;
};

} // namespace telvora

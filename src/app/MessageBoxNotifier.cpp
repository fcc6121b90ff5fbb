#include "app/MessageBoxNotifier.h"

#include <QMessageBox>

namespace telvora
{
namespace
{

QMessageBox::Icon BoxIcon(MessageIcon icon)
{
    switch (icon)
    {
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::Information:
        break;
    }
    return QMessageBox::Information;
}

} // namespace

void CMessageBoxNotifier::ShowMessage(const std::string& text, const std::string& caption,
                                      MessageIcon icon)
{
    QMessageBox box(BoxIcon(icon), QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Ok, owner);
    box.exec();
}

} // namespace telvora

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
                                      MessageIcon icon, const std::string& detail)
{
    QMessageBox box(BoxIcon(icon), QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Ok, owner);
    // Informative rather than detailed text: the file and the reason are what the user needs,
    // and a collapsed "Show Details" section would hide them.
    box.setInformativeText(QString::fromStdString(detail));
    box.exec();
}

} // namespace telvora

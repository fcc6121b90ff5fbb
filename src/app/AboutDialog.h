#pragma once

#include <QDialog>

namespace telvora
{

// The about box: icon, name and version, and what the program is for.
class CAboutDlg : public QDialog
{
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    static QString DescriptionText();
};

} // namespace telvora

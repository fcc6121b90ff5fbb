#include "app/AboutDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/AppIcons.h"

namespace telvora
{

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle("About Telvora");
    setObjectName("aboutDialog");
    auto* icon = new QLabel;
    icon->setPixmap(AppIcon().pixmap(64, 64));
    auto* title = new QLabel(QString("<b>Telvora</b> %1").arg(TELVORA_VERSION));
    auto* description = new QLabel(DescriptionText());
    description->setObjectName("description");
    description->setWordWrap(true);
    description->setMinimumWidth(380);
    auto* copyright = new QLabel("Copyright (C) 2026 The Telvora developers");

    auto* text = new QVBoxLayout;
    text->addWidget(title);
    text->addWidget(description);
    text->addWidget(copyright);
    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addLayout(text, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
}

QString CAboutDlg::DescriptionText()
{
    return "Telvora is a tool for LiDAR data processing: it shows airborne laser-scanning point "
           "clouds in 3D, cuts cross sections to measure and reclassify them, and unpacks "
           "compressed archives. It is an efficient tool for analysing of data collected by "
           "LiDAR technology. This version support LAS file format version 1.0/1.1/1.2 for "
           "Linux.";
}

} // namespace telvora

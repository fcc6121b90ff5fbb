#include "app/OptionsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/QUARNApp.h"

namespace telvora
{

COptionsDialog::COptionsDialog(CQUARNApp& application, QWidget* parent)
    : QDialog(parent)
    , app(application)
    , folderChooser(&COptionsDialog::ChooseFolder)
{
    setWindowTitle("Telvora Options");
    setObjectName("optionsDialog");

    auto* folderGroup = new QGroupBox("Store decompressed files temporarily to this location");
    auto* folderRow = new QHBoxLayout(folderGroup);
    pathText = new QLabel(QDir::toNativeSeparators(app.decompressPath));
    pathText->setObjectName("pathText");
    pathText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pathText->setMinimumWidth(360);
    pathText->setWordWrap(true);
    folderRow->addWidget(pathText, 1);
    changeButton = new QPushButton("Change...");
    changeButton->setObjectName("changeButton");
    changeButton->setAutoDefault(false);
    folderRow->addWidget(changeButton);

    auto* temporaryGroup = new QGroupBox("Temporary Files");
    auto* temporaryRow = new QVBoxLayout(temporaryGroup);
    temporaryFilesBox = new QCheckBox(
        "The program works on temporary files instead of the original (works slower)");
    temporaryFilesBox->setObjectName("temporaryFilesBox");
    temporaryFilesBox->setChecked(app.temporaryFiles);
    temporaryRow->addWidget(temporaryFilesBox);

    auto* viewGroup = new QGroupBox("3D View");
    auto* viewRow = new QVBoxLayout(viewGroup);
    reduceDetailBox = new QCheckBox("Reduce detail while moving");
    reduceDetailBox->setObjectName("reduceDetailBox");
    reduceDetailBox->setToolTip("Draws fewer points while the camera moves, so that flying stays "
                                "smooth without a graphics card; the full picture follows as soon "
                                "as the camera stops.");
    reduceDetailBox->setChecked(app.reduceDetailWhileMoving);
    viewRow->addWidget(reduceDetailBox);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(folderGroup);
    layout->addWidget(temporaryGroup);
    layout->addWidget(viewGroup);
    layout->addStretch(1);
    layout->addWidget(buttons);

    connect(changeButton, &QPushButton::clicked, this, &COptionsDialog::OnChange);
    connect(temporaryFilesBox, &QCheckBox::toggled, this,
            [this](bool checked) { app.temporaryFiles = checked; });
    connect(reduceDetailBox, &QCheckBox::toggled, this,
            [this](bool checked) { app.reduceDetailWhileMoving = checked; });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void COptionsDialog::OnChange()
{
    const QString chosen = folderChooser(this, app.decompressPath);
    if (!chosen.isEmpty())
    {
        // Stored without a trailing separator, like the default.
        app.decompressPath = QDir::cleanPath(chosen);
    }
    pathText->setText(QDir::toNativeSeparators(app.decompressPath));
}

QString COptionsDialog::ChooseFolder(QWidget* parent, const QString& current)
{
    return QFileDialog::getExistingDirectory(parent, "Browse For Folder", current,
                                             QFileDialog::ShowDirsOnly);
}

} // namespace telvora

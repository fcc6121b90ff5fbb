#pragma once

#include <QDialog>
#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;

namespace telvora
{

class CQUARNApp;

// "Telvora Options": the decompression folder, the temporary-files switch and whether the 3D
// view reduces its detail while the camera moves. Changes take effect at once in the
// application object, so Cancel does not undo them; they reach the settings store when the main
// window closes.
class COptionsDialog : public QDialog
{
public:
    // Returns the chosen folder, or an empty string when the user cancels.
    using FolderChooser = std::function<QString(QWidget* parent, const QString& current)>;

    COptionsDialog(CQUARNApp& app, QWidget* parent = nullptr);

    void SetFolderChooser(FolderChooser chooser) { folderChooser = std::move(chooser); }

    QLabel* PathText() const { return pathText; }
    QPushButton* ChangeButton() const { return changeButton; }
    QCheckBox* TemporaryFilesBox() const { return temporaryFilesBox; }
    QCheckBox* ReduceDetailBox() const { return reduceDetailBox; }

    static QString ChooseFolder(QWidget* parent, const QString& current);

private:
    void OnChange();

    CQUARNApp& app;
    FolderChooser folderChooser;
    QLabel* pathText = nullptr;
    QPushButton* changeButton = nullptr;
    QCheckBox* temporaryFilesBox = nullptr;
    QCheckBox* reduceDetailBox = nullptr;
};

} // namespace telvora

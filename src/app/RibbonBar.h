#pragma once

#include <QWidget>

class QMenu;
class QTabWidget;
class QToolButton;

namespace telvora
{

class CCommandTable;

// The command bar above the view: the application ("File") button with its menu, the quick
// access commands, the tabs Home, View, Tools and Compression with their panels, and the Style
// menu and About at the right end of the tab row. Every button is a place of a command in the
// command table, so enable and check rules reach all of them at once.
class CRibbonBar : public QWidget
{
public:
    CRibbonBar(CCommandTable& commands, QWidget* parent = nullptr);

    QMenu* FileMenu() const { return fileMenu; }
    QMenu* StyleMenu() const { return styleMenu; }
    QTabWidget* Tabs() const { return tabs; }
    // The View tab's "Loaded files" button; its menu lists the loaded files.
    QToolButton* LoadedFilesButton() const { return loadedFilesButton; }
    // The Compression tab's "Open" button; its menu lists the entries of an opened archive.
    QToolButton* ArchiveOpenButton() const { return archiveOpenButton; }

private:
    QWidget* BuildHomeTab();
    QWidget* BuildViewTab();
    QWidget* BuildToolsTab();
    QWidget* BuildCompressionTab();
    QToolButton* LargeButton(int id, const QString& text);

    CCommandTable& commands;
    QMenu* fileMenu = nullptr;
    QMenu* styleMenu = nullptr;
    QTabWidget* tabs = nullptr;
    QToolButton* loadedFilesButton = nullptr;
    QToolButton* archiveOpenButton = nullptr;
};

} // namespace telvora

#pragma once

#include <QString>
#include <functional>
#include <string>

#include "app/CompressionDialog.h"

namespace telvora
{

class CMainFrame;
class CQUARNApp;

// The Compression tab: opening an archive lists its entries as commands 33000 + index under the
// "Open" button; choosing one decompresses it with the "Decompress" dialog into the
// decompression folder and loads the result as the scene.
//
// Only files this program made are temporary: a file the user declined to overwrite is loaded
// as it is and left in place when the scene closes.
class CArchiveCommands
{
public:
    CArchiveCommands(CMainFrame& frame, CQUARNApp& app);

    // The open dialog's filter; the extension is matched whatever its case.
    static QString ArchiveFileFilter();
    static bool IsArchivePath(const QString& path);

    // Compression > Open: asks for an archive and opens it.
    void ChooseAndOpen();
    // Closes the scene and lists the archive's entries. True when it has at least one.
    bool OpenArchive(const QString& path);
    // An entry command: decompresses entry id - 33000 of the listed archive and loads it. When
    // nothing can be loaded (aborted, failed, unreadable), the archive is listed again.
    void OpenArchiveEntry(int id);

    // Seams for tests: the archive chooser (an empty result is a cancelled dialog), the questions
    // of the dialog, and a look at each dialog before it runs.
    void SetChooser(std::function<QString()> chooser) { archiveChooser = std::move(chooser); }
    void SetAsker(QuestionAsker newAsker) { asker = std::move(newAsker); }
    void SetDialogHook(std::function<void(CCompressionDialog&)> hook)
    {
        dialogHook = std::move(hook);
    }

private:
    // The state after Close and archive open: the set of the archive, nothing drawn.
    void ListAgain(const std::string& archivePath);
    void AddEntryCommands(const std::vector<std::string>& names);

    CMainFrame& frame;
    CQUARNApp& app;
    QString lastFolder;
    std::function<QString()> archiveChooser;
    QuestionAsker asker = AskWithMessageBox;
    std::function<void(CCompressionDialog&)> dialogHook;
};

} // namespace telvora

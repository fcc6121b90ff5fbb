#pragma once

#include <QWidget>
#include <memory>

class QComboBox;

namespace telvora
{

class CHeaderRows;
class CLasFileSet;
class CPaneToolBar;
class CPropertyGrid;
class CPropertyRow;
class INotifier;

// The "File Properties" pane: the public header of one loaded file, field by field, and on
// request its variable length records. A list at the top chooses the file; the toolbar expands
// every group, switches between grouped and alphabetical order and shows the records. The pane
// only displays; it never changes a file. It borrows the loaded-file set from the main window,
// which hands it over after every load and takes it back (ClearFileSet) before releasing it.
class CPropertiesFileWnd : public QWidget
{
    Q_OBJECT

public:
    // Read failures of the records are reported through the notifier, which must outlive the
    // pane.
    explicit CPropertiesFileWnd(INotifier* notifier, QWidget* parent = nullptr);
    ~CPropertiesFileWnd() override;
    CPropertiesFileWnd(const CPropertiesFileWnd&) = delete;
    CPropertiesFileWnd& operator=(const CPropertiesFileWnd&) = delete;

    // After every load: shows the Header group, lists the set's files by name in the set's
    // order, selects the first and shows its header. A set of none is taken as ClearFileSet.
    void SetFileSet(const CLasFileSet* set);
    // Before the set is released: forgets it, empties the list and every row and hides the
    // Header group, as before the first load.
    void ClearFileSet();
    // The selected file's header, or empty rows without a set or a selection.
    void ShowHeader();
    // Replaces the "Variable length records" group by that of the selected file, after the
    // Header group, and the "Extended variable length records" group of a LAS 1.4 file by its
    // own, after that; nothing when no file is selected or its header declares no record. A read
    // failure shows neither group.
    void ShowVariableLengthRecords();

    CPropertyGrid* GetGrid() const { return grid; }
    QComboBox* GetFileList() const { return fileList; }
    CPaneToolBar* GetToolBar() const { return toolBar; }
    // The groups now shown, or none.
    CPropertyRow* GetVlrGroup() const { return vlrGroup; }
    CPropertyRow* GetEvlrGroup() const { return evlrGroup; }

private:
    void RefillFileList();
    void OnFileSelected();
    void RemoveRecordGroups();

    INotifier* notifier = nullptr;
    const CLasFileSet* fileSet = nullptr;
    QComboBox* fileList = nullptr;
    CPaneToolBar* toolBar = nullptr;
    CPropertyGrid* grid = nullptr;
    std::unique_ptr<CHeaderRows> headerRows;
    CPropertyRow* vlrGroup = nullptr;
    CPropertyRow* evlrGroup = nullptr;
};

} // namespace telvora

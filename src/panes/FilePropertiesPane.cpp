#include "panes/FilePropertiesPane.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "common/CommandIds.h"
#include "common/Notifier.h"
#include "las/LasException.h"
#include "panes/HeaderRows.h"
#include "panes/PaneToolBar.h"
#include "panes/PropertyGrid.h"
#include "panes/VlrRows.h"
#include "scene/LasFileSet.h"

namespace telvora
{

namespace
{

// The name after the last slash or backslash, or the whole path without one. Paths are bytes;
// they are shown as the system names files.
QString FileName(const char* path)
{
    if (path == nullptr)
    {
        return QString();
    }
    const QString whole = QFile::decodeName(path);
    const qsizetype cut =
        std::max(whole.lastIndexOf(QLatin1Char('/')), whole.lastIndexOf(QLatin1Char('\\')));
    return whole.mid(cut + 1);
}

} // namespace

CPropertiesFileWnd::CPropertiesFileWnd(INotifier* paneNotifier, QWidget* parent)
    : QWidget(parent)
    , notifier(paneNotifier)
{
    setObjectName(QStringLiteral("filePropertiesPane"));
    setAccessibleName(QStringLiteral("File Properties"));

    fileList = new QComboBox(this);
    fileList->setObjectName(QStringLiteral("fileList"));
    fileList->setAccessibleName(QStringLiteral("Loaded files"));
    fileList->setEditable(false);

    toolBar =
        new CPaneToolBar({ID_EXPAND_ALL, ID_SORTPROPERTIES, ID_SHOW_VRL, ID_PROPERTIES2}, this);
    toolBar->setObjectName(QStringLiteral("filePropertiesToolBar"));
    toolBar->setAccessibleName(QStringLiteral("File properties commands"));

    grid = new CPropertyGrid(this);
    grid->setObjectName(QStringLiteral("filePropertiesGrid"));
    grid->GetTree()->setAccessibleName(QStringLiteral("File header and records"));
    headerRows = std::make_unique<CHeaderRows>(*grid);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(fileList);
    layout->addWidget(toolBar);
    layout->addWidget(grid, 1);
    setFocusProxy(grid);

    connect(toolBar->GetAction(ID_EXPAND_ALL), &QAction::triggered, grid,
            &CPropertyGrid::ExpandAll);
    connect(toolBar->GetAction(ID_SORTPROPERTIES), &QAction::toggled, grid,
            &CPropertyGrid::SetAlphabetical);
    connect(toolBar->GetAction(ID_SHOW_VRL), &QAction::triggered, this,
            &CPropertiesFileWnd::ShowVariableLengthRecords);
    connect(fileList, &QComboBox::currentIndexChanged, this, &CPropertiesFileWnd::OnFileSelected);
}

CPropertiesFileWnd::~CPropertiesFileWnd() = default;

void CPropertiesFileWnd::SetFileSet(const CLasFileSet* set)
{
    if (set == nullptr)
    {
        ClearFileSet();
        return;
    }
    fileSet = set;
    grid->SetHidden(headerRows->GetGroup(), false);
    RefillFileList();
    // Records of a file of the previous set must not stay beside the new header.
    RemoveRecordGroups();
    ShowHeader();
}

void CPropertiesFileWnd::ClearFileSet()
{
    fileSet = nullptr;
    RefillFileList();
    RemoveRecordGroups();
    ShowHeader();
    grid->SetHidden(headerRows->GetGroup(), true);
}

void CPropertiesFileWnd::RefillFileList()
{
    // One ShowHeader follows the refill, not one per entry.
    const QSignalBlocker blocker(fileList);
    fileList->clear();
    if (fileSet == nullptr)
    {
        return;
    }
    for (std::int32_t i = 0; i < fileSet->count; ++i)
    {
        fileList->addItem(FileName(fileSet->files[i].path));
    }
    fileList->setCurrentIndex(fileList->count() > 0 ? 0 : -1);
}

void CPropertiesFileWnd::OnFileSelected()
{
    RemoveRecordGroups();
    ShowHeader();
}

void CPropertiesFileWnd::ShowHeader()
{
    const int k = fileList->currentIndex();
    const bool shown = fileSet != nullptr && k >= 0 && k < fileSet->count;
    headerRows->Show(shown ? fileSet->files[k].header : nullptr);
}

void CPropertiesFileWnd::ShowVariableLengthRecords()
{
    RemoveRecordGroups();
    const int k = fileList->currentIndex();
    if (fileSet == nullptr || k < 0 || k >= fileSet->count)
    {
        return;
    }
    std::unique_ptr<CPropertyRow> group;
    std::unique_ptr<CPropertyRow> extendedGroup;
    try
    {
        group = MakeVlrGroup(fileSet->files[k]);
        extendedGroup = MakeEvlrGroup(fileSet->files[k]);
    }
    catch (const CLasException& error)
    {
        if (notifier != nullptr)
        {
            notifier->ShowMessage(error.GetErrorText(), "Telvora", MessageIcon::Error,
                                  error.GetDetail());
        }
        return;
    }
    if (group != nullptr)
    {
        vlrGroup = grid->AddRow(std::move(group));
    }
    if (extendedGroup != nullptr)
    {
        evlrGroup = grid->AddRow(std::move(extendedGroup));
    }
}

void CPropertiesFileWnd::RemoveRecordGroups()
{
    for (CPropertyRow** shown : {&vlrGroup, &evlrGroup})
    {
        if (*shown != nullptr)
        {
            grid->RemoveRow(*shown);
            *shown = nullptr;
        }
    }
}

} // namespace telvora

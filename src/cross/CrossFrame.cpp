#include "cross/CrossFrame.h"

#include <QAction>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QStatusBar>
#include <QToolBar>
#include <QWidget>

#include "cross/ProfileExport.h"
#include "cross/PropertiesCrossWnd.h"
#include "las/LasException.h"

namespace telvora
{

CCrossFrame::CCrossFrame(QWidget* owner, CCrossFrame** openSlot)
    : QMainWindow(owner, Qt::Window)
    , slot(openSlot)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Cross Section");
    resize(1000, 800);
    move(0, 0);

    view = new CCrossView(this);
    setCentralWidget(view);
    setFocusProxy(view);

    statusPane = new QLabel("Ready", this);
    statusPane->setObjectName("Measurment");
    statusPane->setToolTip("Measurment");
    statusBar()->addWidget(statusPane, 1);
    view->SetStatusSink([this](const std::string& text) { SetStatusText(text); });

    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);
    propertiesPane = new QDockWidget("Cross Section Properties", this);
    propertiesPane->setObjectName("CrossSectionProperties");
    propertiesPane->setAllowedAreas(Qt::AllDockWidgetAreas);
    properties = new PropertiesCrossWnd(*view, width, propertiesPane);
    properties->setMinimumSize(200, 200);
    propertiesPane->setWidget(properties);
    addDockWidget(Qt::LeftDockWidgetArea, propertiesPane);

    // Reclassifications write into the user's files: each can be taken back while the window is
    // open.
    QToolBar* tools = addToolBar("Edit");
    tools->setObjectName("crossTools");
    tools->setMovable(false);
    undoAction = tools->addAction("Undo", this,
                                  [this]
                                  {
                                      view->Undo();
                                      UpdateActions();
                                  });
    undoAction->setShortcut(QKeySequence::Undo);
    redoAction = tools->addAction("Redo", this,
                                  [this]
                                  {
                                      view->Redo();
                                      UpdateActions();
                                  });
    redoAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence::Redo});
    exportAction = tools->addAction("Export Profile...", this, [this] { ChooseAndExport(); });
    connect(properties, &PropertiesCrossWnd::reclassified, this, &CCrossFrame::UpdateActions);
    UpdateActions();
}

void CCrossFrame::UpdateActions()
{
    undoAction->setEnabled(view->History().CanUndo());
    redoAction->setEnabled(view->History().CanRedo());
}

void CCrossFrame::ChooseAndExport()
{
    QString path;
    if (exportChooser)
    {
        path = exportChooser();
    }
    else
    {
        path = QFileDialog::getSaveFileName(this, "Export Profile", QString(),
                                            "CSV File (*.csv *.CSV)");
    }
    if (!path.isEmpty())
    {
        ExportProfile(path);
    }
}

bool CCrossFrame::ExportProfile(const QString& path)
{
    const SectionSource& source = view->Source();
    if (source.set == nullptr)
    {
        return false;
    }
    try
    {
        WriteProfileCsv(QFile::encodeName(path).toStdString(), *source.set, view->Section());
    }
    catch (const CLasException& error)
    {
        INotifier& shown = notifier != nullptr ? *notifier : StderrNotifier();
        shown.ShowMessage(error.GetErrorText(), "Cross Section", MessageIcon::Error,
                          error.GetDetail());
        return false;
    }
    SetStatusText("Done");
    return true;
}

CCrossFrame::~CCrossFrame()
{
    if (slot != nullptr && *slot == this)
    {
        *slot = nullptr;
    }
}

void CCrossFrame::SetSection(const SectionSource& source, float sectionWidth)
{
    width = sectionWidth;
    // The plot needs the view's final size before the first build.
    ensurePolished();
    if (layout() != nullptr)
    {
        layout()->activate();
    }
    view->SetSource(source, &width);
}

void CCrossFrame::SetStatusText(const std::string& text)
{
    statusPane->setText(QString::fromStdString(text));
}

QString CCrossFrame::StatusText() const
{
    return statusPane->text();
}

} // namespace telvora

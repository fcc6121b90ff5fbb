#include "cross/CrossFrame.h"

#include <QDockWidget>
#include <QLabel>
#include <QLayout>
#include <QStatusBar>
#include <QWidget>

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
    propertiesPane->setWidget(new QWidget(propertiesPane));
    propertiesPane->widget()->setMinimumSize(200, 200);
    addDockWidget(Qt::LeftDockWidgetArea, propertiesPane);
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

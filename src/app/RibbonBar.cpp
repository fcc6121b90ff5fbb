#include "app/RibbonBar.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/AppIcons.h"
#include "app/CommandTable.h"
#include "common/CommandIds.h"

namespace telvora
{
namespace
{

constexpr int kLargeIcon = 32;
constexpr int kSmallIcon = 16;

// A ribbon panel: its buttons in a row and its caption underneath.
QFrame* Panel(const QString& caption, const QList<QWidget*>& widgets)
{
    auto* panel = new QFrame;
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Raised);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(4, 2, 4, 2);
    column->setSpacing(0);
    auto* row = new QHBoxLayout;
    row->setSpacing(2);
    for (QWidget* widget : widgets)
    {
        row->addWidget(widget, 0, Qt::AlignTop);
    }
    column->addLayout(row, 1);
    auto* label = new QLabel(caption);
    label->setAlignment(Qt::AlignHCenter);
    label->setEnabled(false);
    column->addWidget(label);
    return panel;
}

QWidget* TabPage(const QList<QFrame*>& panels)
{
    auto* page = new QWidget;
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(4, 4, 4, 4);
    row->setSpacing(6);
    for (QFrame* panel : panels)
    {
        row->addWidget(panel);
    }
    row->addStretch(1);
    return page;
}

QToolButton* SmallButton(QAction* action)
{
    auto* button = new QToolButton;
    button->setDefaultAction(action);
    button->setAutoRaise(true);
    button->setIconSize(QSize(kSmallIcon, kSmallIcon));
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    return button;
}

} // namespace

CRibbonBar::CRibbonBar(CCommandTable& commandTable, QWidget* parent)
    : QWidget(parent)
    , commands(commandTable)
{
    setObjectName("ribbonBar");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 0);
    layout->setSpacing(2);

    // Application button and quick access commands.
    auto* top = new QHBoxLayout;
    top->setSpacing(2);
    auto* appButton = new QToolButton;
    appButton->setObjectName("applicationButton");
    appButton->setText("&File");
    appButton->setIcon(AppIcon());
    appButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    appButton->setPopupMode(QToolButton::InstantPopup);
    // The application button stands out from the tabs, in the look's accent colour.
    appButton->setStyleSheet("QToolButton { background: palette(highlight); "
                             "color: palette(highlighted-text); border-radius: 3px; "
                             "padding: 2px 10px 2px 4px; }");
    fileMenu = new QMenu("File", appButton);
    fileMenu->setObjectName("fileMenu");
    fileMenu->addAction(commands.AddPlace(ID_FILE_OPEN, "&Open...", CommandIcon(ID_FILE_OPEN)));
    fileMenu->addAction(commands.AddPlace(ID_FILE_SAVE, "&Save", CommandIcon(ID_FILE_SAVE)));
    fileMenu->addAction(
        commands.AddPlace(ID_FILE_SAVE_AS, "Save &As...", CommandIcon(ID_FILE_SAVE_AS)));
    fileMenu->addAction(commands.AddPlace(ID_FILE_PRINT, "&Print", CommandIcon(ID_FILE_PRINT)));
    fileMenu->addSeparator();
    fileMenu->addAction(commands.AddPlace(ID_FILE_CLOSE, "Close", CommandIcon(ID_FILE_CLOSE)));
    fileMenu->addSection("Recent Documents");
    fileMenu->addSeparator();
    fileMenu->addAction(commands.AddPlace(ID_APP_OPTIONS, "Options"));
    fileMenu->addAction(commands.AddPlace(ID_APP_EXIT, "E&xit", CommandIcon(ID_APP_EXIT)));
    appButton->setMenu(fileMenu);
    top->addWidget(appButton);

    auto* quickAccess = new QWidget;
    quickAccess->setObjectName("quickAccess");
    auto* quickRow = new QHBoxLayout(quickAccess);
    quickRow->setContentsMargins(6, 0, 0, 0);
    quickRow->setSpacing(0);
    quickRow->addWidget(
        SmallButton(commands.AddPlace(ID_FILE_NEW, "New", CommandIcon(ID_FILE_NEW))));
    quickRow->addWidget(
        SmallButton(commands.AddPlace(ID_FILE_OPEN, "Open", CommandIcon(ID_FILE_OPEN))));
    quickRow->addWidget(
        SmallButton(commands.AddPlace(ID_FILE_SAVE, "Save", CommandIcon(ID_FILE_SAVE))));
    quickRow->addWidget(SmallButton(
        commands.AddPlace(ID_FILE_PRINT_DIRECT, "Quick Print", CommandIcon(ID_FILE_PRINT_DIRECT))));
    top->addWidget(quickAccess);
    top->addStretch(1);
    layout->addLayout(top);

    tabs = new QTabWidget;
    tabs->setObjectName("ribbonTabs");
    tabs->setDocumentMode(true);
    tabs->addTab(BuildHomeTab(), "&Home");
    tabs->addTab(BuildViewTab(), "&View");
    tabs->addTab(BuildToolsTab(), "&Tools");
    tabs->addTab(BuildCompressionTab(), "Compression");

    // Style and About at the right end of the tab row.
    auto* corner = new QWidget;
    auto* cornerRow = new QHBoxLayout(corner);
    cornerRow->setContentsMargins(0, 0, 4, 0);
    cornerRow->setSpacing(2);
    auto* styleButton = new QToolButton;
    styleButton->setObjectName("styleButton");
    styleButton->setText("&Style");
    styleButton->setPopupMode(QToolButton::InstantPopup);
    styleButton->setAutoRaise(true);
    styleMenu = new QMenu("Style", styleButton);
    styleMenu->setObjectName("styleMenu");
    styleMenu->addAction(
        commands.AddPlace(ID_VIEW_APPLOOK_OFF_2007_BLUE, "Office 2007 (Blue Style)"));
    styleMenu->addAction(
        commands.AddPlace(ID_VIEW_APPLOOK_OFF_2007_BLACK, "Office 2007 (Black Style)"));
    styleMenu->addAction(
        commands.AddPlace(ID_VIEW_APPLOOK_OFF_2007_SILVER, "Office 2007 (Silver Style)"));
    styleMenu->addAction(
        commands.AddPlace(ID_VIEW_APPLOOK_OFF_2007_AQUA, "Office 2007 (Aqua Style)"));
    styleMenu->addAction(commands.AddPlace(ID_VIEW_APPLOOK_WINDOWS_7, "Windows 7"));
    styleButton->setMenu(styleMenu);
    cornerRow->addWidget(styleButton);
    auto* aboutButton = new QToolButton;
    aboutButton->setObjectName("aboutButton");
    aboutButton->setAutoRaise(true);
    aboutButton->setDefaultAction(
        commands.AddPlace(ID_APP_ABOUT, "&About", CommandIcon(ID_APP_ABOUT)));
    aboutButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
    cornerRow->addWidget(aboutButton);
    tabs->setCornerWidget(corner, Qt::TopRightCorner);
    layout->addWidget(tabs);
}

QToolButton* CRibbonBar::LargeButton(int id, const QString& text)
{
    auto* button = new QToolButton;
    button->setDefaultAction(commands.AddPlace(id, text, CommandIcon(id)));
    button->setAutoRaise(true);
    button->setIconSize(QSize(kLargeIcon, kLargeIcon));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setMinimumWidth(56);
    return button;
}

QWidget* CRibbonBar::BuildHomeTab()
{
    QFrame* file =
        Panel("File", {LargeButton(ID_FILE_OPEN, "Open"), LargeButton(ID_FILE_SAVE, "Save")});

    // The status bar switch is a check box; it mirrors and drives its command's action.
    QAction* statusBarAction = commands.AddPlace(ID_VIEW_STATUS_BAR, "Status Bar");
    auto* statusBarBox = new QCheckBox("Status Bar");
    statusBarBox->setObjectName("statusBarCheck");
    connect(statusBarBox, &QCheckBox::clicked, statusBarAction, &QAction::trigger);
    connect(statusBarAction, &QAction::changed, statusBarBox,
            [statusBarBox, statusBarAction]
            {
                statusBarBox->setEnabled(statusBarAction->isEnabled());
                statusBarBox->setChecked(statusBarAction->isChecked());
            });
    // The Classes pane's switch works the same way.
    QAction* classesAction = commands.AddPlace(ID_VIEW_CLASSES, "Classes");
    auto* classesBox = new QCheckBox("Classes");
    classesBox->setObjectName("classesCheck");
    connect(classesBox, &QCheckBox::clicked, classesAction, &QAction::trigger);
    connect(classesAction, &QAction::changed, classesBox,
            [classesBox, classesAction]
            {
                classesBox->setEnabled(classesAction->isEnabled());
                classesBox->setChecked(classesAction->isChecked());
            });
    QFrame* view = Panel("View", {statusBarBox, classesBox});
    return TabPage({file, view});
}

QWidget* CRibbonBar::BuildViewTab()
{
    QFrame* dataPanel = Panel(
        "Data",
        {LargeButton(ID_VIEW_INTENSITY, "Intensity"), LargeButton(ID_VIEW_HISTOGRAM, "Histogram"),
         LargeButton(ID_VIEW_CLASSIFICATION, "Classification"),
         LargeButton(ID_VIEW_SCANANGLERANK, "Scan Angle Rank"),
         LargeButton(ID_VIEW_RETURNNUMBER, "Return Number"), LargeButton(ID_VIEW_HEIGHT, "Height"),
         LargeButton(ID_VIEW_FILES, "Files"), LargeButton(ID_VIEW_COLOR, "Color")});
    loadedFilesButton = LargeButton(ID_VIEW_FILE, "Loaded files");
    loadedFilesButton->setObjectName("loadedFilesButton");
    loadedFilesButton->setPopupMode(QToolButton::InstantPopup);
    loadedFilesButton->setMenu(new QMenu(loadedFilesButton));
    QFrame* file = Panel("File", {loadedFilesButton});
    // The Classes pane, also reachable beside the status bar switch on the Home tab.
    QFrame* filter = Panel("Filter", {LargeButton(ID_VIEW_CLASSES, "Classes")});
    return TabPage({dataPanel, file, filter});
}

QWidget* CRibbonBar::BuildToolsTab()
{
    return TabPage({Panel("Cross Section", {LargeButton(ID_TOOLS_CROSSSECTION, "Cross Section")}),
                    Panel("Measure", {LargeButton(ID_TOOLS_MEASURE, "Measure")})});
}

QWidget* CRibbonBar::BuildCompressionTab()
{
    archiveOpenButton = LargeButton(ID_COMPRESSION_OPEN, "Open");
    archiveOpenButton->setObjectName("archiveOpenButton");
    archiveOpenButton->setPopupMode(QToolButton::MenuButtonPopup);
    archiveOpenButton->setMenu(new QMenu(archiveOpenButton));
    return TabPage({Panel("Compression", {archiveOpenButton})});
}

} // namespace telvora

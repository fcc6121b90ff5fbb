#include "panes/PointPropertiesPane.h"

#include <QAction>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "common/CommandIds.h"
#include "common/Notifier.h"
#include "las/LASPoint.h"
#include "las/LasException.h"
#include "las/LasFile.h"
#include "panes/PaneText.h"
#include "panes/PaneToolBar.h"
#include "panes/PropertyGrid.h"

namespace telvora
{

CPropertiesPointWnd::CPropertiesPointWnd(INotifier* paneNotifier, QWidget* parent)
    : QWidget(parent)
    , notifier(paneNotifier)
{
    setObjectName(QStringLiteral("pointPropertiesPane"));
    setAccessibleName(QStringLiteral("Point Properties"));

    toolBar =
        new CPaneToolBar({ID_EXPAND_ALL, ID_SORTPROPERTIES, ID_PROPERTIES1, ID_PROPERTIES2}, this);
    toolBar->setObjectName(QStringLiteral("pointPropertiesToolBar"));
    toolBar->setAccessibleName(QStringLiteral("Point properties commands"));

    grid = new CPropertyGrid(this);
    grid->setObjectName(QStringLiteral("pointPropertiesGrid"));
    grid->GetTree()->setAccessibleName(QStringLiteral("Picked point"));
    BuildRows();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolBar);
    layout->addWidget(grid, 1);
    setFocusProxy(grid);

    connect(toolBar->GetAction(ID_EXPAND_ALL), &QAction::triggered, grid,
            &CPropertyGrid::ExpandAll);
    connect(toolBar->GetAction(ID_SORTPROPERTIES), &QAction::toggled, grid,
            &CPropertyGrid::SetAlphabetical);
}

CPropertiesPointWnd::~CPropertiesPointWnd() = default;

void CPropertiesPointWnd::BuildRows()
{
    auto group = CPropertyRow::MakeGroup(QStringLiteral("Point"));
    const QString coordinates =
        QStringLiteral("The X, Y, and Z values are stored as long integers.");
    CPropertyRow* fileCoordinates = group->AddChild(
        CPropertyRow::MakeGroup(QStringLiteral("File Coordinates"), coordinates, true));
    const auto add = [](CPropertyRow* parent, const QString& name, const QString& description)
    { return parent->AddChild(CPropertyRow::MakeText(name, description)); };

    rows[kX] = add(fileCoordinates, QStringLiteral("X"), coordinates);
    rows[kY] = add(fileCoordinates, QStringLiteral("Y"), coordinates);
    rows[kZ] = add(fileCoordinates, QStringLiteral("Z"), coordinates);
    rows[kIntensity] = add(group.get(), QStringLiteral("Intensity"),
                           QStringLiteral("The intensity value is the integer representation of "
                                          "the pulse return magnitude."));
    rows[kReturnNumber] = add(group.get(), QStringLiteral("Return Number"),
                              QStringLiteral("The Return Number is the pulse return number for a "
                                             "given output pulse."));
    rows[kNumberOfReturns] = add(group.get(), QStringLiteral("Number of Returns"),
                                 QStringLiteral("The Number of Returns is the total number of "
                                                "returns for a given pulse."));
    rows[kScanDirectionFlag] =
        add(group.get(), QStringLiteral("Scan Direction Flag"),
            QStringLiteral("The Scan Direction Flag denotes the direction at which the scanner "
                           "mirror was traveling at the time of the output pulse."));
    rows[kEdgeOfFlightLine] =
        add(group.get(), QStringLiteral("Edge of Flight Line"),
            QStringLiteral("The Edge of Flight Line data bit has a value of 1 only when the point "
                           "is at the end of a scan."));
    rows[kClassification] =
        add(group.get(), QStringLiteral("Classification"), QStringLiteral("ASPRS classification."));
    rows[kScanAngleRank] =
        add(group.get(), QStringLiteral("Scan Angle Rank"),
            QStringLiteral("The Scan Angle Rank is the angle at which the laser point was output "
                           "from the laser system including the roll of the aircraft."));
    rows[kUserData] = add(group.get(), QStringLiteral("User Data"),
                          QStringLiteral("This field may be used at the user’s discretion."));
    rows[kPointSourceId] =
        add(group.get(), QStringLiteral("Point Source ID"),
            QStringLiteral("This value indicates the file from which this point originated."));
    rows[kGpsTime] = add(group.get(), QStringLiteral("GPS Time"),
                         QStringLiteral("The GPS Time is the double floating point time tag "
                                        "value at which the point was acquired."));
    CPropertyRow* color = group->AddChild(CPropertyRow::MakeGroup(
        QStringLiteral("Color"),
        QStringLiteral("These fields are used when “colorizing” a LIDAR point using ancillary "
                       "data, typically from a camera."),
        true));
    rows[kRed] = add(color, QStringLiteral("Red"),
                     QStringLiteral("The Red image channel value associated with this point"));
    rows[kGreen] = add(color, QStringLiteral("Green"),
                       QStringLiteral("The Green image channel value associated with this point"));
    rows[kBlue] = add(color, QStringLiteral("Blue"),
                      QStringLiteral("The Blue image channel value associated with this point"));

    coordinatesGroup = fileCoordinates;
    colorGroup = color;
    pointGroup = grid->AddRow(std::move(group));
    grid->SetHidden(rows[kGpsTime], true);
    grid->SetHidden(colorGroup, true);
    grid->SetHidden(pointGroup, true);
}

void CPropertiesPointWnd::ShowPoint(const CLasFile& file, std::uint32_t index)
{
    point.reset();
    try
    {
        point.reset(file.ReadPoint(index));
    }
    catch (const CLasException& error)
    {
        RefreshPointProperties();
        if (notifier != nullptr)
        {
            notifier->ShowMessage(error.GetErrorText(), "Telvora", MessageIcon::Error,
                                  error.GetDetail());
        }
        return;
    }
    if (point == nullptr || file.header == nullptr)
    {
        point.reset();
        RefreshPointProperties();
        return;
    }
    const LasHeader& header = *file.header;
    position = {static_cast<double>(point->GetX()) * header.xScaleFactor + header.xOffset,
                static_cast<double>(point->GetY()) * header.yScaleFactor + header.yOffset,
                static_cast<double>(point->GetZ()) * header.zScaleFactor + header.zOffset};
    RefreshPointProperties();
    emit pointShown();
}

void CPropertiesPointWnd::ClearPoint()
{
    point.reset();
    RefreshPointProperties();
}

void CPropertiesPointWnd::RefreshPointProperties()
{
    if (point == nullptr)
    {
        for (CPropertyRow* row : rows)
        {
            grid->SetValue(row, QString());
        }
        grid->SetHidden(pointGroup, true);
        return;
    }
    const LASPoint& p = *point;
    const std::int32_t raw[3] = {p.GetX(), p.GetY(), p.GetZ()};
    for (int axis = 0; axis < 3; ++axis)
    {
        grid->SetValue(rows[kX + axis], FixedText(position[axis]) + QStringLiteral(" (") +
                                            QString::number(raw[axis]) + QLatin1Char(')'));
    }
    grid->SetValue(rows[kIntensity], QString::number(p.GetIntensity()));
    grid->SetValue(rows[kReturnNumber], QString::number(p.GetReturnNumber()));
    grid->SetValue(rows[kNumberOfReturns], QString::number(p.GetNumberOfReturns()));
    grid->SetValue(rows[kScanDirectionFlag], QString::number(p.GetScanDirectionFlag()));
    grid->SetValue(rows[kEdgeOfFlightLine], QString::number(p.GetEdgeOfFlightLine()));
    grid->SetValue(rows[kClassification], QString::number(p.GetClassification()));
    grid->SetValue(rows[kScanAngleRank], QString::number(p.GetScanAngleRank()));
    grid->SetValue(rows[kUserData], QString::number(p.GetUserData()));
    grid->SetValue(rows[kPointSourceId], QString::number(p.GetPointSourceID()));
    grid->SetValue(rows[kGpsTime], FixedText(p.GetGPSTime()));
    grid->SetValue(rows[kRed], QString::number(p.GetRed()));
    grid->SetValue(rows[kGreen], QString::number(p.GetGreen()));
    grid->SetValue(rows[kBlue], QString::number(p.GetBlue()));
    grid->SetHidden(pointGroup, false);

    const int format = p.GetFormat();
    if (format >= 0 && format <= 3)
    {
        const bool hasTime = format == 1 || format == 3;
        const bool hasColor = format == 2 || format == 3;
        grid->SetHidden(rows[kGpsTime], !hasTime);
        grid->SetHidden(colorGroup, !hasColor);
    }
}

} // namespace telvora

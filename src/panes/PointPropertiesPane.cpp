#include "panes/PointPropertiesPane.h"

#include <QAction>
#include <QStringList>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "common/CommandIds.h"
#include "common/Notifier.h"
#include "las/LASPoint.h"
#include "las/LASPointFormats.h"
#include "las/LasException.h"
#include "las/LasFile.h"
#include "panes/Measurement.h"
#include "panes/PaneText.h"
#include "panes/PaneToolBar.h"
#include "panes/PropertyGrid.h"

namespace telvora
{

namespace
{

// The four flags' bits as a number, then the names of those set: "11 (Synthetic, Key-point,
// Overlap)"; "0" when none is.
QString FlagsText(std::uint8_t flags)
{
    static const char* const kNames[] = {"Synthetic", "Key-point", "Withheld", "Overlap"};
    QStringList set;
    for (unsigned bit = 0; bit < 4; ++bit)
    {
        if ((flags >> bit) & 1u)
        {
            set.push_back(QLatin1String(kNames[bit]));
        }
    }
    const QString number = QString::number(flags);
    return set.isEmpty()
               ? number
               : number + QStringLiteral(" (") + set.join(QStringLiteral(", ")) + QLatin1Char(')');
}

// Degrees with three decimals, then the stored steps of 0.006 degrees: "-12.006 (-2001)". A step
// is six thousandths, so the text is exact, made from whole numbers, and the same in every
// locale.
QString ScanAngleText(std::int16_t steps)
{
    const int thousandths = steps * 6;
    const int magnitude = thousandths < 0 ? -thousandths : thousandths;
    return (thousandths < 0 ? QStringLiteral("-") : QString()) + QString::number(magnitude / 1000) +
           QLatin1Char('.') + QStringLiteral("%1").arg(magnitude % 1000, 3, 10, QLatin1Char('0')) +
           QStringLiteral(" (") + QString::number(steps) + QLatin1Char(')');
}

} // namespace

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
    rows[kClassificationFlags] =
        add(group.get(), QStringLiteral("Classification Flags"),
            QStringLiteral("The Classification Flags mark the point as synthetic (bit 0), as a "
                           "model key-point (bit 1), as withheld (bit 2) or as lying in the "
                           "overlap of flight lines (bit 3)."));
    rows[kScannerChannel] =
        add(group.get(), QStringLiteral("Scanner Channel"),
            QStringLiteral("The Scanner Channel is the channel (scanner head), 0 to 3, of a "
                           "multi-channel system that produced the point."));
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
    rows[kScanAngle] =
        add(group.get(), QStringLiteral("Scan Angle"),
            QStringLiteral("The Scan Angle, in degrees, is the angle at which the laser point was "
                           "output from the laser system including the roll of the aircraft; "
                           "the file holds it in steps of 0.006 degrees (in parentheses)."));
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
    rows[kNir] = add(group.get(), QStringLiteral("NIR"),
                     QStringLiteral("The NIR (near infrared) channel value associated with this "
                                    "point."));

    coordinatesGroup = fileCoordinates;
    colorGroup = color;
    pointGroup = grid->AddRow(std::move(group));

    auto measurement = CPropertyRow::MakeGroup(QStringLiteral("Measurement"));
    measurementRows = {
        add(measurement.get(), QStringLiteral("3D Distance"),
            QStringLiteral("The straight-line distance between the two measured points.")),
        add(measurement.get(), QStringLiteral("Horizontal Distance"),
            QStringLiteral("The distance between the two measured points in plan view.")),
        add(measurement.get(), QStringLiteral("Height Difference"),
            QStringLiteral("The height of the second measured point above the first; negative "
                           "when it lies below.")),
        add(measurement.get(), QStringLiteral("Slope"),
            QStringLiteral("The slope from the first measured point to the second, in degrees "
                           "and in percent."))};
    measurementGroup = grid->AddRow(std::move(measurement));
    for (CPropertyRow* row :
         {rows[kGpsTime], colorGroup, rows[kClassificationFlags], rows[kScannerChannel],
          rows[kScanAngle], rows[kNir], pointGroup, measurementGroup})
    {
        grid->SetHidden(row, true);
    }
}

void CPropertiesPointWnd::ShowMeasurement(const MeasurementTexts* texts)
{
    const std::string* values[] = {texts != nullptr ? &texts->distance : nullptr,
                                   texts != nullptr ? &texts->horizontal : nullptr,
                                   texts != nullptr ? &texts->height : nullptr,
                                   texts != nullptr ? &texts->slope : nullptr};
    for (std::size_t i = 0; i < measurementRows.size(); ++i)
    {
        grid->SetValue(measurementRows[i],
                       values[i] != nullptr ? QString::fromStdString(*values[i]) : QString());
    }
    grid->SetHidden(measurementGroup, texts == nullptr);
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
    grid->SetValue(rows[kClassificationFlags], FlagsText(p.GetClassificationFlags()));
    grid->SetValue(rows[kScannerChannel], QString::number(p.GetScannerChannel()));
    grid->SetValue(rows[kScanAngle], ScanAngleText(p.GetScanAngle()));
    grid->SetValue(rows[kNir], QString::number(p.GetNIR()));
    grid->SetHidden(pointGroup, false);

    const LasFormatLayout layout = FormatLayout(static_cast<unsigned>(p.GetFormat()));
    grid->SetHidden(rows[kGpsTime], layout.gpsTime < 0);
    grid->SetHidden(colorGroup, layout.rgb < 0);
    grid->SetHidden(rows[kNir], layout.nir < 0);
    // Formats 6 to 10 hold the flags and the channel in a byte of their own, and a finer scan
    // angle in place of the rank.
    grid->SetHidden(rows[kScanAngleRank], layout.extended);
    for (const Row row : {kClassificationFlags, kScannerChannel, kScanAngle})
    {
        grid->SetHidden(rows[row], !layout.extended);
    }
}

} // namespace telvora

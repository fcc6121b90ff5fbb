#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>

namespace telvora
{

class CLasFile;
class CPaneToolBar;
class CPropertyGrid;
class CPropertyRow;
class INotifier;
class LASPoint;
struct MeasurementTexts;

// The "Point Properties" pane: every attribute of the point picked in the 3D view, with an
// explanation of each LAS field. Rows of fields that the record's format lacks are hidden. It holds
// its own copy of the record and of the file's scale and offset, so that what it shows does not
// depend on the file staying loaded: the values are a snapshot taken at the pick.
class CPropertiesPointWnd : public QWidget
{
    Q_OBJECT

public:
    // Read failures of a pick are reported through the notifier, which must outlive the pane.
    explicit CPropertiesPointWnd(INotifier* notifier, QWidget* parent = nullptr);
    ~CPropertiesPointWnd() override;
    CPropertiesPointWnd(const CPropertiesPointWnd&) = delete;
    CPropertiesPointWnd& operator=(const CPropertiesPointWnd&) = delete;

    // Reads record index of the file and shows it, then emits pointShown. A record that cannot be
    // read leaves the pane empty, as ClearPoint does; a read error is reported with its text and
    // detail.
    void ShowPoint(const CLasFile& file, std::uint32_t index);
    // Drops the point: every value empty, the Point group hidden.
    void ClearPoint();
    // Rewrites the grid from the point held.
    void RefreshPointProperties();
    bool HasPoint() const { return point != nullptr; }
    // The "Measurement" group: its four rows show the texts, or the group hides for null.
    void ShowMeasurement(const MeasurementTexts* texts);

    CPropertyGrid* GetGrid() const { return grid; }
    CPaneToolBar* GetToolBar() const { return toolBar; }

signals:
    // A point is shown: the main window brings the pane to the front.
    void pointShown();

private:
    enum Row
    {
        kX,
        kY,
        kZ,
        kIntensity,
        kReturnNumber,
        kNumberOfReturns,
        kScanDirectionFlag,
        kEdgeOfFlightLine,
        kClassification,
        kScanAngleRank,
        kUserData,
        kPointSourceId,
        kGpsTime,
        kRed,
        kGreen,
        kBlue,
        // Formats 6 to 10.
        kClassificationFlags,
        kScannerChannel,
        kScanAngle,
        // Formats 8 and 10.
        kNir,
        kRowCount
    };

    void BuildRows();

    INotifier* notifier = nullptr;
    CPaneToolBar* toolBar = nullptr;
    CPropertyGrid* grid = nullptr;
    std::unique_ptr<LASPoint> point;
    // Real-world x, y and z, in double: a float cannot hold a UTM northing to the centimetre.
    std::array<double, 3> position = {};
    std::array<CPropertyRow*, kRowCount> rows = {};
    CPropertyRow* pointGroup = nullptr;
    CPropertyRow* coordinatesGroup = nullptr;
    CPropertyRow* colorGroup = nullptr;
    CPropertyRow* measurementGroup = nullptr;
    // 3D distance, horizontal distance, height difference, slope.
    std::array<CPropertyRow*, 4> measurementRows = {};
};

} // namespace telvora

#pragma once

#include <QWidget>

namespace telvora
{

class CCrossView;
class CPropertyGrid;
class CPropertyRow;

// The pane of the cross-section window: the slab's width in centimetres, a classification
// chooser that acts as a command on the selected points, and the class colours as a legend.
class PropertiesCrossWnd : public QWidget
{
    Q_OBJECT

public:
    // width is the frame's half-thickness in metres, which the width row sets.
    PropertiesCrossWnd(CCrossView& view, float& width, QWidget* parent = nullptr);

    CPropertyGrid* Grid() const { return grid; }
    CPropertyRow* WidthRow() const { return widthRow; }
    CPropertyRow* ClassificationRow() const { return classificationRow; }

signals:
    // A class was chosen and applied to the selection.
    void reclassified();

protected:
    void focusInEvent(QFocusEvent* event) override;

private:
    void OnWidthChanged(int centimetres);
    void OnClassChosen(const QString& name);

    CCrossView& view;
    float& width;
    CPropertyGrid* grid = nullptr;
    CPropertyRow* widthRow = nullptr;
    CPropertyRow* classificationRow = nullptr;
};

} // namespace telvora

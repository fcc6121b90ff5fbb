#pragma once

#include <QFrame>

class QLabel;

namespace telvora
{

class CPropertyRow;

// The area beneath a property grid that names the selected row in bold and explains it.
class CPropertyDescription : public QFrame
{
    Q_OBJECT

public:
    explicit CPropertyDescription(QWidget* parent = nullptr);

    // Shows the row's name and description; none empties the area.
    void Show(const CPropertyRow* row);

private:
    QLabel* name = nullptr;
    QLabel* text = nullptr;
};

} // namespace telvora

#include "cross/PropertiesCrossWnd.h"

#include <QColor>
#include <QStringList>
#include <QVBoxLayout>
#include <cmath>

#include "cross/CrossView.h"
#include "panes/PropertyGrid.h"
#include "panes/PropertyRow.h"
#include "scene/ClassNames.h"
#include "scene/Palettes.h"

namespace telvora
{

PropertiesCrossWnd::PropertiesCrossWnd(CCrossView& crossView, float& sectionWidth, QWidget* parent)
    : QWidget(parent)
    , view(crossView)
    , width(sectionWidth)
{
    grid = new CPropertyGrid(this);
    grid->setObjectName("crossProperties");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(grid);
    setFocusProxy(grid);

    widthRow = grid->AddRow(CPropertyRow::MakeInteger(
        "Cross Section Width", "The width of the cross section in centimeters.",
        static_cast<int>(std::lround(width * 100.0f)), 1, 10000));
    QStringList names{QString()};
    for (const std::string_view name : ClassNames)
    {
        const QString text = QString::fromLatin1(name.data(), static_cast<int>(name.size()));
        if (!names.contains(text))
        {
            names << text;
        }
    }
    classificationRow = grid->AddRow(CPropertyRow::MakeChoice(
        "Classification", "The classification of the selected points", names));
    auto palette = CPropertyRow::MakeGroup("Palette");
    for (std::size_t code = 0; code < ClassNames.size(); ++code)
    {
        const Color color = ClassColor(static_cast<std::uint8_t>(code));
        const auto component = [](float c) { return static_cast<int>(c * 255.0f); };
        palette->AddChild(CPropertyRow::MakeColor(
            QString::fromLatin1(ClassNames[code].data(), static_cast<int>(ClassNames[code].size())),
            QString(), QColor(component(color[0]), component(color[1]), component(color[2]))));
    }
    grid->SetEnabled(grid->AddRow(std::move(palette)), false);

    connect(grid, &CPropertyGrid::integerChanged, this,
            [this](CPropertyRow* row, int value)
            {
                if (row == widthRow)
                {
                    OnWidthChanged(value);
                }
            });
    connect(grid, &CPropertyGrid::choiceSelected, this,
            [this](CPropertyRow* row, const QString& text)
            {
                if (row == classificationRow)
                {
                    OnClassChosen(text);
                }
            });
}

void PropertiesCrossWnd::OnWidthChanged(int centimetres)
{
    width = static_cast<float>(centimetres) / 100.0f;
    view.BuildSection(0.0f, 0.0f);
    view.update();
}

void PropertiesCrossWnd::OnClassChosen(const QString& name)
{
    const QByteArray bytes = name.toLatin1();
    if (const auto code = ClassCodeOf(std::string_view(bytes.constData(), bytes.size())))
    {
        view.Reclassify(*code);
        emit reclassified();
    }
    // A command, not a setting: the row is ready for the next choice.
    grid->SetValue(classificationRow, QString());
}

void PropertiesCrossWnd::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    grid->setFocus();
}

} // namespace telvora

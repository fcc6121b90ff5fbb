#include "panes/PropertyDescription.h"

#include <QLabel>
#include <QVBoxLayout>

#include "panes/PropertyRow.h"

namespace telvora
{

CPropertyDescription::CPropertyDescription(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("propertyDescription"));
    setAccessibleName(QStringLiteral("Description"));
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(this);
    name = new QLabel(this);
    name->setObjectName(QStringLiteral("propertyDescriptionName"));
    // Names and descriptions are shown as they are, never read as markup.
    name->setTextFormat(Qt::PlainText);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    text = new QLabel(this);
    text->setObjectName(QStringLiteral("propertyDescriptionText"));
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(name);
    layout->addWidget(text, 1);
    setMinimumHeight(fontMetrics().lineSpacing() * 4);
}

void CPropertyDescription::Show(const CPropertyRow* row)
{
    name->setText(row != nullptr ? row->GetName() : QString());
    text->setText(row != nullptr ? row->GetDescription() : QString());
}

} // namespace telvora

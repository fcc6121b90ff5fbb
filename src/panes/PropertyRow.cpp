#include "panes/PropertyRow.h"

#include <algorithm>

namespace telvora
{

CPropertyRow::CPropertyRow(Kind rowKind, const QString& rowName, const QString& rowDescription)
    : kind(rowKind)
    , name(rowName)
    , description(rowDescription)
{
}

CPropertyRow::~CPropertyRow() = default;

std::unique_ptr<CPropertyRow> CPropertyRow::MakeGroup(const QString& name,
                                                      const QString& description, bool valueList)
{
    std::unique_ptr<CPropertyRow> row(new CPropertyRow(Kind::Group, name, description));
    row->valueList = valueList;
    row->expanded = !valueList;
    return row;
}

std::unique_ptr<CPropertyRow>
CPropertyRow::MakeText(const QString& name, const QString& description, const QString& value)
{
    std::unique_ptr<CPropertyRow> row(new CPropertyRow(Kind::Text, name, description));
    row->value = value;
    row->initialValue = value;
    return row;
}

std::unique_ptr<CPropertyRow> CPropertyRow::MakeChoice(const QString& name,
                                                       const QString& description,
                                                       const QStringList& options)
{
    std::unique_ptr<CPropertyRow> row(new CPropertyRow(Kind::Choice, name, description));
    row->options = options;
    return row;
}

std::unique_ptr<CPropertyRow> CPropertyRow::MakeInteger(const QString& name,
                                                        const QString& description, int value,
                                                        int minimum, int maximum)
{
    std::unique_ptr<CPropertyRow> row(new CPropertyRow(Kind::Integer, name, description));
    row->minimum = std::min(minimum, maximum);
    row->maximum = std::max(minimum, maximum);
    row->integer = std::clamp(value, row->minimum, row->maximum);
    row->value = QString::number(row->integer);
    row->initialValue = row->value;
    return row;
}

std::unique_ptr<CPropertyRow>
CPropertyRow::MakeColor(const QString& name, const QString& description, const QColor& color)
{
    std::unique_ptr<CPropertyRow> row(new CPropertyRow(Kind::Color, name, description));
    row->color = color;
    row->value = QString::number(color.red()) + QStringLiteral(", ") +
                 QString::number(color.green()) + QStringLiteral(", ") +
                 QString::number(color.blue());
    row->initialValue = row->value;
    row->enabled = false;
    return row;
}

CPropertyRow* CPropertyRow::AddChild(std::unique_ptr<CPropertyRow> child)
{
    child->parent = this;
    children.push_back(std::move(child));
    return children.back().get();
}

QString CPropertyRow::GetValue() const
{
    if (!valueList)
    {
        return value;
    }
    QStringList parts;
    bool anyText = false;
    for (const auto& child : children)
    {
        parts.push_back(child->GetValue());
        anyText = anyText || !parts.back().isEmpty();
    }
    return anyText ? parts.join(QStringLiteral(", ")) : QString();
}

bool CPropertyRow::IsModified() const
{
    if (kind == Kind::Group)
    {
        return valueList && std::any_of(children.begin(), children.end(),
                                        [](const auto& child) { return child->IsModified(); });
    }
    return value != initialValue;
}

bool CPropertyRow::IsHiddenWithGroups() const
{
    for (const CPropertyRow* up = this; up != nullptr; up = up->parent)
    {
        if (up->hidden)
        {
            return true;
        }
    }
    return false;
}

bool CPropertyRow::Contains(const CPropertyRow* row) const
{
    for (const CPropertyRow* up = row; up != nullptr; up = up->parent)
    {
        if (up == this)
        {
            return true;
        }
    }
    return false;
}

void CPropertyRow::CollectStandingRows(std::vector<CPropertyRow*>& out)
{
    if (!IsPlainGroup())
    {
        out.push_back(this);
        return;
    }
    for (const auto& child : children)
    {
        child->CollectStandingRows(out);
    }
}

void CPropertyRow::ForgetItems()
{
    item = nullptr;
    for (const auto& child : children)
    {
        child->ForgetItems();
    }
}

} // namespace telvora

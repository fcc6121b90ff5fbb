#include "panes/PropertyDelegate.h"

#include <QComboBox>
#include <QSpinBox>

#include "panes/PropertyRow.h"

namespace telvora
{

CPropertyDelegate::CPropertyDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

CPropertyRow* CPropertyDelegate::RowAt(const QModelIndex& index)
{
    if (!index.isValid())
    {
        return nullptr;
    }
    return static_cast<CPropertyRow*>(index.siblingAtColumn(0).data(Qt::UserRole).value<void*>());
}

QWidget* CPropertyDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                         const QModelIndex& index) const
{
    const CPropertyRow* row = RowAt(index);
    if (row == nullptr || index.column() != 1 || !row->IsEnabled())
    {
        return nullptr;
    }
    if (row->GetKind() == CPropertyRow::Kind::Choice)
    {
        auto* combo = new QComboBox(parent);
        combo->addItems(row->GetOptions());
        combo->setAccessibleName(row->GetName());
        // A pick is the user's decision: it is committed at once, as a property grid's list
        // does, rather than when the editor loses focus.
        connect(combo, &QComboBox::activated, this,
                [this, combo](int)
                {
                    emit const_cast<CPropertyDelegate*>(this)->commitData(combo);
                    emit const_cast<CPropertyDelegate*>(this)->closeEditor(combo);
                });
        return combo;
    }
    if (row->GetKind() == CPropertyRow::Kind::Integer)
    {
        auto* spin = new QSpinBox(parent);
        spin->setRange(row->GetMinimum(), row->GetMaximum());
        spin->setAccessibleName(row->GetName());
        return spin;
    }
    return nullptr;
}

void CPropertyDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    const CPropertyRow* row = RowAt(index);
    if (row == nullptr)
    {
        return;
    }
    if (auto* combo = qobject_cast<QComboBox*>(editor))
    {
        combo->setCurrentIndex(combo->findText(row->GetValue()));
    }
    else if (auto* spin = qobject_cast<QSpinBox*>(editor))
    {
        spin->setValue(row->GetInteger());
    }
}

void CPropertyDelegate::setModelData(QWidget* editor, QAbstractItemModel*,
                                     const QModelIndex& index) const
{
    CPropertyRow* row = RowAt(index);
    if (row == nullptr)
    {
        return;
    }
    // Qt hands the data back through a const function; the signals carry it on.
    auto* self = const_cast<CPropertyDelegate*>(this);
    if (auto* combo = qobject_cast<QComboBox*>(editor))
    {
        if (combo->currentIndex() >= 0)
        {
            emit self->choiceCommitted(row, combo->currentText());
        }
    }
    else if (auto* spin = qobject_cast<QSpinBox*>(editor))
    {
        // Text typed but not yet taken by the spin box counts too.
        spin->interpretText();
        emit self->integerCommitted(row, spin->value());
    }
}

} // namespace telvora

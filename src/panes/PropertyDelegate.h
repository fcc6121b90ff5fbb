#pragma once

#include <QStyledItemDelegate>

namespace telvora
{

class CPropertyRow;

// Opens the editor of a drop-down or whole-number row in the value column and hands what the
// user chose to the grid instead of writing it into the item: the row is the grid's record of
// the value, the item only shows it. Every other cell opens no editor.
class CPropertyDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit CPropertyDelegate(QObject* parent = nullptr);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

    // The row a cell of the grid's tree shows, or none.
    static CPropertyRow* RowAt(const QModelIndex& index);

signals:
    void choiceCommitted(telvora::CPropertyRow* row, const QString& text);
    void integerCommitted(telvora::CPropertyRow* row, int value);
};

} // namespace telvora

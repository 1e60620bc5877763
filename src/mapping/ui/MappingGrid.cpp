#include "mapping/ui/MappingGrid.h"

namespace MappingGrid {

QString zeroRateCell(const QString& flag) {
    for (const ZeroRateOption& o : kZeroRates)
        if (flag == QString::fromUtf16(o.flag)) return QString::fromUtf16(o.cell);
    return flag; // a flag of another program stays visible, and the check names it
}

QTableWidgetItem* cell(QTableWidget* grid, int row, int column) {
    QTableWidgetItem* item = grid->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        grid->setItem(row, column, item);
    }
    return item;
}

} // namespace MappingGrid

using namespace MappingGrid;

QWidget* ItemEntryDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                         const QModelIndex&) const {
    auto* editor = new QLineEdit(parent);
    editor->setMaxLength(MaxEntry);
    editor->setFrame(false);
    m_editor = editor;
    return editor;
}

void ItemEntryDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                     const QModelIndex& index) const {
    const QString text = static_cast<QLineEdit*>(editor)->text();
    if (text == index.data(Qt::EditRole).toString()) return;
    model->setData(index, text, Qt::EditRole);
    m_onEdited();
}

QWidget* ZeroRateDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                        const QModelIndex&) const {
    auto* box = new QComboBox(parent);
    for (const ZeroRateOption& o : kZeroRates)
        box->addItem(QString::fromUtf16(o.caption), QString::fromUtf16(o.flag));
    auto* self = const_cast<ZeroRateDelegate*>(this);
    connect(box, &QComboBox::activated, self, [self, box] {
        Q_EMIT self->commitData(box);
        Q_EMIT self->closeEditor(box, QAbstractItemDelegate::NoHint);
    });
    m_editor = box;
    return box;
}

void ZeroRateDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    auto* box = static_cast<QComboBox*>(editor);
    box->setCurrentIndex(qMax(0, box->findData(index.data(ZeroRateRole).toString())));
}

void ZeroRateDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                    const QModelIndex& index) const {
    const QString flag = static_cast<QComboBox*>(editor)->currentData().toString();
    if (flag == index.data(ZeroRateRole).toString()) return;
    model->setData(index, flag, ZeroRateRole);
    model->setData(index, zeroRateCell(flag), Qt::DisplayRole);
    m_onEdited();
}

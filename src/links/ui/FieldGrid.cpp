#include "links/ui/FieldGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

namespace {

enum Role {
    KindRole = Qt::UserRole + 1,
    ItemsRole,
    LockedRole,
    CaptionRole,
    MaxLengthRole,
    MaxDropRole,
};

const QColor kShade(234, 235, 255);
const QColor kAccent(33, 123, 233);
const QColor kSelection(174, 198, 250);
const QColor kLines(162, 162, 162);
const QColor kButtonFace(192, 192, 192);

// Draws and edits the cells by kind. Only what the user does raises the grid's signals: program
// fills go through FieldGrid::setText and never reach this class.
class FpGridDelegate : public QStyledItemDelegate {
public:
    explicit FpGridDelegate(FieldGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const int kind = index.data(KindRole).toInt();
        const bool locked = index.data(LockedRole).toBool();
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
        if (kind == CellType::Check) {
            opt.text.clear();
            style->drawControl(QStyle::CE_ItemViewItem, &opt, p, opt.widget);
            QStyleOptionButton box;
            const int size = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, opt.widget);
            box.rect = QRect(opt.rect.center().x() - size / 2, opt.rect.center().y() - size / 2, size, size);
            box.state = QStyle::State_Enabled |
                        (index.data().toString().trimmed() == u"1" ? QStyle::State_On : QStyle::State_Off);
            style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, p, opt.widget);
            return;
        }
        if (kind == CellType::Button) {
            // A raised face of its own: grey, white light edge, dark shadow, black border.
            const QRect r = opt.rect.adjusted(1, 1, -2, -2);
            p->save();
            p->fillRect(opt.rect, Qt::white);
            p->fillRect(r, kButtonFace);
            p->setPen(Qt::white);
            p->drawLine(r.topLeft(), r.topRight());
            p->drawLine(r.topLeft(), r.bottomLeft());
            p->setPen(QColor(128, 128, 128));
            p->drawLine(r.bottomLeft() + QPoint(1, 0), r.bottomRight());
            p->drawLine(r.topRight() + QPoint(0, 1), r.bottomRight());
            p->setPen(Qt::black);
            p->drawLine(r.bottomLeft() + QPoint(0, 1), r.bottomRight() + QPoint(1, 1));
            p->drawLine(r.topRight() + QPoint(1, 0), r.bottomRight() + QPoint(1, 1));
            const QString caption =
                opt.fontMetrics.elidedText(index.data(CaptionRole).toString(), Qt::ElideRight, r.width() - 6);
            p->drawText(r, Qt::AlignCenter, caption);
            p->restore();
            return;
        }
        if (kind == CellType::Combo) {
            opt.text = FieldGrid::visibleText(opt.text);
            const int arrow = locked ? 0 : 14;
            QRect textRect = opt.rect;
            opt.rect.setRight(opt.rect.right() - arrow);
            style->drawControl(QStyle::CE_ItemViewItem, &opt, p, opt.widget);
            if (arrow) {
                QStyleOption a;
                a.rect = QRect(textRect.right() - arrow + 1, textRect.top(), arrow - 2, textRect.height());
                a.state = QStyle::State_Enabled;
                a.palette = opt.palette;
                a.palette.setColor(QPalette::ButtonText, kAccent);
                a.palette.setColor(QPalette::WindowText, kAccent);
                p->fillRect(QRect(a.rect.left() - 1, textRect.top(), arrow, textRect.height()),
                            (opt.state & QStyle::State_Selected) ? kSelection : QColor(Qt::white));
                style->drawPrimitive(QStyle::PE_IndicatorArrowDown, &a, p, opt.widget);
            }
            return;
        }
        QStyledItemDelegate::paint(p, option, index);
    }

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        const int kind = index.data(KindRole).toInt();
        if (kind != CellType::Check && kind != CellType::Button)
            return QStyledItemDelegate::editorEvent(event, model, option, index);
        bool act = false;
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* me = static_cast<QMouseEvent*>(event);
            act = me->button() == Qt::LeftButton && option.rect.contains(me->position().toPoint());
        } else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            act = key == Qt::Key_Space || key == Qt::Key_Select;
        } else if (event->type() == QEvent::MouseButtonDblClick) {
            return true; // no in-cell editing of boxes and buttons
        }
        if (!act) return false;
        const int col = index.column();
        const int row = index.row() + 1;
        if (kind == CellType::Check) {
            if (index.data(LockedRole).toBool()) return true;
            m_grid->setText(col, row,
                            m_grid->text(col, row).trimmed() == u"1" ? QStringLiteral("0")
                                                                     : QStringLiteral("1"));
        }
        m_grid->emitButtonClicked(col, row);
        return true;
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        const int kind = index.data(KindRole).toInt();
        if (kind == CellType::Combo) {
            auto* cb = new QComboBox(parent);
            cb->setMaxVisibleItems(qMax(1, index.data(MaxDropRole).toInt()));
            for (const QString& item : index.data(ItemsRole).toStringList())
                cb->addItem(FieldGrid::visibleText(item), item);
            const QPersistentModelIndex at(index);
            FieldGrid* grid = m_grid;
            auto* self = const_cast<FpGridDelegate*>(this);
            connect(cb, &QComboBox::activated, self, [self, grid, cb, at](int) {
                cb->setProperty("picked", true);
                Q_EMIT self->commitData(cb);
                Q_EMIT self->closeEditor(cb);
                if (at.isValid()) grid->emitChange(at.column(), at.row() + 1);
            });
            return cb;
        }
        if (kind == CellType::Edit) {
            auto* ed = new QLineEdit(parent);
            ed->setFrame(false);
            ed->setMaxLength(index.data(MaxLengthRole).toInt() > 0 ? index.data(MaxLengthRole).toInt()
                                                                   : 32000);
            return ed;
        }
        Q_UNUSED(option);
        return nullptr;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* cb = qobject_cast<QComboBox*>(editor)) {
            cb->setCurrentIndex(cb->findData(index.data().toString()));
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        if (auto* cb = qobject_cast<QComboBox*>(editor)) {
            // Leaving the cell without a pick keeps what it held (a loaded row shows the name alone).
            if (cb->property("picked").toBool() && cb->currentIndex() >= 0)
                model->setData(index, cb->currentData().toString());
            return;
        }
        if (auto* ed = qobject_cast<QLineEdit*>(editor)) {
            if (ed->text() == index.data().toString()) return;
            model->setData(index, ed->text());
            m_grid->emitChange(index.column(), index.row() + 1);
            return;
        }
        QStyledItemDelegate::setModelData(editor, model, index);
    }

private:
    FieldGrid* m_grid;
};

} // namespace

FieldGrid::FieldGrid(QWidget* parent) : QTableWidget(parent) {
    setItemDelegate(new FpGridDelegate(this));
    setColumnCount(1);
    verticalHeader()->hide();
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
}

QString FieldGrid::visibleText(const QString& itemText) {
    const qsizetype bar = itemText.indexOf(u'|');
    return (bar < 0 ? itemText : itemText.left(bar)).trimmed();
}

void FieldGrid::setMaxCols(int n) {
    setColumnCount(qMax(0, n) + 1);
    for (int r = 0; r < rowCount(); ++r)
        fillNewRow(r);
}

void FieldGrid::setMaxRows(int n) {
    const int old = rowCount();
    setRowCount(qMax(0, n));
    for (int r = old; r < rowCount(); ++r)
        fillNewRow(r);
    renumber();
}

QTableWidgetItem* FieldGrid::cell(int col, int row) const {
    if (!validCol(col) || !validRow(row)) return nullptr;
    return item(row - 1, col);
}

QTableWidgetItem* FieldGrid::ensureCell(int col, int row) {
    if (!validCol(col) || !validRow(row)) return nullptr;
    QTableWidgetItem* it = item(row - 1, col);
    if (!it) {
        fillNewRow(row - 1);
        it = item(row - 1, col);
    }
    return it;
}

// New cells take their column's kind and lock.
void FieldGrid::fillNewRow(int tableRow) {
    for (int c = 1; c < columnCount(); ++c) {
        if (item(tableRow, c)) continue;
        auto* it = new QTableWidgetItem;
        it->setData(LockedRole, m_colLocked.value(c, false));
        applyFormat(it, m_colFormat.value(c));
        setItem(tableRow, c, it);
    }
}

void FieldGrid::renumber() {
    for (int r = 0; r < rowCount(); ++r) {
        QTableWidgetItem* it = item(r, 0);
        if (!it) {
            it = new QTableWidgetItem;
            it->setFlags(Qt::ItemIsEnabled);
            it->setTextAlignment(Qt::AlignCenter);
            it->setBackground(kShade);
            setItem(r, 0, it);
        }
        it->setText(QString::number(r + 1));
    }
}

void FieldGrid::applyFormat(QTableWidgetItem* it, const Format& f) {
    it->setData(KindRole, f.kind);
    it->setData(ItemsRole, f.items);
    it->setData(MaxLengthRole, f.maxLength);
    it->setData(MaxDropRole, f.maxDrop);
    it->setTextAlignment(f.align);
    applyFlags(it);
}

void FieldGrid::applyFlags(QTableWidgetItem* it) {
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const int kind = it->data(KindRole).toInt();
    if ((kind == CellType::Edit || kind == CellType::Combo) && !it->data(LockedRole).toBool())
        flags |= Qt::ItemIsEditable;
    it->setFlags(flags);
    it->setForeground(it->data(LockedRole).toBool() && kind == CellType::Combo ? QColor(110, 110, 110)
                                                                               : QColor(Qt::black));
}

QString FieldGrid::text(int col, int row) const {
    const QTableWidgetItem* it = cell(col, row);
    return it ? it->data(Qt::EditRole).toString() : QString();
}

void FieldGrid::setText(int col, int row, const QString& text) {
    if (QTableWidgetItem* it = ensureCell(col, row)) it->setData(Qt::EditRole, text);
}

QString FieldGrid::caption(int col, int row) const {
    const QTableWidgetItem* it = cell(col, row);
    return it ? it->data(CaptionRole).toString() : QString();
}

void FieldGrid::setCaption(int col, int row, const QString& caption) {
    if (QTableWidgetItem* it = ensureCell(col, row)) it->setData(CaptionRole, caption);
}

int FieldGrid::kind(int col, int row) const {
    const QTableWidgetItem* it = cell(col, row);
    return it ? it->data(KindRole).toInt() : 0;
}

QStringList FieldGrid::items(int col, int row) const {
    const QTableWidgetItem* it = cell(col, row);
    return it ? it->data(ItemsRole).toStringList() : QStringList();
}

bool FieldGrid::locked(int col, int row) const {
    const QTableWidgetItem* it = cell(col, row);
    return it && it->data(LockedRole).toBool();
}

void FieldGrid::setLocked(int col, int row, bool locked) {
    if (!validCol(col)) return;
    if (row == -1) {
        m_colLocked.insert(col, locked);
        for (int r = 1; r <= maxRows(); ++r)
            setLocked(col, r, locked);
        return;
    }
    QTableWidgetItem* it = ensureCell(col, row);
    if (!it) return;
    if (isPersistentEditorOpen(it)) closePersistentEditor(it);
    it->setData(LockedRole, locked);
    applyFlags(it);
}

void FieldGrid::setFormat(int col, int row, const Format& format) {
    if (!validCol(col)) return;
    if (row == -1) {
        m_colFormat.insert(col, format);
        for (int r = 1; r <= maxRows(); ++r)
            setFormat(col, r, format);
        return;
    }
    if (QTableWidgetItem* it = ensureCell(col, row)) applyFormat(it, format);
}

void FieldGrid::setColTitle(int col, const QString& title) {
    if (col < 0 || col >= columnCount()) return;
    QTableWidgetItem* h = horizontalHeaderItem(col);
    if (!h) {
        h = new QTableWidgetItem;
        setHorizontalHeaderItem(col, h);
    }
    h->setText(title);
}

// A width unit is about one average character of the grid's font; a title is never cut off.
void FieldGrid::setColWidthUnits(int col, double units) {
    if (col < 0 || col >= columnCount()) return;
    const QFontMetrics fm(font());
    int px = int(units * fm.averageCharWidth() * 1.25) + 6;
    const QTableWidgetItem* h = horizontalHeaderItem(col);
    if (h && !h->text().isEmpty()) px = qMax(px, fm.horizontalAdvance(h->text()) + 14);
    setColumnWidth(col, px);
}

void FieldGrid::setColHidden(int col, bool hidden) {
    if (col < 0 || col >= columnCount()) return;
    setColumnHidden(col, hidden);
}

void FieldGrid::setActiveRow(int row) {
    if (!validRow(row)) return;
    const int col = currentColumn() >= 1 ? currentColumn() : 1;
    setCurrentCell(row - 1, col);
}

void FieldGrid::deleteGridRow(int row) {
    if (!validRow(row)) return;
    const int keep = rowCount();
    removeRow(row - 1);
    insertRow(keep - 1);
    fillNewRow(keep - 1);
    renumber();
}

void FieldGrid::insertGridRow(int row) {
    if (!validRow(row)) return;
    const int keep = rowCount();
    insertRow(row - 1);
    fillNewRow(row - 1);
    removeRow(keep);
    renumber();
}

void FieldGrid::clearGridRow(int row) {
    if (!validRow(row)) return;
    for (int c = 1; c <= maxCols(); ++c) {
        setText(c, row, QString());
        setCaption(c, row, QString());
    }
}

void FieldGrid::clearAllData() {
    for (int r = 1; r <= maxRows(); ++r)
        clearGridRow(r);
}

// ---- the grid procedures --------------------------------------------------------------------

void initSpreadGrid(FieldGrid* grid) {
    if (!grid) return;
    grid->setShowGrid(true);
    grid->setGridStyle(Qt::SolidLine);
    grid->setAlternatingRowColors(false);
    grid->setWordWrap(false);
    // Heights that hold the text of the user's font, however large.
    const int textHeight = grid->fontMetrics().height();
    grid->horizontalHeader()->setFixedHeight(qMax(22, textHeight + 8));
    grid->horizontalHeader()->setHighlightSections(false);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    grid->horizontalHeader()->setStretchLastSection(false);
    grid->verticalHeader()->setDefaultSectionSize(qMax(22, textHeight + 6));
    grid->verticalHeader()->setMinimumSectionSize(18);
    grid->setStyleSheet(QStringLiteral("QTableWidget { background: white; gridline-color: rgb(%1,%2,%3);"
                                       " selection-background-color: rgb(%4,%5,%6); selection-color: black;"
                                       " border: 1px solid rgb(%7,%8,%9); }"
                                       "QHeaderView::section { background: rgb(%10,%11,%12); color: black;"
                                       " border: none; border-right: 1px solid rgb(%1,%2,%3);"
                                       " border-bottom: 2px solid rgb(%7,%8,%9); padding: 0 3px; }")
                            .arg(kLines.red())
                            .arg(kLines.green())
                            .arg(kLines.blue())
                            .arg(kSelection.red())
                            .arg(kSelection.green())
                            .arg(kSelection.blue())
                            .arg(kAccent.red())
                            .arg(kAccent.green())
                            .arg(kAccent.blue())
                            .arg(kShade.red())
                            .arg(kShade.green())
                            .arg(kShade.blue()));
    grid->setColTitle(0, QStringLiteral("序号"));
    grid->setColumnWidth(0, 40);
}

void setComboColumn(FieldGrid* grid, int col, const QString& list) {
    if (!grid || !grid->validCol(col)) return;
    FieldGrid::Format f;
    f.kind = CellType::Combo;
    for (const QString& item : list.split(u'\t'))
        if (!item.isEmpty()) f.items << item; // whole: the identifiers sit behind the padding
    f.maxDrop = 10;
    f.align = Qt::AlignLeft | Qt::AlignVCenter;
    grid->setFormat(col, -1, f);
    // The column is as wide as the longest name it offers (a platform column such as
    // 购买方纳税人识别号 is long), with room for the drop-down's arrow.
    const QFontMetrics fm(grid->font());
    int width = grid->columnWidth(col);
    for (const QString& item : std::as_const(f.items))
        width = qMax(width, fm.horizontalAdvance(item.section(u'|', 0, 0).trimmed()) + 34);
    grid->setColumnWidth(col, width);
}

void setCheckColumn(FieldGrid* grid, int col) {
    if (!grid || !grid->validCol(col)) return;
    FieldGrid::Format f;
    f.kind = CellType::Check;
    f.align = Qt::AlignCenter;
    grid->setFormat(col, -1, f);
}

void setButtonCell(FieldGrid* grid, int col, int row) {
    if (!grid || !grid->validCol(col) || !grid->validRow(row)) return;
    FieldGrid::Format f;
    f.kind = CellType::Button;
    f.align = Qt::AlignCenter;
    grid->setFormat(col, row, f);
    grid->setCaption(col, row, QString());
    grid->setText(col, row, QString());
}

void setEditCell(FieldGrid* grid, int col, int row) {
    if (!grid || !grid->validCol(col) || !grid->validRow(row)) return;
    FieldGrid::Format f;
    f.kind = CellType::Edit;
    f.maxLength = 32000;
    f.align = Qt::AlignLeft | Qt::AlignTop;
    grid->setFormat(col, row, f);
}

void editGridRow(FieldGrid* grid, int operation) {
    if (!grid || grid->maxRows() == 1) return;
    const int r = grid->activeRow();
    if (r > grid->maxRows() || r < 1) return;
    grid->setActiveRow(r);
    switch (operation) {
    case 1:
        grid->deleteGridRow(r);
        break;
    case 2:
        grid->clearGridRow(r);
        break;
    case 3:
        grid->insertGridRow(r);
        break;
    case 4:
        grid->clearAllData();
        break;
    default:
        break;
    }
    grid->setActiveRow(r);
}

#pragma once
// What the grids of the mapping editor share: the cells' roles, the entries that tell the editor when the
// user really changed a cell, and the zero-rate flag's captions.

#include <QAbstractItemDelegate>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <functional>

namespace MappingGrid {

// The item of an accounting name (or of a product's number) carries the record's identifier here.
constexpr int IdRole = Qt::UserRole;
// The zero-rate flag's item keeps the flag itself here; its text is the flag's caption.
constexpr int ZeroRateRole = Qt::UserRole + 1;
constexpr int MaxEntry = 50;

struct ZeroRateOption {
    const char16_t* flag;
    const char16_t* caption; // in the list
    const char16_t* cell;    // in the grid
};
constexpr ZeroRateOption kZeroRates[] = {{u"", u"空", u""},
                                         {u"0", u"0 出口退税", u"0 出口退税"},
                                         {u"1", u"1 免税", u"1 免税"},
                                         {u"2", u"2 不征税", u"2 不征税"},
                                         {u"3", u"3 普通零税率", u"3 普通零税率"}};

QString zeroRateCell(const QString& flag);

// The grid's item at row and column, made when there is none yet.
QTableWidgetItem* cell(QTableWidget* grid, int row, int column);

} // namespace MappingGrid

// A delegate that tells the editor when the user really changed a cell, and whose open entry can be
// ended from outside (a save while a cell is being typed), keeping what was typed.
template <class Editor> class TrackedDelegate : public QStyledItemDelegate {
public:
    TrackedDelegate(QObject* parent, std::function<void()> onEdited)
        : QStyledItemDelegate(parent), m_onEdited(std::move(onEdited)) {}

    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        if (editor == m_editor) m_editor = nullptr;
        QStyledItemDelegate::destroyEditor(editor, index);
    }

    void endEntry() {
        if (!m_editor) return;
        QWidget* editor = m_editor;
        m_editor = nullptr;
        Q_EMIT commitData(editor);
        Q_EMIT closeEditor(editor, QAbstractItemDelegate::NoHint);
    }

protected:
    std::function<void()> m_onEdited;
    mutable QPointer<Editor> m_editor;
};

// Text entry of at most 50 characters.
class ItemEntryDelegate : public TrackedDelegate<QLineEdit> {
public:
    using TrackedDelegate::TrackedDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
};

// The zero-rate flag chosen from its four values; a choice counts at once.
class ZeroRateDelegate : public TrackedDelegate<QComboBox> {
public:
    using TrackedDelegate::TrackedDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
};

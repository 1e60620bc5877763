#include "mapping/ui/PickerDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

PickerDialog::PickerDialog(const Session& session, const QString& listName, QWidget* parent)
    : QDialog(parent), m_session(session) {
    setModal(true);
    resize(620, 400);

    m_list = new QTableWidget(this);
    m_list->setObjectName(listName);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setAlternatingRowColors(true);
    m_list->setWordWrap(false);
    m_list->verticalHeader()->setVisible(false);
    m_list->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    m_list->horizontalHeader()->setHighlightSections(false);
    m_list->installEventFilter(this);
    m_list->viewport()->installEventFilter(this);
    connect(m_list, &QTableWidget::cellDoubleClicked, this, [this] { chooseRecord(); });

    btnExit = new QPushButton(QStringLiteral("退出(&X)"), this);
    btnExit->setObjectName(QStringLiteral("btnExit"));
    btnExit->setAutoDefault(false);
    connect(btnExit, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnExit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addLayout(buttons);
    // The list comes first, so it has the focus when the window opens.
    setTabOrder(m_list, btnExit);
    m_list->setFocus();
}

void PickerDialog::bindList(const Recordset& rs, const PickerLayout& layout) {
    m_bHasRows = false;
    m_layout = layout;
    const QStringList titles = layout.titles.split(u'|');
    const int columns = qMax<int>(rs.fieldCount(), titles.size());
    const int rows = rs.recordCount();

    m_list->clear();
    m_list->setColumnCount(columns);
    m_list->setRowCount(rows);
    for (int c = 0; c < columns; ++c) {
        auto* head = new QTableWidgetItem(titles.value(c));
        head->setTextAlignment(layout.centreTitles ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
        m_list->setHorizontalHeaderItem(c, head);
    }
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < rs.fieldCount(); ++c) {
            const QVariant v = rs.valueAt(r, c);
            auto* item = new QTableWidgetItem(v.isNull() ? QString() : v.toString());
            item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            m_list->setItem(r, c, item);
        }
    }

    int firstVisible = -1;
    for (int c = 0; c < columns; ++c) {
        const bool hidden = layout.widthsTwips.value(c, 1440) == 0;
        m_list->setColumnHidden(c, hidden);
        if (!hidden && firstVisible < 0) firstVisible = c;
    }
    sizeColumns();

    if (rows >= 1) {
        m_list->setCurrentCell(0, qMax(firstVisible, 0));
        m_bHasRows = true;
    }
}

void PickerDialog::sizeColumns() {
    // Widths are given in twips (1/1440 inch); 0 hides the column. A wider window shares its width
    // among the visible columns in the same proportions, so long names stay readable.
    const int dpi = logicalDpiX() > 0 ? logicalDpiX() : 96;
    int total = 0;
    for (int c = 0; c < m_list->columnCount(); ++c)
        total += m_layout.widthsTwips.value(c, 1440);
    if (total <= 0) return;
    const int room = m_list->viewport()->width();
    for (int c = 0; c < m_list->columnCount(); ++c) {
        const int twips = m_layout.widthsTwips.value(c, 1440);
        if (twips == 0) continue;
        m_list->setColumnWidth(c, qMax(twips * dpi / 1440, room * twips / total));
    }
}

QString PickerDialog::cellText(int row, int column) const {
    const QTableWidgetItem* item = m_list->item(row, column);
    return item ? item->text() : QString();
}

void PickerDialog::chooseRecord() {
    const int r = m_list->currentRow();
    if (r >= 0 && m_bHasRows) {
        m_bOK = true;
        if (m_layout.idColumn >= 0) SMFID = pickerIdFromText(cellText(r, m_layout.idColumn));
        if (isAddMidTable) setChosenName(cellText(r, m_layout.nameColumn));
    }
    done(m_bOK ? QDialog::Accepted : QDialog::Rejected);
}

bool PickerDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list->viewport() && event->type() == QEvent::Resize) sizeColumns();
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            chooseRecord();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

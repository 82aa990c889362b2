#include "listview.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QStyledItemDelegate>
#include <QTableView>

#include <algorithm>

#include "entrylist.h"

namespace {

constexpr int NameWidth = 250;
constexpr int NameMinWidth = 100;
constexpr int NameMaxWidth = 400;
constexpr int SizeWidth = 80;

// One size for every item of the list view: the view lays out all rows from
// it without asking for their texts, and no name sets the width for the others.
class TFixedSizeDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void SetSize(QSize size) { m_size = size; }
    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override { return m_size; }

private:
    QSize m_size;
};

// The details style is a table of rows: Home and End reach the first and
// the last entry, as in the other styles, not the first and last column.
class TDetailTable final : public QTableView
{
public:
    using QTableView::QTableView;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override
    {
        if (action == MoveHome || action == MoveEnd)
            modifiers |= Qt::ControlModifier; // the table's own key for rows
        return QTableView::moveCursor(action, modifiers);
    }
};

void CommonSetup(QAbstractItemView *view)
{
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    view->setDragDropMode(QAbstractItemView::NoDragDrop);
}

} // namespace

TListView::TListView(TEntryListModel &model, QWidget *parent)
    : QStackedWidget(parent)
    , m_model(model)
    , m_iconView(new QListView(this))
    , m_detailView(new TDetailTable(this))
{
    setObjectName(QStringLiteral("ListView"));
    m_iconView->setObjectName(QStringLiteral("ListViewIcons"));
    m_detailView->setObjectName(QStringLiteral("ListViewDetails"));

    m_iconView->setModel(&m_model);
    m_iconView->setItemDelegate(new TFixedSizeDelegate(m_iconView));
    m_iconView->setUniformItemSizes(true);
    m_iconView->setLayoutMode(QListView::Batched);
    m_iconView->setBatchSize(4096);
    m_iconView->setMovement(QListView::Static);
    m_iconView->setResizeMode(QListView::Adjust);
    CommonSetup(m_iconView);

    m_detailView->setModel(&m_model);
    m_detailView->setSelectionModel(m_iconView->selectionModel());
    m_detailView->setShowGrid(false);
    m_detailView->setWordWrap(false);
    m_detailView->setCornerButtonEnabled(false);
    m_detailView->setSortingEnabled(false);
    m_detailView->verticalHeader()->hide();
    // One height for every row, so that no row is measured.
    m_detailView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_detailView->verticalHeader()->setDefaultSectionSize(std::max(18, m_detailView->fontMetrics().lineSpacing() + 4));
    m_detailView->setIconSize(QSize(16, 16));
    m_detailView->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    CommonSetup(m_detailView);
    QHeaderView *header = m_detailView->horizontalHeader();
    header->setStretchLastSection(false);
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSectionsMovable(false);
    header->setMinimumSectionSize(40);
    header->resizeSection(TEntryListModel::NameColumn, NameWidth);
    header->resizeSection(TEntryListModel::SizeColumn, SizeWidth);
    // The name column stays within its bounds however the user drags it.
    connect(header, &QHeaderView::sectionResized, this, [this, header](int section, int, int size) {
        if (section == TEntryListModel::NameColumn && (size < NameMinWidth || size > NameMaxWidth))
            header->resizeSection(section, std::clamp(size, NameMinWidth, NameMaxWidth));
        else if (section == TEntryListModel::NameColumn || section == TEntryListModel::SizeColumn)
            FitHashColumns();
    });

    addWidget(m_iconView);
    addWidget(m_detailView);
    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(m_iconView),
                                    static_cast<QAbstractItemView *>(m_detailView)}) {
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
        connect(view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
            if (index.isValid())
                emit OpenRequested();
        });
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint &pos) {
            emit PopupRequested(view->viewport()->mapToGlobal(pos));
        });
    }
    SetViewStyle(vsIcon);
}

void TListView::SetViewStyle(int style)
{
    m_viewStyle = std::clamp(style, 0, 3);
    auto *delegate = static_cast<TFixedSizeDelegate *>(m_iconView->itemDelegate());
    const int line = m_iconView->fontMetrics().lineSpacing();
    switch (m_viewStyle) {
    case vsIcon:
        // Large icons with up to two lines of name under them.
        m_iconView->setViewMode(QListView::IconMode);
        m_iconView->setMovement(QListView::Static);
        m_iconView->setIconSize(QSize(32, 32));
        delegate->SetSize(QSize(100, 32 + 8 + 2 * line));
        m_iconView->setGridSize(QSize(104, 32 + 12 + 2 * line));
        m_iconView->setWordWrap(true);
        m_iconView->setSpacing(0);
        break;
    case vsSmallIcon:
    case vsList:
        m_iconView->setViewMode(QListView::ListMode);
        m_iconView->setFlow(m_viewStyle == vsList ? QListView::TopToBottom : QListView::LeftToRight);
        m_iconView->setWrapping(true);
        m_iconView->setIconSize(QSize(16, 16));
        delegate->SetSize(QSize(220, std::max(18, line + 4)));
        m_iconView->setGridSize(QSize());
        m_iconView->setWordWrap(false);
        m_iconView->setSpacing(2);
        break;
    default:
        break;
    }
    const bool hadFocus = CurrentView()->hasFocus() || !currentWidget();
    setCurrentWidget(m_viewStyle == vsReport ? static_cast<QWidget *>(m_detailView) : m_iconView);
    if (m_viewStyle == vsReport)
        FitHashColumns();
    if (hadFocus && isVisible())
        CurrentView()->setFocus();
}

std::vector<int> TListView::ColumnWidths() const
{
    const QHeaderView *header = m_detailView->horizontalHeader();
    return {header->sectionSize(TEntryListModel::NameColumn), header->sectionSize(TEntryListModel::SizeColumn)};
}

void TListView::SetColumnWidths(const std::vector<int> &widths)
{
    if (widths.size() < 2)
        return;
    QHeaderView *header = m_detailView->horizontalHeader();
    header->resizeSection(TEntryListModel::NameColumn, std::clamp(widths[0], NameMinWidth, NameMaxWidth));
    header->resizeSection(TEntryListModel::SizeColumn, std::max(widths[1], header->minimumSectionSize()));
    FitHashColumns();
}

QAbstractItemView *TListView::CurrentView() const
{
    if (m_viewStyle == vsReport)
        return m_detailView;
    return m_iconView;
}

QItemSelectionModel *TListView::SelectionModel() const
{
    return m_iconView->selectionModel();
}

std::vector<int> TListView::SelectedRows() const
{
    std::vector<int> rows;
    for (const QItemSelectionRange &range : SelectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int TListView::FirstSelectedRow() const
{
    int first = -1;
    for (const QItemSelectionRange &range : SelectionModel()->selection()) {
        if (first < 0 || range.top() < first)
            first = range.top();
    }
    return first;
}

void TListView::SelectAll()
{
    const int rows = m_model.rowCount();
    if (rows == 0)
        return;
    const QItemSelection all(m_model.index(0, 0), m_model.index(rows - 1, TEntryListModel::ColumnCount - 1));
    SelectionModel()->select(all, QItemSelectionModel::ClearAndSelect);
}

void TListView::SelectOnly(int row)
{
    const QModelIndex index = m_model.index(row, 0);
    SelectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    CurrentView()->scrollTo(index);
}

void TListView::TypeAhead(const QString &text)
{
    // Keys typed in quick succession make one search text, as in a file manager.
    const bool goesOn = m_lastTyped.isValid()
                        && m_lastTyped.elapsed() < QApplication::keyboardInputInterval();
    m_typed = goesOn ? m_typed + text : text;
    m_lastTyped.start();
    const QModelIndex current = SelectionModel()->currentIndex();
    const int row = current.isValid() ? current.row() : -1;
    // A new search starts below the current row; a longer text may still match it.
    const int start = m_typed.size() == text.size() ? row + 1 : std::max(row, 0);
    if (const auto found = m_model.ListViewDataFind(m_typed, start, true))
        SelectOnly(*found);
}

bool TListView::eventFilter(QObject *watched, QEvent *event)
{
    // A scroll bar that comes or goes changes the width the columns share.
    if (event->type() == QEvent::Resize && watched == m_detailView->viewport())
        FitHashColumns();
    if (event->type() == QEvent::KeyPress && (watched == m_iconView || watched == m_detailView)) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            emit OpenRequested();
            return true;
        }
        const QString text = key->text();
        const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        // A space goes on a search under way; alone it is the view's own key.
        const bool searching = m_lastTyped.isValid()
                               && m_lastTyped.elapsed() < QApplication::keyboardInputInterval();
        if (plain && !text.isEmpty() && text.at(0).isPrint() && (!text.at(0).isSpace() || searching)) {
            TypeAhead(text);
            return true;
        }
    }
    return QStackedWidget::eventFilter(watched, event);
}

void TListView::resizeEvent(QResizeEvent *event)
{
    QStackedWidget::resizeEvent(event);
    FitHashColumns();
}

void TListView::FitHashColumns()
{
    // What the name and size leave of the client width goes to the two hash
    // columns in equal parts, the odd pixel to the first.
    QHeaderView *header = m_detailView->horizontalHeader();
    const int left = m_detailView->viewport()->width() - header->sectionSize(TEntryListModel::NameColumn)
                     - header->sectionSize(TEntryListModel::SizeColumn);
    const int half = std::max(left, 2 * header->minimumSectionSize()) / 2;
    const int remainder = std::max(left, 2 * header->minimumSectionSize()) % 2;
    header->resizeSection(TEntryListModel::DonkeyColumn, half + remainder);
    header->resizeSection(TEntryListModel::FileSpreeColumn, half);
}

#pragma once

#include <QElapsedTimer>
#include <QStackedWidget>

#include <vector>

class QAbstractItemView;
class QItemSelectionModel;
class QListView;
class QTableView;
class TEntryListModel;

// The file list: one model shown as large icons, small icons, a list in
// columns or details, by a list view and a table view that share the model and
// one selection. (A table keeps nothing per row, where a tree view lays out an
// item for every row at each insertion.) Type-ahead, Enter and the context menu are the same in every
// style.
class TListView final : public QStackedWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TListView)

public:
    // The styles as stored: 0 large icons, 1 small icons, 2 list, 3 details.
    enum TViewStyle
    {
        vsIcon = 0,
        vsSmallIcon = 1,
        vsList = 2,
        vsReport = 3
    };

    TListView(TEntryListModel &model, QWidget *parent = nullptr);

    int ViewStyle() const { return m_viewStyle; }
    void SetViewStyle(int style);

    QListView *IconView() const { return m_iconView; }
    QTableView *DetailView() const { return m_detailView; }
    // The view of the current style.
    QAbstractItemView *CurrentView() const;
    QItemSelectionModel *SelectionModel() const;
    // The selected rows in ascending order.
    std::vector<int> SelectedRows() const;
    // The lowest selected row, or -1.
    int FirstSelectedRow() const;
    void SelectAll();
    void SelectOnly(int row);

    // The widths of the Details columns that keep theirs (Name, Size); the
    // hash columns share what they leave. Widths out of bounds are brought
    // within them; an empty or short list leaves the columns as they are.
    std::vector<int> ColumnWidths() const;
    void SetColumnWidths(const std::vector<int> &widths);

    // Typed text, as the list gathers it from keys typed in quick succession.
    void TypeAhead(const QString &text);

signals:
    void OpenRequested();
    void PopupRequested(const QPoint &globalPos);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void FitHashColumns();

    TEntryListModel &m_model;
    QListView *m_iconView;
    QTableView *m_detailView;
    int m_viewStyle = vsIcon;
    QString m_typed;
    QElapsedTimer m_lastTyped;
};

// The list of the main window at 100,000 entries: the cost of one more
// insertion, of Select All then Delete of 50,000 rows, which rows a repaint
// asks for, and the memory an entry takes. Runs headless; prints one figure a line.
#include <QAbstractItemView>
#include <QListView>
#include <QApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QStyledItemDelegate>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "entrylist.h"
#include "listview.h"
#include "main.h"

namespace {

// A view's delegate that notes the rows it paints, and otherwise does as the
// view's own delegate does.
class TCountingDelegate final : public QStyledItemDelegate
{
public:
    explicit TCountingDelegate(QAbstractItemDelegate *own)
        : m_own(own)
    {
    }
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        Rows.insert(index.row());
        m_own->paint(painter, option, index);
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return m_own->sizeHint(option, index);
    }
    mutable std::set<int> Rows;

private:
    QAbstractItemDelegate *m_own;
};

// Names in a random order, so that insertions land all over the list. The
// paths do not exist: the entries are listed as failed opens, without any I/O
// beyond the one failed open each.
std::vector<std::string> Paths(int count, unsigned seed)
{
    std::vector<std::string> paths;
    paths.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        paths.push_back("/nonexistent/bench/file-" + std::to_string(i) + "-" + std::to_string(seed) + ".bin");
    std::shuffle(paths.begin(), paths.end(), std::mt19937(seed));
    return paths;
}

// Bytes in use on the heap; 0 where the C library cannot tell.
std::size_t HeapInUse()
{
#if defined(__GLIBC__)
    return mallinfo2().uordblks;
#else
    return 0;
#endif
}

double Microseconds(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1000.0;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Fill(TEntryListModel &list, const std::vector<std::string> &paths)
{
    for (const std::string &path : paths)
        list.AddFinishedEntry(std::make_unique<TDonkeyFile>(path, hsAll));
}

const char *StyleName(int style)
{
    return style == TListView::vsIcon ? "icons" : style == TListView::vsList ? "list" : "details";
}

void MeasureStyle(TMainForm &form, int style, const std::vector<std::string> &more)
{
    TEntryListModel &list = form.EntryList();
    TListView &view = *form.ListView();
    view.SetViewStyle(style);
    QApplication::processEvents();

    // One more insertion: the model and the views' synchronous reactions.
    std::vector<double> inserts;
    std::vector<double> insertsDrawn;
    for (std::size_t i = 0; i < more.size(); ++i) {
        QElapsedTimer timer;
        timer.start();
        list.AddFinishedEntry(std::make_unique<TDonkeyFile>(more[i], hsAll));
        inserts.push_back(Microseconds(timer));
        // ... and with the views' deferred layout and repaint run as well.
        QApplication::processEvents();
        insertsDrawn.push_back(Microseconds(timer));
    }
    std::printf("%-8s one insertion at %d rows: median %.1f us (with layout and repaint %.1f us)\n",
                StyleName(style), list.rowCount(), Median(inserts), Median(insertsDrawn));

    // A full repaint draws only the rows in sight.
    QAbstractItemView *shown = view.CurrentView();
    QAbstractItemDelegate *own = shown->itemDelegate();
    TCountingDelegate counting(own);
    shown->setItemDelegate(&counting);
    QElapsedTimer paint;
    paint.start();
    shown->viewport()->repaint();
    const double painted = Microseconds(paint);
    shown->setItemDelegate(own);
    std::printf("%-8s a repaint of %d rows drew %zu rows in %.1f us\n", StyleName(style), list.rowCount(),
                counting.Rows.size(), painted);
}

void MeasureDelete(TMainForm &form, int style, const std::vector<std::string> &paths)
{
    form.EntryList().ClearEntries();
    Fill(form.EntryList(), paths);
    form.ListView()->SetViewStyle(style);
    QApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    form.ActionSelectAllExecute();
    form.ActionSupprimerExecute();
    QApplication::processEvents();
    std::printf("%-8s Select All + Delete of %zu rows: %.1f ms\n", StyleName(style), paths.size(),
                Microseconds(timer) / 1000.0);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    TMainForm form;
    form.resize(800, 600);
    form.show();
    QApplication::processEvents();

    const std::vector<std::string> paths = Paths(100000, 1);
    const std::size_t before = HeapInUse();
    QElapsedTimer timer;
    timer.start();
    Fill(form.EntryList(), paths);
    QApplication::processEvents();
    const double fill = Microseconds(timer) / 1000.0;
    const std::size_t after = HeapInUse();
    std::printf("listing 100000 entries one by one: %.0f ms; heap per entry (entry, list, views): %.0f bytes\n",
                fill, static_cast<double>(after - before) / 100000.0);

    // The same in slices of 1,000, as the window lists them, each slice's
    // names all over the list: the longest slice is the longest the list
    // holds the interface thread.
    form.EntryList().ClearEntries();
    double longest = 0;
    QElapsedTimer all;
    all.start();
    for (std::size_t first = 0; first < paths.size(); first += 1000) {
        std::vector<std::unique_ptr<TDonkeyFile>> slice;
        for (std::size_t i = first; i < std::min(paths.size(), first + 1000); ++i)
            slice.push_back(std::make_unique<TDonkeyFile>(paths[i], hsAll));
        QElapsedTimer one;
        one.start();
        form.EntryList().AddFinishedEntries(std::move(slice));
        QApplication::processEvents();
        longest = std::max(longest, Microseconds(one) / 1000.0);
    }
    std::printf("listing 100000 entries in slices of 1000: %.0f ms, the longest slice %.1f ms\n",
                Microseconds(all) / 1000.0, longest);

    const std::vector<std::string> more = Paths(200, 2);
    for (int style : {TListView::vsReport, TListView::vsIcon, TListView::vsList})
        MeasureStyle(form, style, more);

    const std::vector<std::string> half = Paths(50000, 3);
    for (int style : {TListView::vsReport, TListView::vsIcon})
        MeasureDelete(form, style, half);
    return 0;
}

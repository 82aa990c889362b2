// The list of the main window at 100,000 entries: the cost of one more
// insertion, of Select All then Delete of 50,000 rows, which rows a repaint
// asks for, and the memory an entry takes. Runs headless; prints one figure a line.
#include <QAbstractItemView>
#include <QListView>
#include <QApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>

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

// An entry that notes when a view reads it.
class TCountingEntry final : public TDonkeyFile
{
public:
    explicit TCountingEntry(const std::string &path)
        : TDonkeyFile(path, hsAll)
    {
    }
    TEntrySnapshot Snapshot() const override
    {
        if (Read)
            Read->insert(this);
        return TDonkeyFile::Snapshot();
    }
    static inline std::set<const TDonkeyFile *> *Read = nullptr;
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
        list.AddFinishedEntry(std::make_unique<TCountingEntry>(path));
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
        list.AddFinishedEntry(std::make_unique<TCountingEntry>(more[i]));
        inserts.push_back(Microseconds(timer));
        // ... and with the views' deferred layout and repaint run as well.
        QApplication::processEvents();
        insertsDrawn.push_back(Microseconds(timer));
    }
    std::printf("%-8s one insertion at %d rows: median %.1f us (with layout and repaint %.1f us)\n",
                StyleName(style), list.rowCount(), Median(inserts), Median(insertsDrawn));

    // A full repaint asks only for the rows in sight.
    std::set<const TDonkeyFile *> read;
    TCountingEntry::Read = &read;
    QElapsedTimer paint;
    paint.start();
    view.CurrentView()->viewport()->repaint();
    const double painted = Microseconds(paint);
    TCountingEntry::Read = nullptr;
    std::printf("%-8s a repaint of %d rows read %zu entries in %.1f us\n", StyleName(style), list.rowCount(),
                read.size(), painted);
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

    const std::vector<std::string> more = Paths(200, 2);
    for (int style : {TListView::vsReport, TListView::vsIcon, TListView::vsList})
        MeasureStyle(form, style, more);

    const std::vector<std::string> half = Paths(50000, 3);
    for (int style : {TListView::vsReport, TListView::vsIcon})
        MeasureDelete(form, style, half);
    return 0;
}

// The window's whole path from paths to listed entries, headless: queues the
// paths given as a command-line path or a drop would, and runs the window
// until its work is done, as a user waits for it to accept a close. Prints the
// time, and the longest the interface thread went without serving its events.
// With --format=hashes, prints each listed entry as brackwell-cli does (ed2k,
// MD5, size, name, a TAB between), in list order, so that the window's hashes
// can be checked against an outside tool.
//
// --add-folder adds each path as File > Add Folder does (the walk of
// brackwell-cli -r, off the interface thread). --stop-after=SECONDS triggers
// Stop that long after the start and prints how long the window then took to
// be idle; --stop-when-listed=N triggers it once N entries are listed (a big
// file first and small ones after: the status then says whether the big one
// was still hashed). --no-progress shows no progress line nor bar, to weigh their cost;
// --show shows the window (painted off screen), the status bar included.
//
//   brackwell_window_add [--format=hashes] [--quiet] [--add-folder] [--stop-after=S] [--stop-when-listed=N]
//                        [--no-progress] [--show] PATH...
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "entrylist.h"
#include "main.h"
#include "startup.h"

int main(int argc, char **argv)
{
    // As the program does.
    ShareFewHeaps();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    bool hashes = false;
    bool quiet = false;
    bool folders = false;
    bool progress = true;
    bool show = false;
    double stopAfter = -1;
    int stopWhenListed = -1;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--format=hashes") == 0)
            hashes = true;
        else if (std::strcmp(argv[i], "--quiet") == 0)
            quiet = true;
        else if (std::strcmp(argv[i], "--add-folder") == 0)
            folders = true;
        else if (std::strcmp(argv[i], "--no-progress") == 0)
            progress = false;
        else if (std::strcmp(argv[i], "--show") == 0)
            show = true;
        else if (std::strncmp(argv[i], "--stop-after=", 13) == 0)
            stopAfter = std::atof(argv[i] + 13);
        else if (std::strncmp(argv[i], "--stop-when-listed=", 19) == 0)
            stopWhenListed = std::atoi(argv[i] + 19);
        else
            paths.emplace_back(argv[i]);
    }

    TMainForm form;
    if (!progress)
        form.SetProgressInterval(0);
    if (show)
        form.show();
    QElapsedTimer clock;
    qint64 stoppedAt = -1;
    int listed = 0;
    qint64 lastTick = 0;
    qint64 longestPause = 0;
    // A tick every millisecond: the gaps between ticks are how long the
    // interface thread left its events waiting.
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longestPause = std::max(longestPause, now - lastTick);
        lastTick = now;
        if (stopWhenListed >= 0 && stoppedAt < 0 && form.EntryList().Count() >= stopWhenListed) {
            stoppedAt = now;
            form.ActionStopExecute();
        }
        if (!form.WorkUnderWay()) {
            listed = form.EntryList().Count();
            application.quit();
        }
    });
    clock.start();
    if (folders) {
        for (const std::string &path : paths) {
            form.FolderChooser = [&path](QWidget *, const QString &, const QString &) {
                return QString::fromLocal8Bit(path.c_str());
            };
            form.ActionAddFolderExecute();
        }
    } else {
        form.QueueFilePaths(paths);
    }
    if (stopAfter >= 0) {
        QTimer::singleShot(static_cast<int>(stopAfter * 1000), &form, [&] {
            stoppedAt = clock.nsecsElapsed();
            form.ActionStopExecute();
        });
    }
    lastTick = clock.nsecsElapsed();
    ticker.start(1);
    application.exec();
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;

    if (hashes) {
        const TEntryListModel &list = form.EntryList();
        for (int row = 0; row < list.Count(); ++row) {
            const TEntrySnapshot e = list.EntryAt(row)->Snapshot();
            std::printf("%s\t%s\t%lld\t%s\n", e.DonkeyHashText().c_str(), e.FileSpreeHashText().c_str(),
                        static_cast<long long>(e.Size), e.DisplayName.c_str());
        }
    }
    if (!quiet) {
        std::fprintf(stderr, "window: %d entries listed in %.3f s; longest pause of the interface thread %.1f ms\n",
                     listed, seconds, static_cast<double>(longestPause) / 1e6);
        if (stoppedAt >= 0) {
            std::fprintf(stderr, "window: Stop at %.3f s with %d entries listed\n", static_cast<double>(stoppedAt) / 1e9,
                         stopWhenListed);
            std::fprintf(stderr, "window: idle %.1f ms after Stop; status: %s\n",
                         static_cast<double>(clock.nsecsElapsed() - stoppedAt) / 1e6,
                         form.StatusText().toUtf8().constData());
        }
    }
    return 0;
}

// The window's whole path from paths to listed entries, headless: queues the
// paths given as a command-line path or a drop would, and runs the window
// until its work is done, as a user waits for it to accept a close. Prints the
// time, and the longest the interface thread went without serving its events.
// With --format=hashes, prints each listed entry as brackwell-cli does (ed2k,
// MD5, size, name, a TAB between), in list order, so that the window's hashes
// can be checked against an outside tool.
//
//   brackwell_window_add [--format=hashes] [--quiet] PATH...
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "entrylist.h"
#include "main.h"

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    bool hashes = false;
    bool quiet = false;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--format=hashes") == 0)
            hashes = true;
        else if (std::strcmp(argv[i], "--quiet") == 0)
            quiet = true;
        else
            paths.emplace_back(argv[i]);
    }

    TMainForm form;
    QElapsedTimer clock;
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
        if (!form.WorkUnderWay())
            application.quit();
    });
    clock.start();
    form.QueueFilePaths(paths);
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
                     form.EntryList().Count(), seconds, static_cast<double>(longestPause) / 1e6);
    }
    return 0;
}

// The window's work without a window: paths in, entries out as they are
// ready, walks bounded by the hashing, Stop, refreshes, and what a failed post
// or a closing controller must not lose or wait for.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <stdexcept>
#include <thread>

#include "entries/donkeyfile.h"
#include "heldcores.h"
#include "partmetbuilder.h"
#include "paths.h"
#include "qtdispatcher.h"
#include "runs/runentry.h"
#include "workcontroller.h"

namespace {

#ifdef _WIN32
// Under wine every file call goes through its server: the 20,000 files of a
// walk take a minute or more there.
constexpr int Timeout = 300000;
#else
constexpr int Timeout = 60000;
#endif
// MD4 of "abc" (RFC 1320), the eDonkey2000 hash of a one-chunk file holding it.
const std::string AbcMd4 = "A448017AAF21D8525FC10AE87AA6729D";

// The interface thread's loop, failing the first posts it is given (no
// memory for a queued call).
class TFailingDispatcher final : public TDispatcher
{
public:
    explicit TFailingDispatcher(int failures) : m_failures(failures) {}
    void Synchronize(std::function<void()> step) override { m_loop.Synchronize(std::move(step)); }
    void Post(std::function<void()> step) override
    {
        if (m_failures.fetch_sub(1) > 0)
            throw std::bad_alloc();
        m_loop.Post(std::move(step));
    }

private:
    std::atomic<int> m_failures;
    TQtDispatcher m_loop;
};

// A controller over default settings and a folder of files; the entries it
// hands over are kept here, by name.
class TWork final
{
public:
    explicit TWork(TDispatcher *dispatcher = nullptr)
        : Work(std::make_unique<TWorkController>(Settings, nullptr, dispatcher))
    {
        QObject::connect(Work.get(), &TWorkController::EntriesReady, [this](TEntryBatch &batch) {
            for (std::unique_ptr<TDonkeyFile> &entry : batch.Entries)
                Listed[entry->DisplayName()] = std::move(entry);
        });
    }
    ~TWork()
    {
        // A test that failed half-way leaves nothing running.
        Work->Stop();
        WaitIdle();
        Work.reset();
    }

    std::string File(const QString &name, const QByteArray &content = "abc") const
    {
        const QString path = m_dir.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
        return PathOfText(path);
    }
    std::string Sparse(const QString &name, qint64 size) const
    {
        QFile file(m_dir.filePath(name));
        QDir().mkpath(QFileInfo(file.fileName()).path());
        if (!file.open(QIODevice::WriteOnly) || !file.resize(size))
            qFatal("no sparse file %s", qPrintable(file.fileName()));
        return PathOfText(file.fileName());
    }
    std::string Folder(const QString &name = {}) const { return PathOfText(m_dir.filePath(name)); }
    void WaitIdle() const { QTRY_VERIFY_WITH_TIMEOUT(!Work->Busy(), Timeout); }
    std::string Hash(const std::string &name) const
    {
        const auto found = Listed.find(name);
        return found == Listed.end() ? std::string("(not listed)") : found->second->DonkeyHash();
    }

    TSettings Settings;
    std::unique_ptr<TWorkController> Work;
    std::map<std::string, std::unique_ptr<TDonkeyFile>> Listed;

private:
    QTemporaryDir m_tempDir;
    QDir m_dir{m_tempDir.path()};
};

// Waits on this thread, serving no event, until done() (a minute at most).
bool WithoutEvents(const std::function<bool()> &done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!done() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

} // namespace

class WorkControllerTest final : public QObject
{
    Q_OBJECT

private slots:
    // Plain files and descriptors come back as entries, a missing file as
    // one that failed; the counts follow them, and nothing is left.
    void entriesComeBackForEveryPath()
    {
        TWork w;
        TWorkController &work = *w.Work;
        QSignalSpy state(&work, &TWorkController::StateChanged);
        const std::string descriptor = w.File("d.part.met", QByteArray::fromStdString(
            partmet::TBuilder().Add(partmet::Text(0x01, "zeta.avi")).Add(partmet::Integer(0x02, 1234)).Bytes()));
        {
            THeldCores cores(work.CoreTokens());
            work.AddFiles({w.File("a.txt"), w.File("b.txt", "abcd"), w.Folder("missing.txt")});
            work.AddDescriptors({descriptor});
            QCOMPARE(work.FilesLeft(), std::size_t{3});
            QVERIFY(work.FilesBusy());
            QVERIFY(work.Stoppable());
            QVERIFY(!work.OnlyStoppedWorkLeft());
        }
        w.WaitIdle();
        QCOMPARE(w.Listed.size(), std::size_t{4});
        QCOMPARE(w.Hash("a.txt"), AbcMd4);
        QVERIFY(w.Hash("b.txt") != AbcMd4);
        QCOMPARE(w.Hash("missing.txt"), std::string(ErrorText));
        QCOMPARE(w.Listed["zeta.avi"]->Size(), 1234);
        QCOMPARE(work.FilesLeft(), std::size_t{0});
        QVERIFY(!work.Stoppable());
        QVERIFY(state.count() > 0);
    }

    // A file far too big to be hashed during the test comes first: the 3,000
    // small files after it are all handed over while it is still hashed, as
    // they are ready (the first 1,024 only, were they taken in order).
    void aBigFileFirstHoldsNothingBack()
    {
        TWork w;
        TWorkController &work = *w.Work;
        w.Sparse("tree/0-big.bin", qint64(1) << 40);
        for (int i = 0; i < 3000; ++i)
            w.File(QStringLiteral("tree/%1.txt").arg(i, 4, 10, QChar('0')));
        work.AddFolders({w.Folder("tree")});
        QTRY_COMPARE_WITH_TIMEOUT(w.Listed.size(), std::size_t{3000}, Timeout);
        QVERIFY(!w.Listed.count("0-big.bin"));
        QCOMPARE(work.FilesLeft(), std::size_t{1});
        QCOMPARE(w.Hash("2999.txt"), AbcMd4);
        // The walk over, what still waits is measured: the run's total and
        // share are known.
        QTRY_COMPARE_WITH_TIMEOUT(work.Progress().Counts.AllBytes, std::optional<std::int64_t>((qint64(1) << 40) + 3 * 3000), Timeout);
        QCOMPARE(work.Progress().BarMaximum, 1000);
        work.Stop();
        QCOMPARE(work.NotHashed(), std::optional<std::size_t>(1));
    }

    // While a folder is read the run's total is unknown: no share on the bar
    // (a busy bar), no total of files or bytes. And the walk runs ahead of
    // the hashing by a bounded number of files: with the cores held it waits,
    // the queue holding a few thousand paths, not the whole folder.
    void aWalkRunsAheadBoundedWithABusyBar()
    {
        TWork w;
        TWorkController &work = *w.Work;
        for (int i = 0; i < 20000; ++i)
            w.File(QStringLiteral("many/%1/%2").arg(i / 1000).arg(i % 1000), "x");
        THeldCores cores(work.CoreTokens());
        work.AddFolders({w.Folder("many")});
        QTRY_VERIFY_WITH_TIMEOUT(work.WalkWaiting(), Timeout);
        QVERIFY(work.Walking());
        QVERIFY2(work.FilesLeft() <= 8192 + 1024, qPrintable(QString::number(work.FilesLeft())));
        const TRunProgress progress = work.Progress();
        QCOMPARE(progress.BarMaximum, 0);
        QVERIFY(!progress.Counts.AllFilesKnown);
        QVERIFY(!progress.Counts.AllBytes);
        cores.Release();
        w.WaitIdle();
        QCOMPARE(w.Listed.size(), std::size_t{1000}); // names repeat in each folder
        QVERIFY(!work.Walking());
    }

    // Stop hands over what is done, however long it waited for the
    // interface thread; only the rest counts as not hashed.
    void stopListsWhatIsDone()
    {
        TWork w;
        TWorkController &work = *w.Work;
        std::vector<std::string> paths;
        for (int i = 0; i < 200; ++i)
            paths.push_back(w.File(QStringLiteral("%1.txt").arg(i)));
        work.AddFiles(paths);
        // Hashed, and not taken: this thread serves no event meanwhile. A file
        // counts its bytes once its chunk is hashed, before its worker hands
        // it back; the workers let their cores go once they have.
        QVERIFY(WithoutEvents([&] { return work.Progress().Counts.DoneBytes == 600; }));
        THeldCores(work.CoreTokens()).Release();
        work.Stop();
        QCOMPARE(w.Listed.size(), std::size_t{200});
        QCOMPARE(work.NotHashed(), std::optional<std::size_t>(0));
        w.WaitIdle();
    }

    // A Stop that comes before a refresh's run has begun (it waits for a
    // core here) ends it all the same; paths added meanwhile were held and
    // count as not hashed; paths added afterwards are hashed.
    void stopBeforeARefreshBeginsEndsIt()
    {
        TWork w;
        TWorkController &work = *w.Work;
        work.AddFiles({w.Sparse("big.bin", 2 * 9728000)});
        w.WaitIdle();
        TDonkeyFile &entry = *w.Listed["big.bin"];
        const std::string hash = entry.DonkeyHash();
        QSignalSpy ended(&work, &TWorkController::RefreshEnded);
        {
            THeldCores cores(work.CoreTokens());
            QVERIFY(work.Refresh(entry));
            QCOMPARE(work.Refreshing(), &entry);
            QVERIFY(!work.Refresh(entry)); // one at a time
            work.AddFiles({w.File("a.txt"), w.File("b.txt")});
            QCOMPARE(work.FilesLeft(), std::size_t{2});
            work.Stop();
            QCOMPARE(work.NotHashed(), std::optional<std::size_t>(2));
        }
        w.WaitIdle();
        QCOMPARE(ended.count(), 1);
        QCOMPARE(entry.DonkeyHash(), std::string(ErrorText));
        QCOMPARE(entry.Failure(), std::string(StoppedText));
        QCOMPARE(w.Listed.size(), std::size_t{1});

        work.AddFiles({w.File("c.txt")});
        w.WaitIdle();
        QCOMPARE(w.Hash("c.txt"), AbcMd4);
        QVERIFY(work.Refresh(entry));
        w.WaitIdle();
        QCOMPARE(entry.DonkeyHash(), hash);
    }

    // Posts that fail (no memory for a queued call) lose nothing: the walk's
    // batches and the ready entries are taken all the same, and the work
    // ends instead of staying busy for ever.
    void failedPostsDoNotWedgeTheWork()
    {
        TFailingDispatcher dispatcher(3);
        TWork w(&dispatcher);
        TWorkController &work = *w.Work;
        for (const char *name : {"f/1.txt", "f/2.txt", "f/3.txt"})
            w.File(QString::fromLatin1(name));
        work.AddFolders({w.Folder("f")});
        w.WaitIdle();
        QVERIFY(!work.Walking());
        QCOMPARE(w.Listed.size(), std::size_t{3});
        QCOMPARE(w.Hash("3.txt"), AbcMd4);
    }

    // Stop during a walk that waits for the hashing: the walk ends at once,
    // and nothing of the folder is handed over, then or ever: a folder added
    // afterwards, whose files come after any of the first one's, is all that
    // is listed.
    void stopEndsAWalk()
    {
        TWork w;
        TWorkController &work = *w.Work;
        for (int i = 0; i < 20000; ++i)
            w.File(QStringLiteral("many/%1/%2").arg(i / 1000).arg(i % 1000), "x");
        w.File("after/marker.txt");
        {
            THeldCores cores(work.CoreTokens());
            work.AddFolders({w.Folder("many")});
            QTRY_VERIFY_WITH_TIMEOUT(work.WalkWaiting(), Timeout);
            QVERIFY(work.Stoppable());
            work.Stop();
            QVERIFY(!work.Walking());
            QVERIFY(!work.WalkWaiting());
            QVERIFY(work.NotHashed() >= std::optional<std::size_t>(8192));
        }
        work.AddFolders({w.Folder("after")});
        w.WaitIdle();
        QCOMPARE(w.Listed.size(), std::size_t{1});
        QCOMPARE(w.Hash("marker.txt"), AbcMd4);
    }
};

QTEST_GUILESS_MAIN(WorkControllerTest)
#include "workcontroller_test.moc"

// The detail dialog's "Check data": the verdicts of a download's chunks in
// the map and the legend, and a check that Stop, closing the dialog or
// showing another entry ends without the interface thread waiting for it.
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <condition_variable>
#include <cerrno>
#include <filesystem>
#include <mutex>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#include "chunkmap.h"
#include "detail.h"
#include "entries/partfile.h"
#include "input/fileio.h"
#include "partdata.h"
#include "partmetbuilder.h"

using namespace partmet;
using namespace partdata;

namespace {

// A gate the check's thread waits at before it hashes, until the test opens it.
class TGate final
{
public:
    void Wait()
    {
        std::unique_lock lock(m_mutex);
        m_reached = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
    }
    bool Reached()
    {
        const std::lock_guard lock(m_mutex);
        return m_reached;
    }
    void Open()
    {
        const std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_reached = false;
    bool m_open = false;
};

template <typename T>
T *Child(QObject *parent, const char *name)
{
    return parent->findChild<T *>(QString::fromLatin1(name));
}

} // namespace

class TDataCheckTest final : public QObject
{
    Q_OBJECT

private:
    // NAME.part.met beside NAME.part of size bytes, spoiled at the offsets given.
    std::string Download(const std::string &name, std::int64_t size, const std::vector<TTag> &gaps = {},
                         const std::vector<std::int64_t> &spoiled = {})
    {
        const std::string data = m_dir.filePath(QString::fromStdString(name + ".part")).toStdString();
        WriteData(data, size);
        const std::vector<std::string> parts = PartHashesOf(data, size);
        TBuilder descriptor(0xE0, HashFromHex(RootOf(parts)));
        descriptor.PartHashes(Views(parts)).Add(Text(FileName, name + ".bin")).Add(Integer(FileSize, size)).Add(gaps);
        const std::string bytes = descriptor.Bytes();
        QFile met(QString::fromStdString(data + ".met"));
        if (!met.open(QIODevice::WriteOnly) || met.write(bytes.data(), static_cast<qint64>(bytes.size())) < 0)
            qFatal("cannot write the descriptor");
        for (const std::int64_t at : spoiled)
            Overwrite(data, at, "\x01");
        return data + ".met";
    }

    std::unique_ptr<TPartFile> Entry(const std::string &path)
    {
        auto entry = std::make_unique<TPartFile>(path);
        entry->HashFile();
        return entry;
    }

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Byte offsets in the tooltips as English writes them.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void verdictsInTheMapAndTheLegend()
    {
        const auto entry = Entry(Download("001", 3 * C + 100, {Gap(GapStart, "0", 2 * C), Gap(GapEnd, "0", 2 * C + 1)},
                                          {C + 5}));
        TDetailForm form;
        form.Fill(*entry, {});
        QSignalSpy finished(&form, &TDetailForm::CheckFinished);
        QTest::mouseClick(Child<QPushButton>(&form, "CheckDataButton"), Qt::LeftButton);
        QVERIFY(form.Checking());
        QVERIFY(finished.wait(60000));
        QVERIFY(!form.Checking());

        using V = TChunkVerdict;
        const std::vector<V> expected = {V::Good, V::Corrupt, V::Missing, V::Good};
        auto *map = Child<TChunkMap>(&form, "ChunkMap");
        QVERIFY(form.LastCheck());
        QCOMPARE(form.LastCheck()->Chunks, expected);
        QCOMPARE(map->Chunks(), expected);
        QCOMPARE(Child<QLabel>(&form, "GoodCount")->text(), QStringLiteral("Good: 2"));
        QCOMPARE(Child<QLabel>(&form, "CorruptCount")->text(), QStringLiteral("Corrupt: 1"));
        QCOMPARE(Child<QLabel>(&form, "MissingCount")->text(), QStringLiteral("Missing: 1"));
        QVERIFY(Child<QLabel>(&form, "CheckSummaryLabel")->text().endsWith(
            QStringLiteral("The part hashes give the file hash.")));
        QCOMPARE(map->CellText(1), QStringLiteral("Chunk 2 of 4: corrupt\nBytes 9,728,000 to 19,455,999"));
        QCOMPARE(map->CellText(3), QStringLiteral("Chunk 4 of 4: good\nBytes 29,184,000 to 29,184,099"));
        // Each cell under the pointer is its own chunk, at any width.
        for (const int width : {60, 200, 433}) {
            map->resize(width, map->heightForWidth(width));
            for (int chunk = 0; chunk < 4; ++chunk)
                QCOMPARE(map->ChunkAt(map->CellRect(chunk).center()), chunk);
        }

        // Another entry: the page shows nothing of the first one's check; a
        // descriptor without its data file says why it was not checked.
        const std::string lost = Download("002", 100);
        std::filesystem::remove(lost.substr(0, lost.size() - 4));
        const auto other = Entry(lost);
        form.Fill(*other, {});
        QVERIFY(!form.LastCheck());
        QVERIFY(map->Chunks().empty());
        QTest::mouseClick(Child<QPushButton>(&form, "CheckDataButton"), Qt::LeftButton);
        QVERIFY(finished.wait(60000));
        // The system's own words for a missing file.
#ifdef _WIN32
        const QString missing = QString::fromStdString(SystemErrorText(ERROR_FILE_NOT_FOUND));
#else
        const QString missing = QString::fromStdString(ErrnoText(ENOENT));
#endif
        QCOMPARE(Child<QLabel>(&form, "CheckSummaryLabel")->text(),
                 QStringLiteral("Not checked: the data file 002.part cannot be read: ") + missing);
        QVERIFY(map->Chunks().empty());
    }

    void stopCloseAndAnotherEntryDoNotWait_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Stop") << "Stop";
        QTest::newRow("Close") << "Close";
        QTest::newRow("another entry") << "another entry";
    }

    void stopCloseAndAnotherEntryDoNotWait()
    {
        QFETCH(QString, how);
        const auto entry = Entry(Download("003", 2 * C));
        const auto plain = std::make_unique<TDonkeyFile>(m_dir.filePath(QStringLiteral("003.part")).toStdString(), hsDonkey);
        TDetailForm form;
        TGate gate;
        form.SetCheckObserver([&gate] { gate.Wait(); });
        form.Fill(*entry, {});
        form.show();
        QSignalSpy finished(&form, &TDetailForm::CheckFinished);
        QTest::mouseClick(Child<QPushButton>(&form, "CheckDataButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(gate.Reached(), 60000);

        // The check's thread is held at the gate: each of these returns on
        // the interface thread all the same.
        if (how == QLatin1String("Stop"))
            QTest::mouseClick(Child<QPushButton>(&form, "StopCheckButton"), Qt::LeftButton);
        else if (how == QLatin1String("Close"))
            form.close();
        else
            form.Fill(*plain, {});
        QVERIFY(finished.isEmpty());
        const bool abandoned = how != QLatin1String("Stop");
        QCOMPARE(form.Checking(), !abandoned);
        gate.Open();
        QVERIFY(finished.wait(60000));
        QVERIFY(!form.Checking());
        if (abandoned) {
            QVERIFY(!form.LastCheck());
            QVERIFY(Child<TChunkMap>(&form, "ChunkMap")->Chunks().empty());
        } else {
            QCOMPARE(form.LastCheck()->Error, std::string("stopped"));
            QCOMPARE(Child<QLabel>(&form, "CheckSummaryLabel")->text(), QStringLiteral("Not checked: stopped"));
        }
        QCOMPARE(Child<QPushButton>(&form, "CheckDataButton")->isEnabled(), how != QLatin1String("another entry"));
    }
};

QTEST_MAIN(TDataCheckTest)
#include "datacheck_test.moc"

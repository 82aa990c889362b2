// The link check dialog ends a running check at once: Stop, Escape and Close,
// during a check of large files, the files under way included, without the
// interface thread waiting for the worker.
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>

#include "checklinks.h"

namespace {

// Large enough that a check left to run would take minutes; sparse, so
// they cost no disk.
constexpr qint64 FileSize = 8ll << 30;
constexpr int FileCount = 6;
// Far above the fraction of a second a stop takes, far below the check.
constexpr int StopBound = 5000;

} // namespace

class TCheckLinksTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QByteArray list;
        for (int i = 0; i < FileCount; ++i) {
            const QString name = QStringLiteral("big%1.bin").arg(i);
            QFile file(m_dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(FileSize));
            list += "ed2k://|file|" + name.toUtf8() + "|" + QByteArray::number(FileSize)
                    + "|00000000000000000000000000000000|\n";
        }
        QFile listFile(m_dir.filePath(QStringLiteral("list.txt")));
        QVERIFY(listFile.open(QIODevice::WriteOnly));
        listFile.write(list);
    }

    void stopEscapeAndCloseEndTheCheck_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Stop") << "Stop";
        QTest::newRow("Escape") << "Escape";
        QTest::newRow("Close") << "Close";
    }

    void stopEscapeAndCloseEndTheCheck()
    {
        QFETCH(QString, how);
        // The hashing threads wait at their first chunk until the test opens
        // the gate: the check is under way, and cannot have ended, whatever
        // the machine's speed.
        std::atomic<int> chunks = 0;
        std::atomic<bool> gate = false;
        const auto openGate = [&gate] {
            gate = true;
            gate.notify_all();
        };
        TCheckLinksForm form;
        const auto openOnReturn = qScopeGuard(openGate); // before the form waits for its worker
        form.SetChunkObserver([&](TDonkeyFile &) {
            ++chunks;
            gate.wait(false);
        });
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(form.Start(m_dir.filePath(QStringLiteral("list.txt")).toStdString(), {}));
        QTRY_VERIFY_WITH_TIMEOUT(chunks > 0, StopBound);
        QVERIFY(form.Busy());

        if (how == "Stop")
            form.findChild<QPushButton *>(QStringLiteral("StopButton"))->click();
        else if (how == "Escape")
            QTest::keyClick(&form, Qt::Key_Escape);
        else
            form.close();
        // The interface thread went on at once.
        QVERIFY(form.Busy());
        // The files under way end at their next chunk, not at their end
        // minutes later.
        openGate();
        QTRY_VERIFY_WITH_TIMEOUT(!form.Busy(), StopBound);
        QVERIFY(form.StatusText().endsWith(QStringLiteral("(stopped)")));
        QCOMPARE(form.isVisible(), how == "Stop");
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TCheckLinksTest)
#include "checklinks_test.moc"

// The progress line's words: sizes, durations, the smoothed speed and the
// time left, and how the status bar cuts it.
#include <QLocale>
#include <QTest>

#include "elidedlabel.h"
#include "progressline.h"

class ProgressLineTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void bytesKeepThreeFigures()
    {
        QCOMPARE(TProgressLine::Bytes(0), "0 B");
        QCOMPARE(TProgressLine::Bytes(999), "999 B");
        // 1,000 bytes and more go up a unit, so that no figure has four digits.
        QCOMPARE(TProgressLine::Bytes(1000), "1.0 KB");
        QCOMPARE(TProgressLine::Bytes(9.3 * 1024), "9.3 KB");
        QCOMPARE(TProgressLine::Bytes(480.0 * 1024 * 1024), "480 MB");
        QCOMPARE(TProgressLine::Bytes(1.25 * 1024 * 1024 * 1024), "1.3 GB");
        QCOMPARE(TProgressLine::Bytes(5000.0 * 1024 * 1024 * 1024 * 1024), "5000 TB");
    }

    void durations()
    {
        QCOMPARE(TProgressLine::Duration(-3), "0:00");
        QCOMPARE(TProgressLine::Duration(12), "0:12");
        QCOMPARE(TProgressLine::Duration(12 * 60 + 5), "12:05");
        QCOMPARE(TProgressLine::Duration(3723), "1:02:03");
        QCOMPARE(TProgressLine::Duration(100 * 3600), "100:00:00");
    }

    // The speed is the mean of the last three seconds: a burst long ago no
    // longer counts, a single sample or half a second says nothing yet.
    void speedIsSmoothedOverTheLastSeconds()
    {
        TProgressLine line;
        QVERIFY(!line.Speed());
        line.Sample(0, 0);
        line.Sample(400, 100'000'000);
        QVERIFY(!line.Speed());
        line.Sample(1000, 100'000'000);
        QCOMPARE(*line.Speed(), 100'000'000.0);
        // Steady at 10 MB/s for six more seconds: the burst has left the span.
        for (int t = 1; t <= 6; ++t)
            line.Sample(1000 + t * 1000, 100'000'000 + t * 10'000'000);
        QCOMPARE(*line.Speed(), 10'000'000.0);
        line.Reset();
        QVERIFY(!line.Speed());
    }

    void textSaysWhatIsKnown()
    {
        TProgressLine line;
        const std::int64_t mib = 1024 * 1024;
        TProgressCounts counts{.DoneFiles = 3, .AllFiles = 41, .DoneBytes = 12 * mib, .AllBytes = 480 * mib};
        // No speed yet: no time left either.
        line.Sample(0, 0);
        QCOMPARE(line.Text(counts), "3 of 41 file(s), 12.0 of 480 MB");
        line.Sample(2000, 12 * mib);
        QCOMPARE(line.Text(counts), "3 of 41 file(s), 12.0 of 480 MB, 1:18 left, 6.0 MB/s");
        // Two units: both named.
        counts.AllBytes = 2 * 1024 * mib;
        QCOMPARE(line.Text(counts).section(", ", 1, 1), "12.0 MB of 2.0 GB");
        // A size not yet known: the bytes done only, and no time left.
        counts.AllBytes.reset();
        QCOMPARE(line.Text(counts), "3 of 41 file(s), 12.0 MB, 6.0 MB/s");
        // Nothing hashed for a while: no time left rather than a division by zero.
        line.Reset();
        line.Sample(0, 12 * mib);
        line.Sample(1000, 12 * mib);
        counts.AllBytes = 480 * mib;
        QCOMPARE(line.Text(counts), "3 of 41 file(s), 12.0 of 480 MB, 0 B/s");
        // More done than the sizes said (a file grew): nothing negative.
        counts.DoneBytes = 500 * mib;
        line.Sample(2000, 500 * mib);
        QCOMPARE(line.Text(counts).section(", ", 2, 2), "0:00 left");
    }

    // The file counts in plain digits, as the status text beside them counts
    // (its "%n file(s) left" has no group separator), whatever the locale.
    void countsInPlainDigits()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        const TProgressLine line;
        const QString text = line.Text({.DoneFiles = 1200, .AllFiles = 5000, .DoneBytes = 0, .AllBytes = 0});
        QLocale::setDefault(QLocale::c());
        QVERIFY2(text.contains("1200 of 5000 file(s)"), qPrintable(text));
    }

    // Short of room, the status bar's line leaves out its last parts whole,
    // never cutting a figure; with no room even for the first, it is cut.
    void lineCutBetweenParts()
    {
        TElidedLabel label;
        label.SetPartSeparator(TProgressLine::Separator());
        const QString whole = "3 of 41 file(s), 12.0 of 480 MB, 1:18 left, 6.0 MB/s";
        label.setText(whole);
        const QFontMetrics metrics = label.fontMetrics();
        const int full = metrics.horizontalAdvance(whole);
        QCOMPARE(label.Shown(full), whole);
        const QString firstTwo = "3 of 41 file(s), 12.0 of 480 MB, " + QString(QChar(0x2026));
        QCOMPARE(label.Shown(metrics.horizontalAdvance(firstTwo)), firstTwo);
        QCOMPARE(label.Shown(full - 1), "3 of 41 file(s), 12.0 of 480 MB, 1:18 left, " + QString(QChar(0x2026)));
        const QString first = "3 of 41 file(s), " + QString(QChar(0x2026));
        QCOMPARE(label.Shown(metrics.horizontalAdvance(firstTwo) - 1), first);
        QCOMPARE(label.Shown(metrics.horizontalAdvance(first) - 1),
                 metrics.elidedText(whole, Qt::ElideRight, metrics.horizontalAdvance(first) - 1));
    }
};

QTEST_MAIN(ProgressLineTest)
#include "progressline_test.moc"

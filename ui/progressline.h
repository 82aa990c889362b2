#pragma once

#include <QCoreApplication>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

// How far the plain files queued since the window was last idle have come.
struct TProgressCounts
{
    std::size_t DoneFiles = 0;
    // Done, under way and waiting.
    std::size_t AllFiles = 0;
    // The sizes of the files listed, and the chunks done of those under way.
    std::int64_t DoneBytes = 0;
    // The sizes of all files; none while some file is not measured yet.
    std::optional<std::int64_t> AllBytes;
};

// What the status bar says of the plain files while they are hashed: "3 of
// 41 file(s), 12.0 of 480 MB, 0:12 left, 245 MB/s". The speed is the average
// of the last few seconds, so that it neither jumps at each chunk nor lags long
// behind a change; the time left is shown only when every size is known.
class TProgressLine final
{
    Q_DECLARE_TR_FUNCTIONS(TProgressLine)

public:
    // Forgets the speed: a new run of work begins.
    void Reset();
    // The bytes hashed so far at a moment (milliseconds of a steady clock).
    void Sample(std::int64_t milliseconds, std::int64_t bytes);
    // Bytes a second over the last seconds; none until half a second is seen.
    std::optional<double> Speed() const;
    // The parts joined by Separator(), the most telling first.
    QString Text(const TProgressCounts &counts) const;
    static QString Separator();

    // A byte count as the line shows it: "512 B", "9.3 KB", "480 MB", "1.2 GB"
    // (1 KB = 1,024 bytes, as the list's sizes). Not QLocale::formattedDataSize:
    // its fixed decimals ("480.0 MB", "1,000.0 MB", "1,023 bytes") are longer
    // in a narrow panel, and it names 1,024 bytes "kB".
    static QString Bytes(double bytes);
    // A duration as "0:12", "12:05" or "1:02:03".
    static QString Duration(std::int64_t seconds);

private:
    // The figure of a byte count and the index of its unit (0: B ... 4: TB).
    static std::pair<QString, std::size_t> Scaled(double bytes);

    std::deque<std::pair<std::int64_t, std::int64_t>> m_samples;
};

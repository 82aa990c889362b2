#include "progressline.h"

#include <QLocale>
#include <QStringList>

#include <array>
#include <cmath>

namespace {

// The span the speed is averaged over, and the least it needs.
constexpr std::int64_t SpeedSpanMs = 3000;
constexpr std::int64_t SpeedLeastMs = 500;

} // namespace

void TProgressLine::Reset()
{
    m_samples.clear();
}

void TProgressLine::Sample(std::int64_t milliseconds, std::int64_t bytes)
{
    m_samples.emplace_back(milliseconds, bytes);
    // One sample at least as old as the span stays, so that the span is whole.
    while (m_samples.size() > 2 && milliseconds - m_samples[1].first >= SpeedSpanMs)
        m_samples.pop_front();
}

std::optional<double> TProgressLine::Speed() const
{
    if (m_samples.size() < 2)
        return std::nullopt;
    const auto &[firstMs, firstBytes] = m_samples.front();
    const auto &[lastMs, lastBytes] = m_samples.back();
    if (lastMs - firstMs < SpeedLeastMs)
        return std::nullopt;
    return static_cast<double>(lastBytes - firstBytes) * 1000.0 / static_cast<double>(lastMs - firstMs);
}

QString TProgressLine::Text(const TProgressCounts &counts) const
{
    // How far the run has come first, then how long it has to go: where the
    // status bar is short of room it shows the first parts whole and leaves
    // out the rest. The files are counted with plain digits, as in the status
    // text beside.
    QStringList parts;
    parts << tr("%1 of %n file(s)", nullptr, static_cast<int>(counts.AllFiles))
                 .arg(static_cast<qulonglong>(counts.DoneFiles));
    if (counts.AllBytes) {
        const double done = static_cast<double>(counts.DoneBytes);
        const double all = static_cast<double>(*counts.AllBytes);
        // "12.0 of 480 MB" where both are in one unit.
        if (Scaled(done).second == Scaled(all).second)
            parts << tr("%1 of %2").arg(Scaled(done).first, Bytes(all));
        else
            parts << tr("%1 of %2").arg(Bytes(done), Bytes(all));
    } else {
        parts << Bytes(static_cast<double>(counts.DoneBytes));
    }
    const std::optional<double> speed = Speed();
    if (speed && counts.AllBytes && *speed > 0) {
        const double left = static_cast<double>(std::max<std::int64_t>(*counts.AllBytes - counts.DoneBytes, 0));
        parts << tr("%1 left").arg(Duration(static_cast<std::int64_t>(std::ceil(left / *speed))));
    }
    if (speed)
        parts << tr("%1/s").arg(Bytes(*speed));
    return parts.join(Separator());
}

QString TProgressLine::Separator()
{
    return tr(", ");
}

namespace {

constexpr std::array<const char *, 5> Units{QT_TRANSLATE_NOOP("TProgressLine", "%1 B"),
                                            QT_TRANSLATE_NOOP("TProgressLine", "%1 KB"),
                                            QT_TRANSLATE_NOOP("TProgressLine", "%1 MB"),
                                            QT_TRANSLATE_NOOP("TProgressLine", "%1 GB"),
                                            QT_TRANSLATE_NOOP("TProgressLine", "%1 TB")};

} // namespace

std::pair<QString, std::size_t> TProgressLine::Scaled(double bytes)
{
    std::size_t unit = 0;
    while (bytes >= 1000 && unit + 1 < Units.size()) {
        bytes /= 1024;
        ++unit;
    }
    const QLocale locale;
    // Three figures at most: "9.3", "48.0", "480"; whole bytes as they are.
    const QString number = unit == 0 || bytes >= 100 ? locale.toString(std::round(bytes), 'f', 0)
                                                     : locale.toString(bytes, 'f', 1);
    return {number, unit};
}

QString TProgressLine::Bytes(double bytes)
{
    const auto [number, unit] = Scaled(bytes);
    return tr(Units[unit]).arg(number);
}

QString TProgressLine::Duration(std::int64_t seconds)
{
    seconds = std::max<std::int64_t>(seconds, 0);
    const std::int64_t hours = seconds / 3600;
    const std::int64_t minutes = seconds / 60 % 60;
    const QString tail = QStringLiteral("%1:%2").arg(minutes, hours > 0 ? 2 : 1, 10, QLatin1Char('0'))
                             .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return hours > 0 ? QStringLiteral("%1:%2").arg(hours).arg(tail) : tail;
}

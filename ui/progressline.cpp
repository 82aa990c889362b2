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
    const QLocale locale;
    QStringList parts;
    parts << tr("%L1 of %Ln file(s)", nullptr, static_cast<int>(counts.AllFiles))
                 .arg(static_cast<qulonglong>(counts.DoneFiles));
    if (counts.AllBytes)
        parts << tr("%1 of %2").arg(Bytes(static_cast<double>(counts.DoneBytes)), Bytes(static_cast<double>(*counts.AllBytes)));
    else
        parts << Bytes(static_cast<double>(counts.DoneBytes));
    const std::optional<double> speed = Speed();
    if (speed) {
        parts << tr("%1/s").arg(Bytes(*speed));
        if (counts.AllBytes && *speed > 0) {
            const double left = static_cast<double>(std::max<std::int64_t>(*counts.AllBytes - counts.DoneBytes, 0));
            parts << tr("%1 left").arg(Duration(static_cast<std::int64_t>(std::ceil(left / *speed))));
        }
    }
    return parts.join(tr(", "));
}

QString TProgressLine::Bytes(double bytes)
{
    const std::array<const char *, 5> units{QT_TR_NOOP("%1 B"), QT_TR_NOOP("%1 KB"), QT_TR_NOOP("%1 MB"),
                                            QT_TR_NOOP("%1 GB"), QT_TR_NOOP("%1 TB")};
    std::size_t unit = 0;
    while (bytes >= 1000 && unit + 1 < units.size()) {
        bytes /= 1024;
        ++unit;
    }
    const QLocale locale;
    // Three figures at most: "9.3", "48.0", "480"; whole bytes as they are.
    const QString number = unit == 0 || bytes >= 100 ? locale.toString(std::round(bytes), 'f', 0)
                                                     : locale.toString(bytes, 'f', 1);
    return tr(units[unit]).arg(number);
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

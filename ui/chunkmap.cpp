#include "chunkmap.h"

#include <algorithm>

#include <QHelpEvent>
#include <QLocale>
#include <QPainter>
#include <QToolTip>

#include "digests/ed2k.h"

namespace {

// A cell and the gap after it, in device-independent pixels; smaller cells
// for downloads of many chunks.
constexpr int Cell = 12;
constexpr int SmallCell = 8;
constexpr int Gap = 2;
constexpr int ManyChunks = 1500;

// Colours told apart by every kind of colour vision (Okabe and Ito's
// palette): bluish green for good, vermillion for corrupt. Both are dark
// enough for white marks and light enough to stand out on a dark window.
const QColor GoodColour(0x00, 0x9E, 0x73);
const QColor CorruptColour(0xD5, 0x5E, 0x00);

} // namespace

TChunkMap::TChunkMap(QWidget *parent)
    : QWidget(parent)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setMouseTracking(true);
}

void TChunkMap::SetChunks(std::vector<TChunkVerdict> chunks, std::int64_t size)
{
    m_chunks = std::move(chunks);
    m_size = size;
    updateGeometry();
    update();
}

int TChunkMap::Columns(int width) const
{
    const int pitch = (m_chunks.size() > ManyChunks ? SmallCell : Cell) + Gap;
    return std::max(1, (width + Gap) / pitch);
}

QRect TChunkMap::CellRect(int chunk) const
{
    const int side = m_chunks.size() > ManyChunks ? SmallCell : Cell;
    const int columns = Columns(width());
    return {(chunk % columns) * (side + Gap), (chunk / columns) * (side + Gap), side, side};
}

int TChunkMap::ChunkAt(const QPoint &point) const
{
    const int side = m_chunks.size() > ManyChunks ? SmallCell : Cell;
    if (point.x() < 0 || point.y() < 0)
        return -1;
    const int column = point.x() / (side + Gap);
    const int row = point.y() / (side + Gap);
    const int columns = Columns(width());
    const int chunk = row * columns + column;
    if (column >= columns || chunk >= static_cast<int>(m_chunks.size()) || !CellRect(chunk).contains(point))
        return -1;
    return chunk;
}

QString TChunkMap::VerdictText(TChunkVerdict verdict)
{
    switch (verdict) {
    case TChunkVerdict::Good: return tr("good");
    case TChunkVerdict::Corrupt: return tr("corrupt");
    case TChunkVerdict::Missing: break;
    }
    return tr("missing");
}

QString TChunkMap::CellText(int chunk) const
{
    if (chunk < 0 || chunk >= static_cast<int>(m_chunks.size()))
        return {};
    const QLocale locale;
    const std::int64_t first = static_cast<std::int64_t>(chunk) * DonkeyChunkSize;
    const std::int64_t last = std::min(first + DonkeyChunkSize, m_size) - 1;
    return tr("Chunk %1 of %2: %3\nBytes %4 to %5")
        .arg(chunk + 1)
        .arg(m_chunks.size())
        .arg(VerdictText(m_chunks[static_cast<std::size_t>(chunk)]), locale.toString(first), locale.toString(last));
}

void TChunkMap::PaintCell(QPainter &painter, const QRect &cell, TChunkVerdict verdict, const QPalette &palette)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QRectF box = QRectF(cell).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor outline = palette.color(QPalette::WindowText);
    outline.setAlpha(150);
    switch (verdict) {
    case TChunkVerdict::Good:
        painter.fillRect(cell, GoodColour);
        break;
    case TChunkVerdict::Corrupt: {
        painter.fillRect(cell, CorruptColour);
        // A cross of the window's own light colour on every theme: white.
        QPen cross(Qt::white, cell.width() > 9 ? 2 : 1.5);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(cross);
        const QRectF inner = QRectF(cell).adjusted(2.5, 2.5, -2.5, -2.5);
        painter.drawLine(inner.topLeft(), inner.bottomRight());
        painter.drawLine(inner.topRight(), inner.bottomLeft());
        painter.setRenderHint(QPainter::Antialiasing, false);
        break;
    }
    case TChunkVerdict::Missing: {
        // Empty but for a hatch of the text's colour, faint on any background.
        QColor hatch = palette.color(QPalette::WindowText);
        hatch.setAlpha(110);
        painter.fillRect(cell, palette.color(QPalette::Base));
        painter.fillRect(cell, QBrush(hatch, Qt::BDiagPattern));
        break;
    }
    }
    painter.setPen(outline);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(box);
    painter.restore();
}

int TChunkMap::heightForWidth(int width) const
{
    if (m_chunks.empty())
        return 0;
    const int side = m_chunks.size() > ManyChunks ? SmallCell : Cell;
    const int columns = Columns(width);
    const int rows = (static_cast<int>(m_chunks.size()) + columns - 1) / columns;
    return rows * (side + Gap) - Gap;
}

QSize TChunkMap::sizeHint() const
{
    const int width = 32 * (Cell + Gap) - Gap;
    return {width, heightForWidth(width)};
}

QSize TChunkMap::minimumSizeHint() const
{
    return {Cell, m_chunks.empty() ? 0 : Cell};
}

bool TChunkMap::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const int chunk = ChunkAt(help->pos());
        if (chunk < 0) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), CellText(chunk), this, CellRect(chunk));
        }
        return true;
    }
    return QWidget::event(event);
}

void TChunkMap::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    for (int chunk = 0; chunk < static_cast<int>(m_chunks.size()); ++chunk) {
        const QRect cell = CellRect(chunk);
        if (cell.top() > height())
            break;
        PaintCell(painter, cell, m_chunks[static_cast<std::size_t>(chunk)], palette());
    }
}

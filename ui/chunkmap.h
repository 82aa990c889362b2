#pragma once

#include <cstdint>
#include <vector>

#include <QWidget>

#include "runs/datacheck.h"

class QPainter;

// The chunks of a download as a grid of cells, one per chunk in order, left
// to right and row by row: good ones filled, corrupt ones filled and crossed,
// missing ones empty and hatched. The three differ in pattern as well as in
// colour (colours that colour-blind eyes tell apart, on light and dark
// themes alike), and a cell's tooltip names its chunk, verdict and bytes.
class TChunkMap final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TChunkMap)

public:
    explicit TChunkMap(QWidget *parent = nullptr);

    // The verdicts of a download of size bytes; none empties the map.
    void SetChunks(std::vector<TChunkVerdict> chunks, std::int64_t size);
    const std::vector<TChunkVerdict> &Chunks() const { return m_chunks; }

    // The chunk (from 0) whose cell holds point; -1 for none.
    int ChunkAt(const QPoint &point) const;
    QRect CellRect(int chunk) const;
    // The tooltip of a chunk's cell.
    QString CellText(int chunk) const;

    // One cell of a verdict, as the map and its legend draw it.
    static void PaintCell(QPainter &painter, const QRect &cell, TChunkVerdict verdict, const QPalette &palette);
    // A verdict's word, in the user's language.
    static QString VerdictText(TChunkVerdict verdict);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int Columns(int width) const;

    std::vector<TChunkVerdict> m_chunks;
    std::int64_t m_size = 0;
};

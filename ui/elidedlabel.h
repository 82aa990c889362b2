#pragma once

#include <QLabel>

// A one-line label of the status bar that never widens the window: a text
// longer than its place ends in "…", and the whole text is its tooltip.
class TElidedLabel final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TElidedLabel)

public:
    explicit TElidedLabel(QWidget *parent = nullptr);

    QSize minimumSizeHint() const override;
    // Whether the text is cut where it is drawn now.
    bool Elided() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
};

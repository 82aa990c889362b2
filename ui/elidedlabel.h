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
    // A text made of parts joined by separator is cut after the last part
    // that fits whole ("a, b, …"), rather than inside one.
    void SetPartSeparator(const QString &separator);
    // The text as it is drawn in a place width pixels wide.
    QString Shown(int width) const;
    // Whether the text is cut where it is drawn now.
    bool Elided() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    QString m_separator;
};

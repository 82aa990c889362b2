#include "elidedlabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

TElidedLabel::TElidedLabel(QWidget *parent)
    : QLabel(parent)
{
}

QSize TElidedLabel::minimumSizeHint() const
{
    return {0, QLabel::minimumSizeHint().height()};
}

void TElidedLabel::SetPartSeparator(const QString &separator)
{
    m_separator = separator;
    update();
}

QString TElidedLabel::Shown(int width) const
{
    const QFontMetrics metrics = fontMetrics();
    const QString whole = text();
    if (metrics.horizontalAdvance(whole) <= width)
        return whole;
    if (!m_separator.isEmpty()) {
        const QString ellipsis(QChar(0x2026));
        for (qsizetype end = whole.lastIndexOf(m_separator); end > 0;
             end = whole.lastIndexOf(m_separator, end - 1)) {
            const QString shown = whole.left(end + m_separator.size()) + ellipsis;
            if (metrics.horizontalAdvance(shown) <= width)
                return shown;
        }
    }
    return metrics.elidedText(whole, Qt::ElideRight, width);
}

bool TElidedLabel::Elided() const
{
    return Shown(contentsRect().width()) != text();
}

void TElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect room = contentsRect();
    const QString shown = Shown(room.width());
    style()->drawItemText(&painter, room, static_cast<int>(QStyle::visualAlignment(layoutDirection(), alignment())),
                          palette(), isEnabled(), shown, foregroundRole());
}

bool TElidedLabel::event(QEvent *event)
{
    // The whole text as the tooltip, only where it is cut.
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        if (Elided())
            QToolTip::showText(help->globalPos(), text(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}

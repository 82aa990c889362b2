// Small helpers of the windows: the folder picker, text conversion, addresses.
#include "outils.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QUrl>

#include <algorithm>
#include <iterator>

#include "links/unicode.h"

bool BrowseForDirectory(const QString &caption, const QString &root, QString &directory, QWidget *parent)
{
    if (!QFileInfo(directory).isDir())
        directory.clear();
    const QString start = directory.isEmpty() ? root : directory;
    const QString chosen = QFileDialog::getExistingDirectory(parent, caption, start, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return false;
    directory = QDir::toNativeSeparators(chosen);
    return true;
}

QString EntryText(const std::string &bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string EntryBytes(const QString &text)
{
    return text.toUtf8().toStdString();
}

QString LinkText(const std::string &link)
{
    return EntryText(EncodeInvalidUtf8(link));
}

namespace {

// What the core writes in English, whatever the user's language. "N/A" is
// not among them: it stands in links, exports and on the clipboard as well,
// and reads the same in the details' link fields and hash fields.
const char *const CoreWords[] = {
    QT_TRANSLATE_NOOP("CoreWord", "Unknown"),
    QT_TRANSLATE_NOOP("CoreWord", "Error !"),
    QT_TRANSLATE_NOOP("CoreWord", "Low"),
    QT_TRANSLATE_NOOP("CoreWord", "Normal"),
    QT_TRANSLATE_NOOP("CoreWord", "High"),
    QT_TRANSLATE_NOOP("CoreWord", "Looking..."),
    QT_TRANSLATE_NOOP("CoreWord", "Paused"),
    QT_TRANSLATE_NOOP("CoreWord", "OK"),
    QT_TRANSLATE_NOOP("CoreWord", "FAILED"),
    QT_TRANSLATE_NOOP("CoreWord", "MISSING"),
    QT_TRANSLATE_NOOP("CoreWord", "ERROR"),
};

} // namespace

QString CoreWord(const std::string &text)
{
    const auto known = std::find_if(std::begin(CoreWords), std::end(CoreWords),
                                    [&text](const char *word) { return text == word; });
    if (known == std::end(CoreWords))
        return QString::fromStdString(text);
    return QCoreApplication::translate("CoreWord", *known);
}

void OpenAddress(const QString &address)
{
    QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

void CentreOnDesktop(QWidget &window)
{
    const QScreen *screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame(QPoint(), window.frameGeometry().size());
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

void FitOnDesktop(QWidget &window)
{
    if (window.isMaximized() || window.isFullScreen())
        return;
    const QScreen *screen = QGuiApplication::screenAt(window.geometry().center());
    if (!screen)
        screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // The frame the window manager draws around the window, once it is shown;
    // before that, room for a title bar and a thin border.
    const QRect inner = window.geometry();
    const QRect outer = window.frameGeometry();
    QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                   outer.bottom() - inner.bottom());
    if (frame.isNull()) {
        const int border = window.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &window);
        frame = QMargins(border, window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window), border,
                         border);
    }
    const QRect desktop = screen->availableGeometry();
    const QSize room = desktop.marginsRemoved(frame).size();
    if (room.isEmpty() || (inner.width() <= room.width() && inner.height() <= room.height()))
        return;
    // Too large for the screen: as large as it allows, and its frame's corner
    // on it, so that the title bar and the menus are in reach whatever frame
    // the window manager draws.
    const QSize size = inner.size().boundedTo(room).expandedTo(window.minimumSize());
    const QSize whole = size.grownBy(frame);
    QPoint corner = window.pos();
    corner.setX(std::clamp(corner.x(), desktop.left(), std::max(desktop.left(), desktop.right() - whole.width() + 1)));
    corner.setY(std::clamp(corner.y(), desktop.top(), std::max(desktop.top(), desktop.bottom() - whole.height() + 1)));
    window.resize(size);
    window.move(corner);
}

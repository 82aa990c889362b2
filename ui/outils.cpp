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

#include "entries/reasons.h"
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

namespace {

// The core's reasons (entries/reasons.h), each template as the catalogue of
// translations knows it.
const char *const CoreReasons[] = {
    QT_TRANSLATE_NOOP("CoreReason", "not a regular file"),
    QT_TRANSLATE_NOOP("CoreReason", "is a folder"),
    QT_TRANSLATE_NOOP("CoreReason", "cannot be read"),
    QT_TRANSLATE_NOOP("CoreReason", "the file holds more bytes than its size said (it grew, or is no ordinary file)"),
    QT_TRANSLATE_NOOP("CoreReason", "the file changed while it was read"),
    QT_TRANSLATE_NOOP("CoreReason", "the file shrank while it was read"),
    QT_TRANSLATE_NOOP("CoreReason", "the run hashed %1 of %2 chunks"),
    QT_TRANSLATE_NOOP("CoreReason", "the run reported %1 of %2 chunks"),
    QT_TRANSLATE_NOOP("CoreReason", "the run did not compute the hashes selected"),
    QT_TRANSLATE_NOOP("CoreReason", "stopped"),
    QT_TRANSLATE_NOOP("CoreReason", "out of memory"),
    QT_TRANSLATE_NOOP("CoreReason", "unexpected failure"),
    QT_TRANSLATE_NOOP("CoreReason", "not a download descriptor: the file is empty"),
    QT_TRANSLATE_NOOP("CoreReason", "not a download descriptor: it starts with byte 0x%1, not 0xE0, 0xE1 or 0xE2"),
    QT_TRANSLATE_NOOP("CoreReason", "not a download descriptor: the file ends before its part-hash count"),
    QT_TRANSLATE_NOOP("CoreReason", "the descriptor is cut short inside its part hashes; only its file hash is kept"),
    QT_TRANSLATE_NOOP("CoreReason", "the descriptor is cut short inside its tags; only the tags read whole are kept"),
    QT_TRANSLATE_NOOP("CoreReason",
                      "the descriptor holds a tag of the unknown type 0x%1; the tags after it cannot be read and are not kept"),
    QT_TRANSLATE_NOOP("CoreReason", "the descriptor records a size of %1 bytes, more than a file can hold; %2 is shown"),
    QT_TRANSLATE_NOOP("CoreReason", "the descriptor records %1 part hashes where a file of %2 bytes has %3; they are not shown"),
    QT_TRANSLATE_NOOP("CoreReason", "the descriptor's part hashes do not give its file hash; they are not shown"),
    QT_TRANSLATE_NOOP("CoreReason", "the descriptor could not be read"),
    QT_TRANSLATE_NOOP("CoreReason", "not a plain file name"),
    QT_TRANSLATE_NOOP("CoreReason", "symbolic link to a file outside the folder"),
    QT_TRANSLATE_NOOP("CoreReason", "size differs: %1 bytes on disk"),
    QT_TRANSLATE_NOOP("CoreReason", "ed2k hash differs"),
    QT_TRANSLATE_NOOP("CoreReason", "AICH hash differs"),
    QT_TRANSLATE_NOOP("CoreReason", "FileSpree hash differs"),
    QT_TRANSLATE_NOOP("CoreReason", "part hashes differ: %1 of %2, first part %3"),
    QT_TRANSLATE_NOOP("CoreReason", "the part hashes do not fit the size"),
};

// The template of key in the user's language; empty when the window does not
// know it.
QString TranslatedTemplate(TReasonKey key)
{
    const std::string_view pattern = ReasonTemplate(key);
    const auto known = std::find_if(std::begin(CoreReasons), std::end(CoreReasons),
                                    [pattern](const char *text) { return pattern == text; });
    if (known == std::end(CoreReasons))
        return {};
    return QCoreApplication::translate("CoreReason", *known);
}

} // namespace

QString CoreReason(const std::string &text)
{
    QString shown;
    for (const TReasonPart &part : ReadReasons(text)) {
        shown += QString::fromStdString(part.Separator);
        const QString pattern = part.Key ? TranslatedTemplate(*part.Key) : QString();
        if (pattern.isEmpty()) {
            shown += EntryText(part.Text);
            continue;
        }
        QStringList arguments;
        for (const std::string &argument : part.Arguments)
            arguments << EntryText(argument);
        // All at once, so that an argument's own "%2" is never replaced.
        switch (arguments.size()) {
        case 0: shown += pattern; break;
        case 1: shown += pattern.arg(arguments[0]); break;
        case 2: shown += pattern.arg(arguments[0], arguments[1]); break;
        default: shown += pattern.arg(arguments[0], arguments[1], arguments[2]); break;
        }
    }
    return shown;
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

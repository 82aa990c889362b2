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

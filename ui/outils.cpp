// Small helpers of the windows: the folder picker, text conversion, addresses.
#include "outils.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>
#include <QUrl>

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

#include "paths.h"

#include <QByteArray>
#include <QUrl>

#include <filesystem>
#include <system_error>

#include "input/fileio.h"
#include "outils.h"

std::string AbsolutePath(const std::string &path)
{
    if (path.empty())
        return path;
    // No look at the disk: only the current folder is read.
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(PathFromUtf8(path), error);
    return error ? path : Utf8FromPath(absolute);
}

std::string PathOfUrl(const QUrl &url)
{
    if (!url.isLocalFile())
        return {};
#ifdef _WIN32
    // Names are Unicode there: the text is the name.
    return PathOfText(url.toLocalFile());
#else
    // A share named by its host (file://server/share) as the system names it.
    if (!url.host().isEmpty())
        return PathOfText(url.toLocalFile());
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    return AbsolutePath(bytes.toStdString());
#endif
}

std::string PathOfText(const QString &path)
{
    return AbsolutePath(EntryBytes(path));
}

#include "shellverb.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef _WIN32
#include <string>

#include "input/registry.h"
#endif

namespace {

#ifdef _WIN32

// The user's own classes key: HKEY_CLASSES_ROOT itself is the machine's (and
// needs an administrator's rights) where the user has no key of his own.
// Explorer shows the verbs of both in the same menu, and HKEY_CLASSES_ROOT
// reads both.
const std::wstring VerbKey = L"*\\shell\\Brackwell";
const std::wstring UserVerbKey = L"Software\\Classes\\" + VerbKey;

#else

// The desktop entry's data folder: $XDG_DATA_HOME when it is an absolute path.
QString DataHome()
{
    const QString configured = qEnvironmentVariable("XDG_DATA_HOME");
    if (!configured.isEmpty() && QDir::isAbsolutePath(configured))
        return configured;
    return QDir::homePath() + QStringLiteral("/.local/share");
}

// A quoted argument of an Exec line, then escaped as a desktop entry's string value.
QString ExecArgument(const QString &argument)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    QString value;
    for (const QChar c : quoted) {
        switch (c.unicode()) {
        case '\\': value += QStringLiteral("\\\\"); break;
        case '\n': value += QStringLiteral("\\n"); break;
        case '\t': value += QStringLiteral("\\t"); break;
        case '\r': value += QStringLiteral("\\r"); break;
        case '%': value += QStringLiteral("%%"); break;
        default: value += c;
        }
    }
    return value;
}

#endif

} // namespace

#ifdef _WIN32

QString ShellVerbLocation()
{
    return QStringLiteral("HKEY_CURRENT_USER\\") + QString::fromStdWString(UserVerbKey);
}

QString ShellVerbCommand(const QString &executable)
{
    return QLatin1Char('"') + QDir::toNativeSeparators(executable) + QStringLiteral("\" \"%1\"");
}

bool ShellVerbRegistered()
{
    // HKEY_CLASSES_ROOT shows the user's key too on Windows, not under wine.
    return RegistryKeyExists(TRegistryRoot::CurrentUser, UserVerbKey + L"\\command")
           || RegistryKeyExists(TRegistryRoot::Classes, VerbKey + L"\\command");
}

bool RegisterShellVerb(const QString &executable)
{
    return SetRegistryText(TRegistryRoot::CurrentUser, UserVerbKey + L"\\command", L"",
                           ShellVerbCommand(executable).toStdString());
}

void UnregisterShellVerb()
{
    DeleteRegistryKey(TRegistryRoot::CurrentUser, UserVerbKey);
    // One the machine holds goes too, where the user may remove it.
    DeleteRegistryKey(TRegistryRoot::MachineClasses, VerbKey);
}

#else

QString ShellVerbLocation()
{
    return DataHome() + QStringLiteral("/applications/brackwell-verb.desktop");
}

QString ShellVerbCommand(const QString &executable)
{
    return ExecArgument(executable) + QStringLiteral(" %f");
}

bool ShellVerbRegistered()
{
    return QFileInfo::exists(ShellVerbLocation());
}

bool RegisterShellVerb(const QString &executable)
{
    const QString location = ShellVerbLocation();
    if (!QDir().mkpath(QFileInfo(location).absolutePath()))
        return false;
    QSaveFile file(location);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Every file is an application/octet-stream, so file managers offer the
    // entry in the context menu of any file; NoDisplay keeps it out of menus.
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Brackwell\n"
                                         "Comment=eDonkey2000 and FileSpree hashes and links of this file\n"
                                         "Exec=%1\n"
                                         "MimeType=application/octet-stream;\n"
                                         "NoDisplay=true\n"
                                         "Terminal=false\n")
                              .arg(ShellVerbCommand(executable));
    file.write(entry.toUtf8());
    return file.commit();
}

void UnregisterShellVerb()
{
    QFile::remove(ShellVerbLocation());
}

#endif

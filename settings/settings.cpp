#include "settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <optional>
#include <stdexcept>

#ifdef _WIN32
#include "input/registry.h"
#endif

namespace {

const QString ConfigGroup = QStringLiteral("Config");

// The store's location. Windows keeps it in the registry under the user's key;
// elsewhere Qt's native format is an INI file in the user's config folder.
TSettingsKey OpenKey()
{
#ifdef _WIN32
    return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\Brackwell"),
                                       QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Brackwell"), QStringLiteral("Brackwell"));
#endif
}

std::string DefaultFolder([[maybe_unused]] const char *windowsFolder)
{
#ifdef _WIN32
    return windowsFolder;
#else
    return QDir::homePath().toStdString();
#endif
}

#ifndef _WIN32
// What joins the pieces of a value that Qt's INI format reads as a list: the
// comma outside quotes, with the blanks around it, in the value's last line
// in the Config group of the store's file. None when that line cannot be read.
std::optional<QStringList> ListSeparators(const QString &fileName, const QString &name)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    std::optional<QString> raw;
    bool inConfig = false;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line).trimmed();
        if (text.startsWith(QLatin1Char('['))) {
            inConfig = text.section(QLatin1Char(']'), 0, 0).mid(1) == ConfigGroup;
            continue;
        }
        const qsizetype equals = text.indexOf(QLatin1Char('='));
        if (inConfig && equals > 0 && QStringView(text).left(equals).trimmed() == name)
            raw = text.mid(equals + 1);
    }
    if (!raw)
        return std::nullopt;

    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    QStringList separators;
    bool quoted = false;
    for (qsizetype i = 0; i < raw->size(); ++i) {
        const QChar c = raw->at(i);
        if (c == QLatin1Char('\\'))
            ++i; // the escaped character is the piece's own
        else if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (c == QLatin1Char(';') && !quoted)
            break; // a comment follows
        else if (c == QLatin1Char(',') && !quoted) {
            qsizetype from = i;
            while (from > 0 && blank(raw->at(from - 1)))
                --from;
            qsizetype to = i + 1;
            while (to < raw->size() && blank(raw->at(to)))
                ++to;
            separators << raw->mid(from, to - from);
            i = to - 1;
        }
    }
    return separators;
}
#endif

#ifdef _WIN32
// The registry goes through its own calls, not QSettings: Qt would write a
// text that starts with "@" as "@@..." (which brackwell-cli.exe and any other
// reader would take as it stands), one that holds a NUL as REG_BINARY, and
// would read "@Variant(...)" typed by hand as something else than text.
const wchar_t *const ConfigKey = L"Software\\Brackwell\\Config";
#endif

// A stored text; none when the value is missing or is not text (a number
// entered by hand in the registry, for instance).
std::optional<QString> ReadText([[maybe_unused]] const QSettings &key, const QString &name)
{
#ifdef _WIN32
    const auto text = RegistryText(TRegistryRoot::CurrentUser, ConfigKey, name.toStdWString());
    if (!text)
        return std::nullopt;
    return QString::fromStdString(*text);
#else
    const QVariant value = key.value(ConfigGroup + '/' + name);
    if (!value.isValid())
        return std::nullopt;
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    // A comma outside quotes makes a list of the line in Qt's INI format, and
    // takes the blanks around it away: a value edited by hand
    // ("NamePrefix=a, b_") is still the user's text, read whole. The program
    // itself writes its texts quoted.
    const bool textList = value.typeId() == QMetaType::QStringList
                          || (value.typeId() == QMetaType::QVariantList
                              && std::ranges::all_of(value.toList(), [](const QVariant &piece) {
                                     return piece.typeId() == QMetaType::QString;
                                 }));
    if (!textList)
        return std::nullopt;
    const QStringList pieces = value.toStringList();
    const std::optional<QStringList> separators = ListSeparators(key.fileName(), name);
    if (!separators || separators->size() + 1 != pieces.size())
        return pieces.join(QLatin1Char(','));
    QString whole = pieces.front();
    for (qsizetype i = 1; i < pieces.size(); ++i)
        whole += separators->at(i - 1) + pieces[i];
    return whole;
#endif
}

std::string ReadString(const QSettings &key, const char *name, const std::string &fallback)
{
    const auto text = ReadText(key, QLatin1String(name));
    return text ? text->toStdString() : fallback;
}

// A signed decimal integer stored as text; anything else gives fallback.
int ReadInteger(const QSettings &key, const char *name, int fallback)
{
    const auto text = ReadText(key, QLatin1String(name));
    if (!text)
        return fallback;
    bool ok = false;
    const int value = text->toInt(&ok, 10);
    return ok ? value : fallback;
}

bool ReadBoolean(const QSettings &key, const char *name, bool fallback)
{
    return ReadInteger(key, name, fallback ? 1 : 0) != 0;
}

// Whether the store holds text under path after a write and a sync. A key
// that read a malformed store says FormatError from then on, whatever its
// writes do (and hides their errors behind it): then a fresh key on the same
// store tells. It shares the key's file as Qt caches it, so it sees a write
// that went through as done, and tries one that did not again, with its own
// status; and it reads the value as the store now holds it.
[[maybe_unused]] bool Stored(const QSettings &key, const QString &path, const QString &text)
{
    switch (key.status()) {
    case QSettings::NoError: return true;
    case QSettings::AccessError: return false;
    case QSettings::FormatError: break;
    }
    const QSettings fresh(key.fileName(), key.format());
    const QVariant value = fresh.value(path);
    return fresh.status() == QSettings::NoError && value.typeId() == QMetaType::QString && value.toString() == text;
}

void WriteText([[maybe_unused]] QSettings &key, const char *name, const QString &text)
{
#ifdef _WIN32
    bool createFailed = false;
    if (!SetRegistryText(TRegistryRoot::CurrentUser, ConfigKey, QString::fromLatin1(name).toStdWString(),
                         text.toStdString(), &createFailed)) {
        if (createFailed)
            throw std::runtime_error("Failed to create key " + ConfigGroup.toStdString());
        throw std::runtime_error("Failed to set data for '" + std::string(name) + "'");
    }
#else
    const QString path = ConfigGroup + '/' + QLatin1String(name);
    key.setValue(path, text);
    key.sync();
    if (!Stored(key, path, text))
        throw std::runtime_error("Failed to set data for '" + std::string(name) + "'");
#endif
}

// The group needs no creating in the registry (writing a value makes its
// key); a file store needs its folder. Qt writes a value that it read as a list back as its pieces
// joined by ", ", whatever joined them in the file: before the first write, a
// text edited by hand with commas becomes the text it reads as, so that it
// reads the same after the write.
void CreateConfig([[maybe_unused]] QSettings &key)
{
#ifndef _WIN32
    if (!QFileInfo(key.fileName()).dir().mkpath(QStringLiteral(".")))
        throw std::runtime_error("Failed to create key " + ConfigGroup.toStdString());
    const QString prefix = ConfigGroup + '/';
    for (const QString &path : key.allKeys()) {
        if (!path.startsWith(prefix) || key.value(path).typeId() == QMetaType::QString)
            continue;
        if (const auto text = ReadText(key, path.mid(prefix.size())))
            key.setValue(path, *text);
    }
#endif
}

QString FromStd(const std::string &text)
{
    return QString::fromStdString(text);
}

} // namespace

TSettings DefaultSettings()
{
    TSettings settings;
    settings.EdonkeyTempPath = DefaultFolder("C:\\Program Files\\edonkey2000");
    settings.FileSpreePath = DefaultFolder("C:\\Program Files\\FileSpree");
    settings.URLComment = "http://www.brackwell.org/ed2kutils/infos.php?numfichier=";
    return settings;
}

TSettingsKey LoadSettings(TSettings &settings, int &viewStyle)
{
    const TSettings defaults = DefaultSettings();
    TSettingsKey key = OpenKey();
    // Whatever Qt could read of the store counts, even where other lines of
    // it are malformed (FormatError): a bad line costs only its own value. An
    // unreadable store holds nothing.
    const QSettings &from = *key;

    settings.EdonkeyTempPath = ReadString(from, "EdonkeyTempPath", defaults.EdonkeyTempPath);
    settings.FileSpreePath = ReadString(from, "FileSpreePath", defaults.FileSpreePath);
    settings.URLComment = ReadString(from, "URLComment", defaults.URLComment);

    // Only the low 8 bits of the code count; a code beyond the seven levels is
    // taken as normal.
    const auto priority = static_cast<std::uint8_t>(ReadInteger(from, "ThreadPriority", defaults.ThreadPriority));
    settings.ThreadPriority = priority <= 6 ? priority : defaults.ThreadPriority;

    viewStyle = ReadInteger(from, "ViewStyle", DefaultViewStyle);
    if (viewStyle < 0 || viewStyle > 3)
        viewStyle = DefaultViewStyle;

    const bool activeFileSpree = ReadBoolean(from, "ActiveFileSpree", true);
    const bool activeDonkey = ReadBoolean(from, "ActiveDonkey", true);
    settings.NamePrefix = ReadString(from, "NamePrefix", defaults.NamePrefix);
    settings.NameSuffix = ReadString(from, "NameSuffix", defaults.NameSuffix);
    settings.ReplaceSpaceStr = ReadString(from, "ReplaceSpaceStr", defaults.ReplaceSpaceStr);

    settings.ActiveHashes = 0;
    if (activeDonkey)
        settings.ActiveHashes |= hsDonkey;
    if (activeFileSpree)
        settings.ActiveHashes |= hsFileSpree;
    if (ReadBoolean(from, "ActiveAich", false))
        settings.ActiveHashes |= hsAich;
    settings.DropFolders = ReadBoolean(from, "DropFolders", defaults.DropFolders);
    return key;
}

void SaveSettings(QSettings &key, const TSettings &settings, bool activeDonkey, bool activeFileSpree)
{
    CreateConfig(key);
    const auto flag = [](bool value) { return value ? QStringLiteral("1") : QStringLiteral("0"); };
    WriteText(key, "ActiveDonkey", flag(activeDonkey));
    WriteText(key, "ActiveFileSpree", flag(activeFileSpree));
    WriteText(key, "EdonkeyTempPath", FromStd(settings.EdonkeyTempPath));
    WriteText(key, "FileSpreePath", FromStd(settings.FileSpreePath));
    WriteText(key, "URLComment", FromStd(settings.URLComment));
    WriteText(key, "ThreadPriority", QString::number(settings.ThreadPriority));
    WriteText(key, "NamePrefix", FromStd(settings.NamePrefix));
    WriteText(key, "NameSuffix", FromStd(settings.NameSuffix));
    WriteText(key, "ReplaceSpaceStr", FromStd(settings.ReplaceSpaceStr));
    WriteText(key, "ActiveAich", flag(settings.ActiveHashes & hsAich));
    WriteText(key, "DropFolders", flag(settings.DropFolders));
}

void SaveViewStyle(TSettingsKey key, int viewStyle)
{
    if (!key)
        return;
    CreateConfig(*key);
    WriteText(*key, "ViewStyle", QString::number(viewStyle));
}

TWindowState LoadWindowState(const QSettings &key)
{
    TWindowState state;
    if (const auto geometry = ReadText(key, QStringLiteral("WindowGeometry"))) {
        const auto decoded = QByteArray::fromBase64Encoding(geometry->toLatin1(),
                                                            QByteArray::AbortOnBase64DecodingErrors);
        if (decoded)
            state.Geometry = *decoded;
    }
    if (const auto widths = ReadText(key, QStringLiteral("ColumnWidths"))) {
        for (const QString &text : widths->split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            bool ok = false;
            const int width = text.trimmed().toInt(&ok, 10);
            if (!ok || width <= 0) {
                state.ColumnWidths.clear();
                break;
            }
            state.ColumnWidths.push_back(width);
        }
    }
    return state;
}

void SaveWindowState(QSettings &key, const TWindowState &state)
{
    CreateConfig(key);
    QStringList widths;
    for (int width : state.ColumnWidths)
        widths << QString::number(width);
    WriteText(key, "WindowGeometry", QString::fromLatin1(state.Geometry.toBase64()));
    WriteText(key, "ColumnWidths", widths.join(QLatin1Char(',')));
}

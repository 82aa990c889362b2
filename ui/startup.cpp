// What the program does once before its first window: its name and its language.
#include "startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// Loads name_language.qm from the first folder that holds it.
bool Load(QTranslator &translator, const QString &name, const QString &language, const QStringList &folders)
{
    for (const QString &folder : folders) {
        if (translator.load(name + QLatin1Char('_') + language, folder))
            return true;
    }
    return false;
}

} // namespace

void ShareFewHeaps()
{
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, 2);
#endif
}

void NameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("Brackwell"));
}

QStringList TranslationFolders()
{
    const QDir program(QCoreApplication::applicationDirPath());
    // Then those the program carries inside (the Windows build).
    return {program.absoluteFilePath(QStringLiteral("../share/brackwell/translations")),
            program.absoluteFilePath(QStringLiteral("translations")), QStringLiteral(":/translations")};
}

QString InstallTranslations(const QLocale &locale, const QStringList &folders)
{
    // The user's languages in the order of preference: "fr-CA", "fr", "en"...
    // The first one we speak wins, English by having no translation at all.
    for (const QString &tag : locale.uiLanguages()) {
        const QString language = tag.section(QLatin1Char('-'), 0, 0).toLower();
        if (language == QLatin1String("en") || language == QLatin1String("c"))
            return {};
        auto ours = std::make_unique<QTranslator>(QCoreApplication::instance());
        if (!Load(*ours, QStringLiteral("brackwell"), language, folders))
            continue;
        QCoreApplication::installTranslator(ours.release());
        // Qt's own words, from Qt's folder or, for a program shipped with its
        // libraries, from beside ours.
        auto qt = std::make_unique<QTranslator>(QCoreApplication::instance());
        if (Load(*qt, QStringLiteral("qtbase"), language,
                 QStringList{QLibraryInfo::path(QLibraryInfo::TranslationsPath)} + folders))
            QCoreApplication::installTranslator(qt.release());
        return language;
    }
    return {};
}

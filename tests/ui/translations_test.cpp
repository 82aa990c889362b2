// The window in French: started under a French locale (LANGUAGE=fr, set by
// ctest), it loads Qt's words and ours before its first window and shows French
// captions; the French catalogue holds every text of the sources, translated,
// with the same placeholders and accelerators.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <QSignalSpy>
#include <QTreeWidget>

#include "about.h"
#include "checklinks.h"
#include "entries/reasons.h"
#include "entrylist.h"
#include "exportlink.h"
#include "listview.h"
#include "main.h"
#include "option.h"
#include "outils.h"
#include "progressline.h"
#include "startup.h"

namespace {

struct TMessage
{
    QString Context;
    QString Source;
    QStringList Translations; // one, or one per plural form
    QString Type;             // "unfinished", "vanished", "obsolete" or empty
};

QList<TMessage> ReadCatalogue(const QString &path)
{
    QList<TMessage> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    QXmlStreamReader xml(&file);
    QString context;
    TMessage message;
    bool numerus = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == QLatin1String("message")) {
            messages.append(message);
            continue;
        }
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            message = {context, {}, {}, {}};
            numerus = xml.attributes().value(QLatin1String("numerus")) == QLatin1String("yes");
        } else if (xml.name() == QLatin1String("source")) {
            message.Source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            message.Type = xml.attributes().value(QLatin1String("type")).toString();
            // Plural forms come as elements of their own.
            if (!numerus)
                message.Translations = {xml.readElementText()};
        } else if (xml.name() == QLatin1String("numerusform")) {
            message.Translations.append(xml.readElementText());
        }
    }
    return messages;
}

// The %1...%9 and %n of a text, in order of number; accelerators counted apart.
QStringList Placeholders(const QString &text)
{
    QStringList found;
    for (const QRegularExpressionMatch &match : QRegularExpression(QStringLiteral("%[1-9n]")).globalMatch(text))
        found << match.captured();
    found.sort();
    return found;
}

int Accelerators(const QString &text)
{
    return static_cast<int>(QString(text).remove(QStringLiteral("&&")).count(QLatin1Char('&')));
}

QStringList Texts(const QList<QAction *> &actions)
{
    QStringList texts;
    for (const QAction *action : actions)
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

} // namespace

class TranslationsTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // What the program does before its first window, under the locale ctest gives.
        NameApplication();
        QStringList folders{QStringLiteral(BRACKWELL_QM_DIR)};
#ifdef BRACKWELL_QT_QM_DIR
        folders << QStringLiteral(BRACKWELL_QT_QM_DIR);
#endif
        QCOMPARE(InstallTranslations(QLocale(), folders), QStringLiteral("fr"));
    }

    void windowInFrench()
    {
        QTemporaryDir config;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        TMainForm form;
        // The caption is the program's name and version in every language.
        QCOMPARE(form.windowTitle(), "Brackwell 1.2");
        QStringList menus;
        for (const char *name : {"File1", "Edit1", "View1", "Tools1", "Help1"})
            menus << form.findChild<QMenu *>(name)->title();
        QCOMPARE(menus, (QStringList{"Fichier", "Édition", "Affichage", "Outils", "Aide"}));
        QCOMPARE(Texts(form.findChild<QMenu *>("File1")->actions()),
                 (QStringList{"Ajouter", "Ajouter des part.met", "Ajouter un dossier...", "-", "Arrêter", "-", "&Quitter"}));
        QCOMPARE(Texts(form.PopupMenu2()->actions()),
                 (QStringList{"Ouvrir", "Copier le lien ED2k", "Copier le lien ED2k (HTML)", "Copier le lien magnet", "Copier les liens ED2k", "-",
                              "Ajouter", "Ajouter des part.met", "Ajouter un dossier...", "Supprimer", "-", "Affichage", "-", "Commentaire", "-",
                              "Actualiser"}));
        const QTableView *details = form.ListView()->DetailView();
        QCOMPARE(details->model()->headerData(TEntryListModel::DonkeyColumn, Qt::Horizontal).toString(),
                 "Hash eDonkey");
        QCOMPARE(TMainForm::tr("%n file(s) left", nullptr, 1), "1 fichier restant");
        QCOMPARE(TMainForm::tr("%n file(s) left", nullptr, 3), "3 fichiers restants");
        // The progress line in French words and units.
        TProgressLine line;
        line.Sample(0, 0);
        line.Sample(1000, 2 * 1024 * 1024);
        QCOMPARE(line.Text({.DoneFiles = 3, .AllFiles = 41, .DoneBytes = 2 * 1024 * 1024,
                            .AllBytes = 6 * 1024 * 1024}),
                 "3 sur 41 fichiers, 2,0 sur 6,0 Mo, reste 0:02, 2,0 Mo/s");
        // Counts in plain digits, as in the status text beside.
        QCOMPARE(line.Text({.DoneFiles = 1200, .AllFiles = 5000, .DoneBytes = 0, .AllBytes = {}}).section(", ", 0, 0), "1200 sur 5000 fichiers");
        QCOMPARE(TMainForm::tr("%n file(s) left", nullptr, 3800), "3800 fichiers restants");

        QCOMPARE(form.AboutForm()->windowTitle(), "À propos de Brackwell");
        QCOMPARE(form.OptionForm()->windowTitle(), "Options");
        QCOMPARE(form.ExportForm()->windowTitle(), "Options d'exportation");
        QCOMPARE(form.OptionForm()->findChild<QWidget *>("chkIntegrerShell")->property("text").toString(),
#ifdef _WIN32
                 "Intégration à l'Explorateur Windows");
#else
                 "Intégration au gestionnaire de fichiers");
#endif
        // Qt's own words: its standard buttons and file dialogs.
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Annuler");
        // A state word shown for a hash, and the same word in a link, which stays as peers read it.
        QCOMPARE(CoreWord("Error !"), "Erreur !");
        QCOMPARE(CoreWord("A448017AAF21D8525FC10AE87AA6729D"), "A448017AAF21D8525FC10AE87AA6729D");
    }

    // The core's reasons in the user's language, joined as the core joins
    // them; a system's text (in that language already) as it comes. The
    // English texts stay for brackwell-cli.
    void coreReasonsInFrench()
    {
        QCOMPARE(CoreReason("not a regular file"), "n'est pas un fichier ordinaire");
        QCOMPARE(CoreReason("ed2k hash differs, AICH hash differs, part hashes differ: 1 of 9, first part 4"),
                 "hash ed2k différent, hash AICH différent, hashs de parties différents : 1 sur 9, première partie 4");
        QCOMPARE(CoreReason("the descriptor is cut short inside its tags; only the tags read whole are kept; "
                            "the descriptor holds a tag of the unknown type 0x0C; the tags after it cannot be read "
                            "and are not kept"),
                 "le descripteur est tronqué dans ses balises ; seules les balises lues en entier sont gardées; "
                 "le descripteur contient une balise du type inconnu 0x0C ; les balises qui la suivent ne peuvent "
                 "pas être lues et ne sont pas gardées");
        QCOMPARE(CoreReason("Entrée/sortie"), "Entrée/sortie");
        for (const TReasonKey key : ReasonKeys()) {
            const std::string english = ReasonText(key, {"1", "2", "3"});
            QVERIFY2(CoreReason(english) != QString::fromStdString(english), english.c_str());
        }

        // The check's Details column.
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("a.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("abd") == 3);
        file.close();
        QFile list(dir.filePath(QStringLiteral("list.txt")));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("ed2k://|file|a.txt|3|A448017AAF21D8525FC10AE87AA6729D|\ned2k://|file|a.txt|4|"
                   "A448017AAF21D8525FC10AE87AA6729D|\ned2k://|file|..|3|A448017AAF21D8525FC10AE87AA6729D|\n");
        list.close();
        TCheckLinksForm form;
        QSignalSpy finished(&form, &TCheckLinksForm::Finished);
        QVERIFY(form.Start(EntryBytes(list.fileName()), {}));
        QVERIFY(finished.wait(60000));
        QStringList details;
        for (int row = 0; row < form.ResultList()->topLevelItemCount(); ++row)
            details << form.ResultList()->topLevelItem(row)->text(2);
        QCOMPARE(details, (QStringList{"hash ed2k différent", "taille différente : 3 octets sur le disque",
                                       "pas un simple nom de fichier"}));
    }

    // English is the source: an English locale installs nothing, nor does a
    // language we have no catalogue for.
    void otherLanguagesStayEnglish()
    {
        const QStringList folders{QStringLiteral(BRACKWELL_QM_DIR)};
        QCOMPARE(InstallTranslations(QLocale(QLocale::English, QLocale::UnitedKingdom), folders), QString());
        QCOMPARE(InstallTranslations(QLocale(QLocale::Swahili), folders), QString());
    }

    void catalogueCompleteAndCurrent()
    {
        const QList<TMessage> messages = ReadCatalogue(QStringLiteral(BRACKWELL_TS_FILE));
        QVERIFY(messages.size() > 100);
        for (const TMessage &m : messages) {
            const QByteArray where = (m.Context + QLatin1String(": ") + m.Source).toUtf8();
            QVERIFY2(m.Type.isEmpty(), where.constData());
            QVERIFY2(!m.Translations.isEmpty(), where.constData());
            for (const QString &translation : m.Translations) {
                QVERIFY2(!translation.trimmed().isEmpty(), where.constData());
                QVERIFY2(Placeholders(translation) == Placeholders(m.Source), where.constData());
                QVERIFY2(Accelerators(translation) == Accelerators(m.Source), where.constData());
            }
        }

        // The sources hold no text the catalogue lacks, and the catalogue none
        // they dropped: lupdate on a copy finds nothing new and drops nothing.
#ifndef BRACKWELL_LUPDATE
        QSKIP("lupdate is the build machine's own program, which a Windows build cannot run: the Linux build checks "
              "the sources against the catalogue");
#else
        QTemporaryDir scratch;
        const QString copy = scratch.filePath(QStringLiteral("brackwell_fr.ts"));
        QVERIFY(QFile::copy(QStringLiteral(BRACKWELL_TS_FILE), copy));
        QProcess lupdate;
        lupdate.start(QStringLiteral(BRACKWELL_LUPDATE), {QStringLiteral("-no-obsolete"), QStringLiteral("-locations"),
                                                          QStringLiteral("none"), QStringLiteral(BRACKWELL_UI_DIR),
                                                          QStringLiteral("-ts"), copy});
        QVERIFY(lupdate.waitForFinished(60000));
        QCOMPARE(lupdate.exitCode(), 0);
        const QList<TMessage> updated = ReadCatalogue(copy);
        QStringList untranslated;
        for (const TMessage &m : updated) {
            if (!m.Type.isEmpty())
                untranslated << m.Context + QLatin1String(": ") + m.Source;
        }
        QCOMPARE(untranslated, QStringList());
        QCOMPARE(updated.size(), messages.size());
#endif
    }
};

QTEST_MAIN(TranslationsTest)
#include "translations_test.moc"

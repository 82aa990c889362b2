// The dialogs: the export's and the options' rules, the verb's desktop entry,
// the detail dialog's fields and pages, the folder picker's contract, About.
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <csignal>
#include <functional>
#ifdef _WIN32
#include "input/registry.h"
#else
#include <sys/resource.h>
#endif

#include "about.h"
#include "detail.h"
#include "entrylist.h"
#include "exportlink.h"
#include "listview.h"
#include "main.h"
#include "option.h"
#include "outils.h"
#include "entries/partfile.h"
#include "partmetbuilder.h"
#include "settings.h"
#include "shellverb.h"

namespace {

template <class T>
T *Child(QWidget *parent, const char *name)
{
    T *child = parent->findChild<T *>(QString::fromLatin1(name));
    if (!child)
        qFatal("no widget %s", name);
    return child;
}

QString Text(QWidget *parent, const char *name)
{
    return Child<QLineEdit>(parent, name)->text();
}

// Runs handle on each modal window that comes up while work runs; returns how
// many came up. A window is handled on the second tick that finds it, once its
// own event loop runs (closed before that, it would stay open).
int WithModalWindows(const std::function<void()> &work, const std::function<void(QWidget *)> &handle)
{
    int seen = 0;
    QTimer timer;
    QWidget *handled = nullptr;
    QWidget *candidate = nullptr;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal != handled && modal == candidate) {
            handled = modal;
            ++seen;
            handle(modal);
        }
        candidate = modal;
    });
    timer.start(20);
    work();
    return seen;
}

// Types path into a file dialog and confirms it.
void Accept(QWidget *fileDialog, const QString &path)
{
    fileDialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
    static_cast<QDialog *>(fileDialog)->done(QDialog::Accepted);
}

void WriteBytes(const QString &path, const std::string &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

// Receives the addresses handed to the desktop.
class TOpenedUrls final : public QObject
{
    Q_OBJECT
public:
    TOpenedUrls()
    {
        for (const char *scheme : {"http", "https", "mailto"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Open");
    }
    ~TOpenedUrls() override
    {
        for (const char *scheme : {"http", "https", "mailto"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    Q_INVOKABLE void Open(const QUrl &url) { urls.append(url.toString()); }
    QStringList urls;
};

#ifndef _WIN32
// A limit on the size of the files this process writes, while it lives: the
// writes fail part way, as on a full disk.
class TFileSizeLimit final
{
public:
    explicit TFileSizeLimit(rlim_t bytes)
        : m_handler(std::signal(SIGXFSZ, SIG_IGN))
    {
        if (::getrlimit(RLIMIT_FSIZE, &m_previous) != 0)
            qFatal("no file-size limit to read");
        rlimit limited = m_previous;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~TFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_handler);
    }
    TFileSizeLimit(const TFileSizeLimit &) = delete;
    TFileSizeLimit &operator=(const TFileSizeLimit &) = delete;

private:
    void (*m_handler)(int);
    rlimit m_previous{};
};
#endif

} // namespace

class TDialogsTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toLocal8Bit());
    }

    void exportEnablingRules()
    {
        TExportForm form;
        auto *title = Child<QLineEdit>(&form, "TitleEdit");
        auto *donkey = Child<QCheckBox>(&form, "chkDonkey");
        auto *fileSpree = Child<QCheckBox>(&form, "chkFileSpree");
        auto *donkeyEdit = Child<QLineEdit>(&form, "DonkeyEdit");
        auto *grpDonkey = Child<QWidget>(&form, "grpDonkey");
        auto *array = Child<QCheckBox>(&form, "chkArray");
        auto *separator = Child<QLineEdit>(&form, "SeparatorEdit");

        // The first state writes what the share list's defaults write.
        const std::vector<TShareListRow> rows{{"/d/a b.txt", "a b.txt", 1536, "ed2k://x", "N/A"}};
        QCOMPARE(ShareListText(form.Options(QStringLiteral("Brackwell")), rows), ShareListText({}, rows));
        QVERIFY(array->isHidden() && array->isChecked() && !separator->isHidden());
        QVERIFY(!grpDonkey->isEnabled() && !donkeyEdit->isEnabled());
        QCOMPARE(separator->maxLength(), 5);
        QCOMPARE(donkeyEdit->maxLength(), 50);

        Child<QCheckBox>(&form, "chkNone")->click();
        QVERIFY(!title->isEnabled());
        Child<QCheckBox>(&form, "chkFileName")->click();
        QVERIFY(!Child<QCheckBox>(&form, "chkWithpath")->isEnabled());

        // Unchecking one link box disables the other; "Link" enables both again.
        fileSpree->click();
        QVERIFY(!donkey->isEnabled());
        Child<QCheckBox>(&form, "chkLink")->click();
        Child<QCheckBox>(&form, "chkLink")->click();
        QVERIFY(donkey->isEnabled() && fileSpree->isEnabled());

        Child<QComboBox>(&form, "cmbDestination")->setCurrentIndex(1);
        QVERIFY(!array->isHidden() && separator->isHidden() && Child<QLabel>(&form, "SeparatorLabel")->isHidden());
        QVERIFY(grpDonkey->isEnabled() && donkeyEdit->isEnabled());
        Child<QRadioButton>(grpDonkey, "URL")->click();
        QVERIFY(!donkeyEdit->isEnabled());
        // Back to ASCII and to HTML: the text field is enabled although "URL" is chosen.
        Child<QComboBox>(&form, "cmbDestination")->setCurrentIndex(0);
        QVERIFY(!grpDonkey->isEnabled() && separator->isVisibleTo(&form));
        Child<QComboBox>(&form, "cmbDestination")->setCurrentIndex(1);
        QVERIFY(donkeyEdit->isEnabled());
        const TShareListOptions options = form.Options(QStringLiteral("Brackwell 0.1"));
        QVERIFY(options.Html && options.Array && options.DonkeyAnchorIsUrl && !options.WithTitle && !options.FileName);

        // The magnet column: off at first, on with its box, its anchor as the others'.
        QVERIFY(!options.Magnet);
        auto *magnet = Child<QCheckBox>(&form, "chkMagnet");
        magnet->click();
        Child<QRadioButton>(Child<QWidget>(&form, "grpMagnet"), "URL")->click();
        const TShareListOptions withMagnet = form.Options({});
        QVERIFY(withMagnet.Magnet && withMagnet.MagnetAnchorIsUrl);
        Child<QCheckBox>(&form, "chkLink")->click();
        QVERIFY(!magnet->isEnabled());
    }

    void exportSaveDialog()
    {
        TExportForm form;
        QFileDialog *save = form.SaveDialog();
        save->setOption(QFileDialog::DontUseNativeDialog);
        const QString chosen = m_dir.filePath(QStringLiteral("shared"));

        // Cancelled: the options stay open and nothing is chosen.
        QSignalSpy finished(&form, &QDialog::finished);
        WithModalWindows([&] { form.Button2Click(); }, [](QWidget *w) { static_cast<QDialog *>(w)->reject(); });
        QVERIFY(form.ExportFileName().isEmpty());
        QCOMPARE(finished.count(), 0);

        Child<QComboBox>(&form, "cmbDestination")->setCurrentIndex(1);
        WithModalWindows([&] { form.Button2Click(); }, [&](QWidget *w) {
            QCOMPARE(save->nameFilters(), QStringList{QStringLiteral("HTML File (*.htm)")});
            QCOMPARE(save->defaultSuffix(), QStringLiteral("htm"));
            Accept(w, chosen);
        });
        QCOMPARE(form.ExportFileName(), chosen + QStringLiteral(".htm"));
        QCOMPARE(form.result(), int(QDialog::Accepted));

        Child<QComboBox>(&form, "cmbDestination")->setCurrentIndex(0);
        WithModalWindows([&] { form.Button2Click(); }, [&](QWidget *w) {
            QCOMPARE(save->nameFilters(), QStringList{QStringLiteral("Text File (*.txt)")});
            QCOMPARE(save->defaultSuffix(), QStringLiteral("txt"));
            static_cast<QDialog *>(w)->reject();
        });
    }

    void exportFailureShowsOneMessage_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        QTest::newRow("cannot create") << m_dir.filePath(QStringLiteral("no/such/list.txt"))
                                       << QStringLiteral("Impossible to create the file");
        QTest::newRow("write fails") << m_dir.filePath(QStringLiteral("list.txt")) << QStringLiteral("Export Error");
    }
    void exportFailureShowsOneMessage()
    {
        QFETCH(QString, path);
        QFETCH(QString, message);
        TExportForm form;
        form.SaveDialog()->setOption(QFileDialog::DontUseNativeDialog);
        WithModalWindows([&] { form.Button2Click(); }, [&](QWidget *w) { Accept(w, path); });
        QCOMPARE(form.ExportFileName(), path);
        WriteBytes(m_dir.filePath(QStringLiteral("list.txt")), "old list");
#ifdef _WIN32
        if (message == QStringLiteral("Export Error"))
            QSKIP("Windows has no file-size limit to fail the writes part way");
#endif
        const std::vector<TShareListRow> rows(500, {"n", "n", 1, "ed2k://n", "fs://n"});
        QStringList texts;
        bool written = true;
        const int boxes = WithModalWindows(
            [&] {
#ifndef _WIN32
                const TFileSizeLimit limit(4096);
#endif
                written = form.WriteExport(rows, QStringLiteral("Brackwell"));
            },
            [&](QWidget *w) {
                texts << static_cast<QMessageBox *>(w)->text();
                static_cast<QDialog *>(w)->accept();
            });
        QVERIFY(!written);
        QCOMPARE(boxes, 1);
        QCOMPARE(texts, QStringList{message});
        QFile old(m_dir.filePath(QStringLiteral("list.txt")));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old list"));
    }

    void optionPriorityCode()
    {
        TOptionForm form;
        auto *combo = Child<QComboBox>(&form, "cbPriority");
        const QList<std::pair<int, int>> shown = {{0, 0}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 2}, {6, 1}, {255, 1}};
        for (const auto &[code, item] : shown) {
            form.SetPriorityCode(static_cast<std::uint8_t>(code));
            QCOMPARE(combo->currentIndex(), item);
        }
        const QList<std::pair<int, int>> written = {{0, 0}, {1, 3}, {2, 5}, {-1, 3}};
        for (const auto &[item, code] : written) {
            combo->setCurrentIndex(item);
            QCOMPARE(int(form.PriorityCode()), code);
        }
    }

    void optionDefaultParametersAndLimits()
    {
        TOptionForm form;
        TSettings settings;
        settings.ThreadPriority = 4;
        settings.NamePrefix = std::string(40, 'p'); // longer than a user may type
        settings.NameSuffix = "-s";
        settings.ReplaceSpaceStr = "_";
        settings.ActiveHashes = hsFileSpree | hsAich;
        settings.EdonkeyTempPath = "/elsewhere";
        settings.FileSpreePath = "/fs";
        settings.URLComment = "http://example.invalid/?h=";
        form.Load(settings);
        Child<QCheckBox>(&form, "chkIntegrerShell")->setChecked(true);
        Child<QComboBox>(&form, "cbPriority")->setCurrentIndex(0);

        form.DefautButtonClick();
        TSettings stored;
        form.Store(stored);
        QCOMPARE(int(stored.ThreadPriority), 3);
#ifdef _WIN32
        // On Windows the button names the "temp" folder below the store's default.
        QCOMPARE(stored.EdonkeyTempPath, DefaultSettings().EdonkeyTempPath + "\\temp");
#else
        QCOMPARE(stored.EdonkeyTempPath, DefaultSettings().EdonkeyTempPath);
#endif
        QCOMPARE(stored.URLComment, DefaultSettings().URLComment);
        QVERIFY(!Child<QCheckBox>(&form, "chkIntegrerShell")->isChecked());
        // Everything else keeps what it held, the long prefix whole.
        QCOMPARE(stored.NamePrefix, settings.NamePrefix);
        QCOMPARE(stored.NameSuffix, settings.NameSuffix);
        QCOMPARE(stored.ReplaceSpaceStr, settings.ReplaceSpaceStr);
        QCOMPARE(int(stored.ActiveHashes), int(hsFileSpree | hsAich));
        QCOMPARE(stored.FileSpreePath, settings.FileSpreePath);
        auto *aich = Child<QCheckBox>(&form, "chkAich");
        QCOMPARE(aich->text(), QStringLiteral("Add the AICH hash to links"));
        QVERIFY(Child<QWidget>(&form, "TabSheet2")->isAncestorOf(aich));
        aich->setChecked(false);
        form.Store(stored);
        QCOMPARE(int(stored.ActiveHashes), int(hsFileSpree));

        // A code outside the three is shown as "Normal" and written as 3.
        form.Load(settings);
        form.Store(stored);
        QCOMPARE(int(stored.ThreadPriority), 3);

        auto *replace = Child<QLineEdit>(&form, "ReplaceSpaceEdit");
        replace->clear();
        QTest::keyClicks(replace, QStringLiteral("abcd"));
        QCOMPARE(replace->text(), QStringLiteral("abc"));
        auto *prefix = Child<QLineEdit>(&form, "PrefixEdit");
        settings.NamePrefix.clear();
        form.Load(settings);
        QTest::keyClicks(prefix, QString(31, QLatin1Char('x')));
        QCOMPARE(prefix->text().size(), 30);
    }

    // Tab walks each page from its tab, top to bottom, then OK and Cancel, and
    // comes back to the tabs. The dialog opens on the tabs each time, so that
    // the first Tab goes to Prefix, never to a box that Space would switch.
    void optionTabOrder()
    {
        TOptionForm form;
        auto *tabs = Child<QTabWidget>(&form, "PageControl1");
        const QStringList pages[] = {
            {"PrefixEdit", "SuffixEdit", "ReplaceSpaceEdit", "chkIntegrerShell", "chkDropFolders", "cbPriority",
             "DefautButton", "Button1", "Button2"},
            {"chkDonkey", "chkAich", "PathTempEdit", "BitBtn1", "CommentEdit", "Button1", "Button2"},
            {"chkFileSpree", "FileSpreePathEdit", "BitBtn2", "Button1", "Button2"},
        };
        for (int page = 0; page < 3; ++page) {
            form.Load(DefaultSettings());
            form.show();
            QApplication::setActiveWindow(&form);
            QTRY_COMPARE(QApplication::focusWidget(), tabs->tabBar());
            tabs->setCurrentIndex(page);
            QStringList walked;
            for (qsizetype step = 0; step < pages[page].size(); ++step) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                walked << QApplication::focusWidget()->objectName();
            }
            QCOMPARE(walked, pages[page]);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), tabs->tabBar());
            // Closed elsewhere than on the tabs, as after OK.
            Child<QWidget>(&form, "Button1")->setFocus();
            form.hide();
        }
    }

#ifdef _WIN32
    // The verb is the user's own (HKEY_CLASSES_ROOT alone needs an
    // administrator), with the program's path and the file both quoted; the
    // dialog sees a verb wherever HKEY_CLASSES_ROOT shows one, and unchecked,
    // OK removes it from both places.
    void shellVerbWrittenReadAndRemoved()
    {
        const std::wstring user = L"Software\\Classes\\*\\shell\\Brackwell";
        QCOMPARE(ShellVerbLocation(), QStringLiteral("HKEY_CURRENT_USER\\Software\\Classes\\*\\shell\\Brackwell"));
        DeleteRegistryKey(TRegistryRoot::CurrentUser, user);
        {
            TOptionForm form;
            QVERIFY(!Child<QCheckBox>(&form, "chkIntegrerShell")->isChecked());
            Child<QCheckBox>(&form, "chkIntegrerShell")->setChecked(true);
            form.Button1Click();
            QCOMPARE(form.result(), int(QDialog::Accepted));
        }
        const auto command = RegistryText(TRegistryRoot::CurrentUser, user + L"\\command", L"");
        QVERIFY(command);
        QCOMPARE(QString::fromStdString(*command),
                 QLatin1Char('"') + QDir::toNativeSeparators(QCoreApplication::applicationFilePath())
                     + QStringLiteral("\" \"%1\""));
        QCOMPARE(ShellVerbCommand(QStringLiteral("C:/Program Files/Brackwell/brackwell.exe")),
                 QStringLiteral("\"C:\\Program Files\\Brackwell\\brackwell.exe\" \"%1\""));
        for (const bool machine : {false, true}) {
            if (machine) // as written under HKEY_CLASSES_ROOT by an administrator
                QVERIFY(SetRegistryText(TRegistryRoot::MachineClasses, L"*\\shell\\Brackwell\\command", L"", "x"));
            TOptionForm form;
            QVERIFY(Child<QCheckBox>(&form, "chkIntegrerShell")->isChecked());
            Child<QCheckBox>(&form, "chkIntegrerShell")->setChecked(false);
            form.Button1Click();
            QVERIFY(!RegistryKeyExists(TRegistryRoot::Classes, L"*\\shell\\Brackwell"));
        }
    }

    void shellVerbFailureStillAccepts()
    {
        QSKIP("no registry key that the user cannot write to under wine");
    }
#else
    void shellVerbWrittenReadAndRemoved()
    {
        const QString location = ShellVerbLocation();
        QVERIFY(location.startsWith(m_dir.filePath(QStringLiteral("data/applications/"))));
        QFile::remove(location);
        {
            TOptionForm form;
            QVERIFY(!Child<QCheckBox>(&form, "chkIntegrerShell")->isChecked());
            Child<QCheckBox>(&form, "chkIntegrerShell")->setChecked(true);
            form.Button1Click();
            QCOMPARE(form.result(), int(QDialog::Accepted));
        }
        QFile entry(location);
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(entry.readAll());
        QVERIFY(text.contains(QStringLiteral("\nName=Brackwell\n")));
        QVERIFY(text.contains(QStringLiteral("\nExec=\"") + QCoreApplication::applicationFilePath()
                              + QStringLiteral("\" %f\n")));
        QVERIFY(text.contains(QStringLiteral("\nMimeType=application/octet-stream;\n")));
        const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (!validator.isEmpty()) {
            QProcess check;
            check.start(validator, {location});
            QVERIFY(check.waitForFinished());
            QVERIFY2(check.exitCode() == 0, check.readAllStandardOutput().constData());
        }
        {
            // Found at start; unchecked, OK removes it.
            TOptionForm form;
            QVERIFY(Child<QCheckBox>(&form, "chkIntegrerShell")->isChecked());
            Child<QCheckBox>(&form, "chkIntegrerShell")->setChecked(false);
            form.Button1Click();
        }
        QVERIFY(!QFile::exists(location));

        // Quoting of a path with the characters an Exec line reserves.
        QCOMPARE(ShellVerbCommand(QStringLiteral("/opt/my $app/b\"w%")),
                 QStringLiteral("\"/opt/my \\\\$app/b\\\\\"w%%\" %f"));
    }

    void shellVerbFailureStillAccepts()
    {
        const QByteArray saved = qgetenv("XDG_DATA_HOME");
        const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
        WriteBytes(blocker, "a file where a folder should be");
        qputenv("XDG_DATA_HOME", blocker.toLocal8Bit());
        TOptionForm form;
        Child<QCheckBox>(&form, "chkIntegrerShell")->setChecked(true);
        QStringList texts;
        const int boxes = WithModalWindows([&] { form.Button1Click(); }, [&](QWidget *w) {
            texts << static_cast<QMessageBox *>(w)->text();
            static_cast<QDialog *>(w)->accept();
        });
        qputenv("XDG_DATA_HOME", saved);
        QCOMPARE(boxes, 1);
        QCOMPARE(texts, QStringList{QStringLiteral("Impossible d'acc\u00e9der a la base des registres\"")});
        QCOMPARE(form.result(), int(QDialog::Accepted));
    }
#endif

    void detailPlainAndFailedEntries()
    {
        const QString path = m_dir.filePath(QStringLiteral("abc.txt"));
        WriteBytes(path, "abc");
        TDonkeyFile plain(path.toStdString(), "", "", "", hsDonkey);
        plain.HashFile();
        TDetailForm form;
        auto *pages = Child<QTabWidget>(&form, "PageControl1");
        form.Fill(plain, VerificationUrlOf(QStringLiteral("http://v/?n="), plain));
        QCOMPARE(Text(&form, "FileEdit"), QStringLiteral("abc.txt"));
        QCOMPARE(Text(&form, "TailleEdit"), QStringLiteral("3 o"));
        QCOMPARE(Text(&form, "BlockEdit"), QStringLiteral("1"));
        QCOMPARE(Text(&form, "DonkeyHashEdit"), QStringLiteral("A448017AAF21D8525FC10AE87AA6729D"));
        QCOMPARE(Text(&form, "DonkeyLinkEdit"),
                 QStringLiteral("ed2k://|file|abc.txt|3|A448017AAF21D8525FC10AE87AA6729D|"));
        QCOMPARE(Text(&form, "FileSpreeHashEdit"), QStringLiteral("N/A"));
        QCOMPARE(Text(&form, "FileSpreeLinkEdit"), QStringLiteral("N/A"));
        QCOMPARE(form.windowTitle(), QStringLiteral("abc.txt"));
        QCOMPARE(form.VerificationUrl(), QStringLiteral("http://v/?n=A448017AAF21D8525FC10AE87AA6729D"));
        QVERIFY(!pages->isTabVisible(1));

        // The copy buttons and the main window's copy both go through the link field.
        Child<QToolButton>(&form, "DonkeyCopyButton")->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), Text(&form, "DonkeyLinkEdit"));
        form.CopyLink(QStringLiteral("ed2k://other"));
        QCOMPARE(Text(&form, "DonkeyLinkEdit"), QStringLiteral("ed2k://other"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("ed2k://other"));
        Child<QToolButton>(&form, "FileSpreeCopyButton")->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("N/A"));

        TOpenedUrls opened;
        Child<QToolButton>(&form, "URLButton")->click();
        QCOMPARE(opened.urls, QStringList{form.VerificationUrl()});

        // A failed entry says why, in full; one that did not fail says nothing.
        auto *reason = Child<QLineEdit>(&form, "FailureEdit");
        QVERIFY(!reason->isVisibleTo(&form));
        TDonkeyFile failed(m_dir.filePath(QStringLiteral("missing.bin")).toStdString(), hsAll);
        failed.HashFile();
        form.Fill(failed, VerificationUrlOf(QStringLiteral("http://v/?n="), failed));
        QCOMPARE(Text(&form, "DonkeyHashEdit"), QStringLiteral("Error !"));
        QCOMPARE(Text(&form, "FileSpreeHashEdit"), QStringLiteral("Error !"));
        QCOMPARE(form.VerificationUrl(), QStringLiteral("http://v/?n=Error !"));
        QVERIFY(!failed.Failure().empty());
        QCOMPARE(reason->text(), QString::fromStdString(failed.Failure()));
        QVERIFY(reason->isVisibleTo(&form));
        const QString notADescriptor = m_dir.filePath(QStringLiteral("notes.part.met"));
        WriteBytes(notADescriptor, "plain text, not a descriptor");
        TPartFile text(notADescriptor.toStdString());
        text.HashFile();
        form.Fill(text, QString());
        QVERIFY(!text.Failure().empty());
        QCOMPARE(reason->text(), QString::fromStdString(text.Failure()));
        form.Fill(plain, QString());
        QVERIFY(!reason->isVisibleTo(&form));

        TDonkeyFile withoutDonkey(path.toStdString(), hsFileSpree);
        withoutDonkey.HashFile();
        QCOMPARE(VerificationUrlOf(QStringLiteral("http://v/?n="), withoutDonkey), QStringLiteral("http://v/?n=N/A"));
    }

    void detailDescriptorEntries_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("transferred");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("percent");
        QTest::newRow("empty") << qint64(0) << qint64(0) << 1 << 1 << QStringLiteral("100 %");
        QTest::newRow("1 MiB unscaled") << qint64(1048576) << qint64(524288) << 1048576 << 524288
                                        << QStringLiteral("50,00 %");
        QTest::newRow("1 MiB + 1 in KiB") << qint64(1048577) << qint64(1048577) << 1024 << 1024
                                          << QStringLiteral("100,00 %");
        QTest::newRow("above its size") << qint64(1024) << qint64(1536) << 1024 << 1024 << QStringLiteral("150,00 %");
        QTest::newRow("8 TiB") << (qint64(8) << 40) << (qint64(2) << 40) << (8 << 20) << (2 << 20)
                               << QStringLiteral("25,00 %");
    }
    void detailDescriptorEntries()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, transferred);
        QFETCH(int, maximum);
        QFETCH(int, position);
        QFETCH(QString, percent);
        QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
        const QString path = m_dir.filePath(QStringLiteral("d.part.met"));
        partmet::TBuilder builder(0xE2);
        builder.Add(partmet::Text(partmet::FileName, "movie.avi"))
            .Add(partmet::Integer(partmet::FileSize, static_cast<std::uint64_t>(size), 64))
            .Add(partmet::Integer(partmet::Transferred, static_cast<std::uint64_t>(transferred), 64))
            .Add(partmet::Text(partmet::TempFileName, "003.part"));
        WriteBytes(path, builder.Bytes());
        TPartFile part(path.toStdString());
        part.HashFile();

        TDetailForm form;
        auto *pages = Child<QTabWidget>(&form, "PageControl1");
        pages->setCurrentIndex(1);
        TDonkeyFile plain(path.toStdString(), hsAll);
        form.Fill(plain, QString());
        QCOMPARE(pages->currentIndex(), 0); // a plain entry brings the properties forward
        form.Fill(part, QString());
        QVERIFY(pages->isTabVisible(1));
        QCOMPARE(pages->currentIndex(), 0); // and a descriptor keeps the page that is active

        auto *bar = Child<QProgressBar>(&form, "ProgressBar1");
        QCOMPARE(bar->maximum(), maximum);
        QCOMPARE(bar->value(), position);
        QCOMPARE(bar->toolTip(), QString::number(transferred) + QStringLiteral(" Bytes Copied"));
        QCOMPARE(Text(&form, "PourcentEdit"), percent);
        QCOMPARE(Text(&form, "TempEdit"), QStringLiteral("003.part"));
        QCOMPARE(Text(&form, "StatusEdit"), QStringLiteral("Looking..."));
        QCOMPARE(Text(&form, "PriorityEdit"), QStringLiteral("Low"));
        QCOMPARE(Text(&form, "FileEdit"), QStringLiteral("movie.avi"));
        QCOMPARE(Text(&form, "FileSpreeLinkEdit"), QStringLiteral("N/A"));
        QCOMPARE(Text(&form, "TailleReelEdit"), Text(&form, "TailleEdit"));
        if (size == 1048577)
            QCOMPARE(Text(&form, "TailleEdit"), QStringLiteral("1,00 M"));
        QLocale::setDefault(QLocale::c());
    }

    // The download's page exists only for a descriptor: Ctrl+Tab cannot bring
    // it up for a plain file, and nothing of the last descriptor stays in it.
    void detailDownloadPageOnlyForDescriptors()
    {
        const QString path = m_dir.filePath(QStringLiteral("page.part.met"));
        partmet::TBuilder builder(0xE2);
        builder.Add(partmet::Text(partmet::FileName, "movie.avi"))
            .Add(partmet::Integer(partmet::FileSize, 2000, 64))
            .Add(partmet::Integer(partmet::Transferred, 1000, 64))
            .Add(partmet::Text(partmet::TempFileName, "004.part"));
        WriteBytes(path, builder.Bytes());
        TPartFile part(path.toStdString());
        part.HashFile();
        const QString plainPath = m_dir.filePath(QStringLiteral("plain.txt"));
        WriteBytes(plainPath, "abc");
        TDonkeyFile plain(plainPath.toStdString(), hsAll);
        plain.HashFile();

        TDetailForm form;
        form.show();
        auto *pages = Child<QTabWidget>(&form, "PageControl1");
        QWidget *properties = Child<QWidget>(&form, "TabSheet1");
        QWidget *details = Child<QWidget>(&form, "TabSheet2");
        form.Fill(part, QString());
        pages->setCurrentWidget(details);
        QCOMPARE(pages->currentWidget(), details);
        form.Fill(plain, QString());
        QCOMPARE(pages->currentWidget(), properties);
        const std::pair<Qt::Key, Qt::KeyboardModifiers> switches[] = {
            {Qt::Key_Tab, Qt::ControlModifier},
            {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier},
            {Qt::Key_PageDown, Qt::ControlModifier},
            {Qt::Key_PageUp, Qt::ControlModifier},
        };
        for (const auto &[key, modifiers] : switches) {
            QTest::keyClick(pages, key, modifiers);
            QCOMPARE(pages->currentWidget(), properties);
            QTest::keyClick(pages->tabBar(), key, modifiers);
            QCOMPARE(pages->currentWidget(), properties);
        }
        QVERIFY(!details->isVisible());
        for (const char *field : {"TempEdit", "TypeEdit", "FormatEdit", "StatusEdit", "PriorityEdit", "TailleReelEdit",
                                  "CopiedEdit", "PourcentEdit"})
            QVERIFY2(Text(&form, field).isEmpty(), field);
        QVERIFY(Child<QProgressBar>(&form, "ProgressBar1")->toolTip().isEmpty());
        QCOMPARE(Child<QProgressBar>(&form, "ProgressBar1")->value(), 0);

        // Back for the next descriptor, behind the page that is active.
        form.Fill(part, QString());
        QCOMPARE(pages->currentWidget(), properties);
        QTest::keyClick(pages, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(pages->currentWidget(), details);
        QCOMPARE(Text(&form, "TempEdit"), QStringLiteral("004.part"));
    }

    void browseForDirectory()
    {
        const QString existing = m_dir.filePath(QStringLiteral("chosen"));
        QVERIFY(QDir().mkpath(existing));
        const auto reject = [](QWidget *w) { static_cast<QDialog *>(w)->reject(); };

        QString directory = m_dir.filePath(QStringLiteral("not-there"));
        bool accepted = true;
        WithModalWindows([&] { accepted = BrowseForDirectory(QStringLiteral("Select Directory"), {}, directory); },
                         reject);
        QVERIFY(!accepted);
        QVERIFY(directory.isEmpty());

        // An existing folder is where the chooser opens, and kept on cancel.
        directory = existing;
        QString shownCaption;
        QString startedIn;
        WithModalWindows([&] { accepted = BrowseForDirectory(QStringLiteral("Select Directory"), {}, directory); },
                         [&](QWidget *w) {
                             shownCaption = w->windowTitle();
                             startedIn = static_cast<QFileDialog *>(w)->directory().absolutePath();
                             reject(w);
                         });
        QVERIFY(!accepted);
        QCOMPARE(directory, existing);
        QCOMPARE(shownCaption, QStringLiteral("Select Directory"));
        QCOMPARE(startedIn, existing);

        directory.clear();
        WithModalWindows([&] { accepted = BrowseForDirectory(QStringLiteral("Pick"), m_dir.path(), directory); },
                         [&](QWidget *w) {
                             Accept(w, existing);
                         });
        QVERIFY(accepted);
        QCOMPARE(directory, QDir::toNativeSeparators(existing));
    }

    // The options' folder buttons open the picker at the folder the field
    // names, or at the home folder when it names none.
    void optionFolderPickerStartsAtTheSetting()
    {
        TOptionForm form;
        const QString existing = m_dir.filePath(QStringLiteral("temp-folder"));
        QVERIFY(QDir().mkpath(existing));
        auto *temp = Child<QLineEdit>(&form, "PathTempEdit");
        auto *fileSpree = Child<QLineEdit>(&form, "FileSpreePathEdit");
        temp->setText(existing);
        fileSpree->clear();
        QString startedIn;
        const auto cancel = [&](QWidget *w) {
            startedIn = static_cast<QFileDialog *>(w)->directory().absolutePath();
            static_cast<QDialog *>(w)->reject();
        };
        WithModalWindows([&] { form.BitBtn1Click(); }, cancel);
        QCOMPARE(startedIn, existing);
        QCOMPARE(temp->text(), existing);
        WithModalWindows([&] { form.BitBtn2Click(); }, cancel);
        QCOMPARE(startedIn, QDir::homePath());
        QVERIFY(fileSpree->text().isEmpty());
        WithModalWindows([&] { form.BitBtn2Click(); }, [&](QWidget *w) { Accept(w, existing); });
        QCOMPARE(fileSpree->text(), QDir::toNativeSeparators(existing));
    }

    void aboutBox()
    {
        TAboutForm about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About Brackwell"));
        about.SetVersion(QStringLiteral("1.2.3"));
        QCOMPARE(Child<QLabel>(&about, "ProductName")->text(), QStringLiteral("Brackwell 1.2.3"));
        about.SetVersion(QString());
        QCOMPARE(Child<QLabel>(&about, "ProductName")->text(), QStringLiteral("Brackwell "));

        TOpenedUrls opened;
        QTest::mouseClick(Child<QLabel>(&about, "Email"), Qt::LeftButton);
        QTest::mouseClick(Child<QLabel>(&about, "Siteweb"), Qt::LeftButton);
        QCOMPARE(opened.urls.size(), 2);
        QCOMPARE(opened.urls[0], QStringLiteral("mailto:") + Child<QLabel>(&about, "Email")->text()
                                     + QStringLiteral("?subject=[Brackwell]"));
        QVERIFY(opened.urls[1].startsWith(QStringLiteral("http://www.brackwell.org/")));

        // The keyboard reaches both addresses: Tab from OK, then Space or Enter,
        // which opens the address and leaves the box open.
        opened.urls.clear();
        about.show();
        QVERIFY(QTest::qWaitForWindowActive(&about));
        QCOMPARE(QApplication::focusWidget(), Child<QWidget>(&about, "OKButton"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), Child<QWidget>(&about, "Email"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), Child<QWidget>(&about, "Siteweb"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(opened.urls.size(), 2);
        QVERIFY(opened.urls[0].startsWith(QStringLiteral("mailto:")));
        QVERIFY(opened.urls[1].startsWith(QStringLiteral("http://www.brackwell.org/")));
        QVERIFY(about.isVisible());
        // Enter on OK closes it, as before.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(!about.isVisible());
    }

    // The detail dialog and the About box stand in the middle of the desktop,
    // wherever the main window is.
    void boxesCentredOnTheDesktop()
    {
        QWidget owner;
        owner.setGeometry(0, 0, 200, 100);
        TAboutForm about(&owner);
        TDetailForm detail(&owner);
        for (QDialog *box : {static_cast<QDialog *>(&about), static_cast<QDialog *>(&detail)}) {
            box->show();
            const QPoint centre = box->screen()->availableGeometry().center();
            QVERIFY2((box->frameGeometry().center() - centre).manhattanLength() <= 2, box->metaObject()->className());
            box->hide();
        }
    }

    void mainWindowCommands()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("config")));
        TMainForm form;
        for (const char *name : {"b.txt", "A.txt"}) {
            const QString path = m_dir.filePath(QString::fromLatin1(name));
            WriteBytes(path, "abc");
            auto entry = std::make_unique<TDonkeyFile>(path.toStdString(), "", "", "", hsAll);
            entry->HashFile();
            form.EntryList().AddFinishedEntry(std::move(entry));
        }
        const QString md4 = QStringLiteral("A448017AAF21D8525FC10AE87AA6729D");
        const QString md5 = QStringLiteral("900150983cd24fb0d6963f7d28e17f72");
        form.ListView()->SelectionModel()->select(form.EntryList().index(1, 0),
                                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);

        // Copying goes through the detail dialog's link field.
        form.CopyED2klinkClick();
        const QString link = QStringLiteral("ed2k://|file|b.txt|3|") + md4 + QStringLiteral("|");
        QCOMPARE(Text(form.DetailForm(), "DonkeyLinkEdit"), link);
        QCOMPARE(QGuiApplication::clipboard()->text(), link);

        form.ActionOuvrirExecute();
        QVERIFY(form.DetailForm()->isVisible());
        QCOMPARE(Text(form.DetailForm(), "FileEdit"), QStringLiteral("b.txt"));
        const QString url = QString::fromStdString(form.Settings().URLComment) + md4;
        QVERIFY(url.contains(QStringLiteral("/ed2kutils/infos.php?numfichier=") + md4));
        QCOMPARE(form.DetailForm()->VerificationUrl(), url);
        {
            TOpenedUrls opened;
            form.ActionCommentExecute();
            QCOMPARE(opened.urls, QStringList{url});
        }

        // Export: the options, then the save dialog, then the file in the list's order.
        form.ExportForm()->SaveDialog()->setOption(QFileDialog::DontUseNativeDialog);
        const QString list = m_dir.filePath(QStringLiteral("window-list.txt"));
        WithModalWindows([&] { form.ActionExportExecute(); }, [&](QWidget *w) {
            if (w == form.ExportForm())
                QMetaObject::invokeMethod(form.ExportForm(), &TExportForm::Button2Click, Qt::QueuedConnection);
            else
                Accept(w, list);
        });
        QFile written(list);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(written.readAll()),
                 QStringLiteral("Share List\r\n")
                     + QStringLiteral("A.txt (3 o) ed2k://|file|A.txt|3|%1| fs://Get|A.txt|%2| \r\n").arg(md4, md5)
                     + QStringLiteral("b.txt (3 o) ed2k://|file|b.txt|3|%1| fs://Get|b.txt|%2| \r\n").arg(md4, md5));

        // Options confirmed: copied into the settings and saved.
        WithModalWindows([&] { form.ActionOptionsExecute(); }, [&](QWidget *w) {
            Child<QLineEdit>(w, "PrefixEdit")->setText(QStringLiteral("pre-"));
            Child<QComboBox>(w, "cbPriority")->setCurrentIndex(2);
            Child<QPushButton>(w, "Button1")->click();
        });
        QCOMPARE(form.Settings().NamePrefix, std::string("pre-"));
        QCOMPARE(int(form.Settings().ThreadPriority), 5);
        QCOMPARE(form.SettingsKey()->value(QStringLiteral("Config/ThreadPriority")).toString(), QStringLiteral("5"));
        // Cancelled: nothing changes.
        WithModalWindows([&] { form.ActionOptionsExecute(); }, [&](QWidget *w) {
            Child<QLineEdit>(w, "PrefixEdit")->setText(QStringLiteral("other"));
            Child<QPushButton>(w, "Button2")->click();
        });
        QCOMPARE(form.Settings().NamePrefix, std::string("pre-"));

        QString product;
        WithModalWindows([&] { form.Aproposde1Click(); }, [&](QWidget *w) {
            product = Child<QLabel>(w, "ProductName")->text();
            static_cast<QDialog *>(w)->accept();
        });
        QVERIFY(product.startsWith(QStringLiteral("Brackwell ")));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TDialogsTest)
#include "dialogs_test.moc"

// The main window as a user drives it: adding, listing, refreshing, deleting,
// copying, dropping, closing, and the view style kept between runs.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTableView>
#include <QTreeWidget>
#include <QUrl>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <thread>

#ifdef _WIN32
#include "input/registry.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "FileDrop.h"
#include "checklinks.h"
#include "deepfolder.h"
#include "entrylist.h"
#include "listview.h"
#include "main.h"
#include "option.h"
#include "entries/partfile.h"
#include "heldcores.h"
#include "partmetbuilder.h"
#include "qtdispatcher.h"
#include "workcontroller.h"

namespace {

constexpr int Timeout = 60000;

// The user's settings store, fresh and empty, for the windows made from now
// on: a file in folder, or on Windows the registry key (the suites there run
// one at a time).
void FreshStore(const QTemporaryDir &folder)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
#ifdef _WIN32
    DeleteRegistryKey(TRegistryRoot::CurrentUser, L"Software\\Brackwell");
#endif
}

// A value of that store as it is stored.
QString Stored(const QTemporaryDir &folder, const char *name)
{
#ifdef _WIN32
    Q_UNUSED(folder);
    return QString::fromStdString(RegistryText(TRegistryRoot::CurrentUser, L"Software\\Brackwell\\Config",
                                               QString::fromLatin1(name).toStdWString())
                                      .value_or(std::string()));
#else
    const QSettings stored(folder.path() + "/Brackwell/Brackwell.conf", QSettings::IniFormat);
    return stored.value(QStringLiteral("Config/") + QLatin1String(name)).toString();
#endif
}
// MD4 of "abc" (RFC 1320), the eDonkey2000 hash of a one-chunk file holding it.
const QString AbcMd4 = QStringLiteral("A448017AAF21D8525FC10AE87AA6729D");

// Paths as the file dialogs give them.
QList<QUrl> Urls(const QStringList &paths)
{
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << QUrl::fromLocalFile(path);
    return urls;
}

// A window over a fresh settings store and a folder of files, its model
// checked by QAbstractItemModelTester throughout.
class TWindow final
{
public:
    TWindow()
    {
        FreshStore(m_config);
        Form = std::make_unique<TMainForm>();
        m_tester = std::make_unique<QAbstractItemModelTester>(
            &Form->EntryList(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    ~TWindow()
    {
        WaitIdle();
        m_tester.reset();
        Form.reset();
    }

    QString File(const QString &name, const QByteArray &content = "abc") const
    {
        const QString path = m_files.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
        return path;
    }
    QString BigFile(const QString &name, qint64 size) const
    {
        const QString path = m_files.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.resize(size);
        return path;
    }
    QString Descriptor(const QString &fileName, const std::string &recordedName) const
    {
        const std::string bytes = partmet::TBuilder()
                                      .Add(partmet::Text(0x01, recordedName))
                                      .Add(partmet::Integer(0x02, 1234))
                                      .Bytes();
        return File(fileName, QByteArray::fromStdString(bytes));
    }
    bool Idle() const
    {
        return !Form->WorkUnderWay();
    }
    void WaitIdle() const
    {
        QTRY_VERIFY_WITH_TIMEOUT(Idle(), Timeout);
    }
    // Lists files through Add and waits until all are in the list.
    void Add(const QStringList &paths)
    {
        Choose(paths);
        Form->ActionAjouterExecute();
        WaitIdle();
    }
    // What the file dialog chooses from now on.
    void Choose(const QStringList &paths)
    {
        Form->FileChooser = [urls = Urls(paths)](QWidget *, const QString &, const QString &, const QString &) {
            return urls;
        };
    }
    QStringList Names() const
    {
        QStringList names;
        const TEntryListModel &list = Form->EntryList();
        for (int row = 0; row < list.rowCount(); ++row)
            names << list.index(row, TEntryListModel::NameColumn).data().toString();
        return names;
    }
    QString Text(int row, int column) const { return Form->EntryList().index(row, column).data().toString(); }
    void Select(std::initializer_list<int> rows) const
    {
        QItemSelection selection;
        for (int row : rows)
            selection.select(Form->EntryList().index(row, 0), Form->EntryList().index(row, 3));
        Form->ListView()->SelectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    }
    QString ConfigFile() const { return m_config.path() + "/Brackwell/Brackwell.conf"; }

    std::unique_ptr<TMainForm> Form;

private:
    QTemporaryDir m_config;
    QTemporaryDir m_filesDir;
    QDir m_files{m_filesDir.path()};
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

// A command of the window, found by its name as outside scripts find it.
QAction *Action(const TMainForm &form, const char *name)
{
    auto *action = form.findChild<QAction *>(QString::fromLatin1(name));
    if (!action)
        qFatal("no action %s", name);
    return action;
}

// A drag from a file manager as Qt delivers it: it enters, moves, and is
// dropped only where the enter and the moves were accepted (a target that
// refuses the enter never sees the drop). A file manager offers copy and move.
void SendDrop(QWidget *target, const QList<QUrl> &urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint at(5, 5);
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(at, offered, &mime, Qt::LeftButton, Qt::NoModifier);
    enter.ignore();
    QApplication::sendEvent(target, &enter);
    QVERIFY2(enter.isAccepted(), "the drag was refused as it entered");
    QCOMPARE(enter.dropAction(), Qt::CopyAction);
    QDragMoveEvent move(at + QPoint(3, 3), offered, &mime, Qt::LeftButton, Qt::NoModifier);
    move.ignore();
    QApplication::sendEvent(target, &move);
    QVERIFY2(move.isAccepted(), "the drag was refused as it moved");
    QDropEvent drop(QPointF(at + QPoint(3, 3)), offered, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(drop.dropAction(), Qt::CopyAction);
}

// The texts of the error boxes the window shows (not modal), closing them.
QStringList TakeErrors(const TMainForm &form)
{
    QStringList texts;
    for (QMessageBox *box : form.findChildren<QMessageBox *>()) {
        if (box->isVisible()) {
            texts << box->text();
            box->close();
        }
    }
    return texts;
}

} // namespace

class MainFormTest final : public QObject
{
    Q_OBJECT

private slots:
    void startsEmptyWithItsLayout()
    {
        TWindow w;
        TMainForm &form = *w.Form;
        // The test program carries version 1.2.3.4.
        QCOMPARE(form.windowTitle(), "Brackwell 1.2");
        QCOMPARE(form.size(), QSize(537, 326));
        QCOMPARE(form.StatusText(), "");
        QCOMPARE(form.ListView()->ViewStyle(), 0);
        QVERIFY(Action(form, "ActionIcone")->isChecked());
        for (const char *name : {"ActionOuvrir", "ActionComment", "ActionSupprimer"})
            QVERIFY2(!Action(form, name)->isEnabled(), name);
        for (const char *name : {"ActionAjouter", "ActionAjouterPart", "ActionRefresh", "ActionSelectAll",
                                 "CopyED2klink", "CopyED2kLinkHTML", "CopyMagnetLink", "ActionExport", "ActionOptions"})
            QVERIFY2(Action(form, name)->isEnabled(), name);
        QCOMPARE(Action(form, "ActionAjouter")->shortcut(), QKeySequence(Qt::Key_Insert));
        QCOMPARE(Action(form, "ActionAjouterPart")->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_Insert));
        QCOMPARE(Action(form, "ActionSupprimer")->shortcut(), QKeySequence(Qt::Key_Delete));
        QCOMPARE(Action(form, "ActionRefresh")->shortcut(), QKeySequence(Qt::Key_F5));
        QCOMPARE(Action(form, "ActionAddFolder")->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Insert));
        QCOMPARE(Action(form, "ActionCopyLinks")->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
        QCOMPARE(Action(form, "ActionStop")->shortcut(), QKeySequence(Qt::Key_Escape));
        // Nothing to stop yet.
        QVERIFY(!Action(form, "ActionStop")->isEnabled());

        // The popup's entries, in order, Open the default one.
        QStringList popup;
        for (QAction *action : form.PopupMenu2()->actions())
            popup << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(popup, (QStringList{"Open", "Copy ED2k link", "Copy ED2k Link (HTML)", "Copy magnet link", "Copy ED2k links", "-", "Add",
                                     "Add Partmet", "Add Folder...", "Delete", "-", "View", "-", "Comment", "-",
                                     "Refresh"}));
        QCOMPARE(form.PopupMenu2()->defaultAction(), Action(form, "ActionOuvrir"));

        // Cancelling Add changes nothing, the status text included.
        w.Add({});
        QCOMPARE(form.StatusText(), "");

        // Panel 1 carries the progress bar through resizes.
        form.show();
        form.resize(800, 500);
        QApplication::processEvents();
        QWidget *panel = form.StatusBar1()->findChild<QWidget *>("StatusPanel1");
        QCOMPARE(panel->width(), 150);
        QVERIFY(form.ProgressBar1()->isHidden());
        QVERIFY(panel->rect().contains(form.ProgressBar1()->geometry()));
    }

    void addingShowsCountsAndSortedRows()
    {
        TWindow w;
        TMainForm &form = *w.Form;
        {
            // Counted while they wait (the cores held: nothing is hashed).
            THeldCores cores(form.CoreTokens());
            w.Choose({w.File("b.txt"), w.File("A.txt"), w.File("a.txt")});
            form.ActionAjouterExecute();
            QCOMPARE(form.StatusText(), "3 file(s) left");
        }
        w.WaitIdle();
        QCOMPARE(form.StatusText(), "Ready");
        QCOMPARE(w.Names(), (QStringList{"A.txt", "a.txt", "b.txt"}));
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(w.Text(0, TEntryListModel::DonkeyColumn), AbcMd4);
        QCOMPARE(w.Text(0, TEntryListModel::SizeColumn), "3 o");

        // The same file again is a second row; a missing one is listed as failed.
        w.Add({w.File("a.txt"), w.File("b.txt") + ".missing"});
        QCOMPARE(w.Names(), (QStringList{"A.txt", "a.txt", "a.txt", "b.txt", "b.txt.missing"}));
        QCOMPARE(w.Text(4, TEntryListModel::DonkeyColumn), "Error !");
        // A cut hash shows whole as the cell's tooltip; a failed row says why.
        const auto tip = [&](int row, int column) {
            return form.EntryList().index(row, column).data(Qt::ToolTipRole).toString();
        };
        QCOMPARE(tip(0, TEntryListModel::DonkeyColumn), AbcMd4);
        QCOMPARE(tip(0, TEntryListModel::FileSpreeColumn), "900150983cd24fb0d6963f7d28e17f72");
        const std::string reason = form.EntryList().EntryAt(4)->Failure();
        QVERIFY(!reason.empty());
        for (int column = 0; column < TEntryListModel::ColumnCount; ++column)
            QCOMPARE(tip(4, column), QString::fromStdString(reason));

        // A descriptor shows image 1 and no FileSpree hash, and leaves the status alone.
        const QString before = form.StatusText();
        form.FileChooser = [&](QWidget *, const QString &, const QString &folder, const QString &filter) {
            [&] {
                QCOMPARE(folder.toStdString(), form.Settings().EdonkeyTempPath);
                QCOMPARE(filter, "Fichier eDonkey  (*.part.met)");
            }();
            return Urls({w.Descriptor("1.part.met", "zeta.avi")});
        };
        form.ActionAjouterPartExecute();
        w.WaitIdle();
        QCOMPARE(form.StatusText(), before);
        QCOMPARE(w.Names().last(), "zeta.avi");
        const QModelIndex part = form.EntryList().index(5, 0);
        QCOMPARE(part.siblingAtColumn(TEntryListModel::FileSpreeColumn).data().toString(), "N/A");
        QCOMPARE(part.siblingAtColumn(TEntryListModel::DonkeyColumn).data().toString(),
                 QString::fromLatin1(partmet::SampleHashText.data(), 32));
        const auto imageKey = [&](int row) {
            return form.EntryList().index(row, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey();
        };
        QVERIFY(imageKey(5) != imageKey(0));
        QCOMPARE(imageKey(1), imageKey(0));
    }

    // Entries made while ActiveAich is on carry h= in their links, those made
    // before or after do not; Check against links runs on a worker and lists
    // one result per link.
    void aichLinksAndCheckAgainstLinks()
    {
        TWindow w;
        TMainForm &form = *w.Form;
        form.Settings().ActiveHashes |= hsAich;
        w.Add({w.File("a b.txt")});
        // A descriptor shows the root it records.
        const QByteArray descriptor = QByteArray::fromStdString(partmet::ZeroFileDownload(partmet::OneChunkOfZeros).Bytes());
        w.Choose({w.File("z.part.met", descriptor)});
        form.ActionAjouterPartExecute();
        w.WaitIdle();
        form.Settings().ActiveHashes &= static_cast<THashSelection>(~hsAich);
        w.Add({w.File("c.txt", "other")});
        const std::string withAich = form.EntryList().EntryAt(0)->DonkeyLink();
        QCOMPARE(QString::fromStdString(withAich),
                 "ed2k://|file|a b - Generated by Brackwell.txt|3|" + AbcMd4 + "|h=VGMT4NSHA2AWVOR6EVYXQUGCNSONBWE5|/");
        QVERIFY(form.EntryList().EntryAt(1)->DonkeyLink().ends_with("|"));
        QCOMPARE(QString::fromStdString(form.EntryList().EntryAt(2)->DonkeyLink()),
                 "ed2k://|file|zeros.bin|9728000|FC21D9AF828F92A8DF64BEAC3357425D|h=5D3N4HQHIUMQ7IU7A5QLPLI6RHSWOR7B|/");

        // The root above is rhash --aich of "abc" (its SHA-1, FIPS 180); the list's first link
        // names the renamed file, its second one the file's own name with a
        // damaged copy's hash, its third nothing there.
        QFile::remove(w.File("a b.txt"));
        w.File("a b.txt", "abd");
        const QString list = w.File("list.txt", QByteArray::fromStdString(
            withAich + "\n" + form.EntryList().EntryAt(1)->DonkeyLink() + "\ned2k://|file|gone|1|" + AbcMd4.toStdString() + "|\n"));
        w.File("c.txt", "othe!");
        w.Choose({list});
        form.ActionCheckLinksExecute();
        TCheckLinksForm *check = form.CheckLinksForm();
        // Results come only through the event loop: the command did not wait.
        QCOMPARE(check->ResultList()->topLevelItemCount(), 0);
        QVERIFY(check->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!check->Busy(), Timeout);
        QCOMPARE(check->ResultList()->topLevelItemCount(), 3);
        const auto row = [&](int i) {
            const QTreeWidgetItem *item = check->ResultList()->topLevelItem(i);
            return QStringList{item->text(0), item->text(1), item->text(2)};
        };
        QCOMPARE(row(0), (QStringList{"FAILED", "a b - Generated by Brackwell.txt", "ed2k hash differs, AICH hash differs"}));
        QCOMPARE(row(1), (QStringList{"FAILED", "c - Generated by Brackwell.txt", "ed2k hash differs"}));
        QCOMPARE(row(2), (QStringList{"MISSING", "gone", ""}));
        QCOMPARE(check->StatusText(), "0 OK, 2 failed, 1 missing");
        // The dialog names the list it checked.
        QVERIFY(check->findChild<QLabel *>("ListLabel")->text().contains(QDir::toNativeSeparators(list)));
        QCOMPARE(check->windowTitle(), "Check against links");
        check->close();
    }

    void workersRunSideBySideAndCloseWaitsForThem()
    {
        TWindow w;
        TMainForm &form = *w.Form;
        form.show();
        w.Add({w.File("one.txt")});
        // Nothing is hashed until the cores are let go below.
        THeldCores cores(form.CoreTokens());
        // 21 chunks: the bar shows them for a while once hashing goes on.
        const QString big = w.BigFile("big.bin", 20 * 9728000 + 1);
        form.QueueFiles({big, w.File("two.txt")});
        w.Choose({w.Descriptor("d.part.met", "d.avi")});
        form.ActionAjouterPartExecute();
        QVERIFY(form.FileWorkerBusy());
        QVERIFY(form.PartWorkerBusy());
        QCOMPARE(form.StatusText(), "2 file(s) left");
        QVERIFY(form.ProgressBar1()->isVisibleTo(&form));

        // While busy: Refresh disabled in the popup, and F5 ignored.
        w.Select({0});
        form.PopupMenu2Popup();
        QVERIFY(!Action(form, "ActionRefresh")->isEnabled());
        QVERIFY(Action(form, "ActionRefresh")->isVisible());
        QVERIFY(Action(form, "ActionSupprimer")->isEnabled());
        form.ActionRefreshExecute();
        QVERIFY(!form.Work().Refreshing());

        QString refusal;
        QTimer::singleShot(0, [&refusal] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                refusal = box->text();
                box->accept();
            }
        });
        QVERIFY(!form.close());
        QCOMPARE(refusal, "Please wait the end of process");
        QVERIFY(form.isVisible());
        QCOMPARE(form.StatusText(), "2 file(s) left");

        // Two files wait: the bar spans the whole queue, in thousandths.
        cores.Release();
        QTRY_COMPARE_WITH_TIMEOUT(form.ProgressBar1()->maximum(), 1000, Timeout);
        w.WaitIdle();
        QVERIFY(form.ProgressBar1()->isHidden());
        QCOMPARE(form.StatusText(), "Ready");
        QCOMPARE(w.Names(), (QStringList{"big.bin", "d.avi", "one.txt", "two.txt"}));
        // Nothing selected: the popup hides the row commands and disables Delete.
        form.ListView()->SelectionModel()->clearSelection();
        form.PopupMenu2Popup();
        QVERIFY(!Action(form, "ActionSupprimer")->isEnabled());
        QVERIFY(!Action(form, "ActionSupprimer")->isVisible());
        QVERIFY(!Action(form, "CopyED2klink")->isVisible());
        QVERIFY(form.close());
        QCOMPARE(form.EntryList().rowCount(), 0);
    }

    // An entry takes the settings of the moment it is made, when its turn
    // comes: options confirmed after Add, before hashing, apply to it; a
    // refresh keeps the entry's own; paths added while a refresh runs wait
    // for it.
    void settingsApplyWhenAnEntryIsMade()
    {
        TWindow w;
        TMainForm &form = *w.Form;
        w.Add({w.BigFile("big.bin", 2 * 9728000)});
        {
            THeldCores cores(form.CoreTokens());
            form.QueueFiles({w.File("late.txt")});
            // Confirmed without the file manager's verb being written.
            QTimer::singleShot(0, [&] {
                form.OptionForm()->findChild<QCheckBox *>("chkFileSpree")->setChecked(false);
                form.OptionForm()->accept();
            });
            form.ActionOptionsExecute();
            QCOMPARE(form.Settings().ActiveHashes & hsFileSpree, 0);
        }
        w.WaitIdle();
        QCOMPARE(w.Names(), (QStringList{"big.bin", "late.txt"}));
        QCOMPARE(w.Text(1, TEntryListModel::FileSpreeColumn), "N/A");
        QCOMPARE(w.Text(1, TEntryListModel::DonkeyColumn), AbcMd4);

        w.Select({0});
        form.ActionRefreshExecute();
        QVERIFY(form.FileWorkerBusy());
        form.QueueFiles({w.File("z-held.txt")});
        QCOMPARE(form.StatusText(), "1 file(s) left");
        QTRY_COMPARE_WITH_TIMEOUT(form.EntryList().rowCount(), 3, Timeout);
        w.WaitIdle();
        QCOMPARE(form.StatusText(), "Ready");
        QCOMPARE(w.Text(0, TEntryListModel::FileSpreeColumn).size(), 32);
        QCOMPARE(w.Text(2, TEntryListModel::FileSpreeColumn), "N/A");
    }

    void deleteRemovesTheSelectedRowsOnly()
    {
        TWindow w;
        TMainForm &form = *w.Form;
        QStringList paths;
        for (char c = 'a'; c <= 'i'; ++c)
            paths << w.File(QString(QChar(c)) + ".txt");
        w.Add(paths);
        w.Select({2, 5, 7});
        form.PopupMenu2Popup();
        QVERIFY(Action(form, "ActionSupprimer")->isEnabled());
        Action(form, "ActionSupprimer")->trigger();
        QCOMPARE(w.Names(), (QStringList{"a.txt", "b.txt", "d.txt", "e.txt", "g.txt", "i.txt"}));
        QVERIFY(!form.ListView()->SelectionModel()->hasSelection());

        w.Select({0});
        form.ActionSupprimerExecute();
        QCOMPARE(w.Names().first(), "b.txt");

        // Select All, then Delete, empties the list.
        Action(form, "ActionSelectAll")->trigger();
        QCOMPARE(int(form.ListView()->SelectedRows().size()), 5);
        form.ActionSupprimerExecute();
        QCOMPARE(form.EntryList().rowCount(), 0);
        form.ActionSupprimerExecute(); // nothing selected: nothing happens
    }

    void copiesTheTopmostSelectedLink()
    {
        TWindow w;
        TMainForm &form = *w.Form;
        w.Add({w.File("x.txt"), w.File("y.txt")});
        form.Settings().ActiveHashes = hsFileSpree;
        w.Add({w.File("z.txt")});
        // The setting applies to new entries only.
        QCOMPARE(w.Text(0, TEntryListModel::FileSpreeColumn).size(), 32);
        QCOMPARE(w.Text(2, TEntryListModel::DonkeyColumn), "N/A");

        w.Select({1, 0});
        form.CopyED2klinkClick();
        QCOMPARE(QApplication::clipboard()->text(),
                 "ed2k://|file|x - Generated by Brackwell.txt|3|" + AbcMd4 + "|");
        form.CopyED2kLinkHTMLClick();
        QVERIFY(QApplication::clipboard()->text().startsWith("<a href=\"ed2k://|file|x - Generated"));
        // Magnet links: every selected entry's, in list order; none of an
        // entry without an ed2k hash.
        form.CopyMagnetLinksClick();
        const QStringList magnets = QApplication::clipboard()->text().split('\n');
        QCOMPARE(magnets.size(), 2);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(magnets[i].section("&xt=urn:aich:", 0, 0),
                     "magnet:?xt=urn:ed2k:" + AbcMd4 + "&xl=3&dn=" + "xy"[i] + "%20-%20Generated%20by%20Brackwell.txt");
        w.Select({2});
        form.CopyED2klinkClick();
        QCOMPARE(QApplication::clipboard()->text(), "N/A");
        form.CopyMagnetLinksClick();
        QCOMPARE(QApplication::clipboard()->text(), "N/A");
    }

    // The clipboard holds Unicode: a name byte that is no UTF-8 goes in the
    // link as %XX (the link names the real file) and in the anchor's text as
    // U+FFFD; a link of a 40,000-character prefix is copied whole.
    void copiesWholeLinksThatNameTheRealFile()
    {
#ifdef _WIN32
        QSKIP("names are UTF-8 on Windows");
#endif
        TWindow w;
        TMainForm &form = *w.Form;
        QTemporaryDir dir;
        const std::string path = QFile::encodeName(dir.path()).toStdString() + "/caf\xE9.txt";
        { std::ofstream(path) << "abc"; }
        auto entry = std::make_unique<TDonkeyFile>(path, "", "", "", hsAll);
        entry->HashFile();
        form.EntryList().AddFinishedEntry(std::move(entry));
        const std::string prefix(40000, 'p');
        auto longOne = std::make_unique<TDonkeyFile>(path, "", "", prefix, hsAll);
        longOne->HashFile();
        form.EntryList().AddFinishedEntry(std::move(longOne));

        w.Select({0});
        form.CopyED2klinkClick();
        QCOMPARE(QApplication::clipboard()->text(), "ed2k://|file|caf%E9.txt|3|" + AbcMd4 + "|");
        form.CopyED2kLinkHTMLClick();
        QCOMPARE(QApplication::clipboard()->text(),
                 "<a href=\"ed2k://|file|caf%E9.txt|3|" + AbcMd4 + "|\">caf\uFFFD.txt</a>");
        w.Select({1});
        form.CopyED2klinkClick();
        const QString copied = QApplication::clipboard()->text();
        QCOMPARE(copied.size(), 40000 + QStringLiteral("ed2k://|file|caf%E9.txt|3||").size() + 32);
        QVERIFY(copied.endsWith(AbcMd4 + "|"));
    }

    void refreshKeepsTheRowAndRepaintsIt()
    {
        TWindow w;
        TMainForm &form = *w.Form;
        const QString descriptor = w.Descriptor("n.part.met", "aaa.avi");
        w.Choose({descriptor});
        form.ActionAjouterPartExecute();
        w.WaitIdle();
        const QString big = w.BigFile("mmm.bin", 9728000 + 1);
        w.Add({big});
        QCOMPARE(w.Names(), (QStringList{"aaa.avi", "mmm.bin"}));

        // The descriptor now records a name that sorts last: the row stays.
        w.Descriptor("n.part.met", "zzz.avi");
        w.Select({0});
        form.ActionRefreshExecute();
        QVERIFY(form.PartWorkerBusy());
        // Busy with a descriptor only: Refresh stays enabled, and a second
        // refresh of a descriptor is dropped.
        form.PopupMenu2Popup();
        QVERIFY(Action(form, "ActionRefresh")->isEnabled());
        QSignalSpy ended(&form.Work(), &TWorkController::RefreshEnded);
        form.ActionRefreshExecute();
        w.WaitIdle();
        QCOMPARE(ended.count(), 1);
        QCOMPARE(w.Names(), (QStringList{"zzz.avi", "mmm.bin"}));

        // A plain file's row is repainted at each chunk of its refresh.
        QSignalSpy changed(&form.EntryList(), &QAbstractItemModel::dataChanged);
        w.Select({1});
        form.ActionRefreshExecute();
        QVERIFY(form.FileWorkerBusy());
        w.WaitIdle();
        int rowRepaints = 0;
        for (const QList<QVariant> &signal : changed) {
            const auto top = signal.at(0).toModelIndex();
            const auto bottom = signal.at(1).toModelIndex();
            rowRepaints += top.row() == 1 && bottom.row() == 1;
        }
        QCOMPARE(rowRepaints, 2);
        QCOMPARE(w.Text(1, TEntryListModel::SizeColumn), "9" + QLocale().decimalPoint() + "28 M");
    }

    void deleteUnderRefreshDropsTheRowAtOnce()
    {
        TWindow w;
        TMainForm &form = *w.Form;
        w.Add({w.BigFile("big.bin", 2 * 9728000), w.File("keep.txt")});
        w.Select({0});
        form.ActionRefreshExecute();
        QVERIFY(form.FileWorkerBusy());
        form.ActionSupprimerExecute();
        QCOMPARE(w.Names(), QStringList{"keep.txt"});
        // The worker still hashes the deleted entry, which lives until it reports.
        QVERIFY(form.FileWorkerBusy());
        w.WaitIdle();
        QCOMPARE(w.Names(), QStringList{"keep.txt"});
        QCOMPARE(w.Text(0, TEntryListModel::DonkeyColumn), AbcMd4);
    }

    void dropQueuesLocalFilesInOrder()
    {
        TWindow w;
        TMainForm &form = *w.Form;
        form.show();
        Action(form, "ActionReport")->trigger();
        QWidget *viewport = form.ListView()->DetailView()->viewport();
        QVERIFY(viewport->acceptDrops());
        const QString first = w.File("second.txt"), second = w.File("first.txt");
        SendDrop(viewport, {QUrl::fromLocalFile(first), QUrl("https://example.org/x"), QUrl::fromLocalFile(second)});
        QCOMPARE(form.FileDrop1()->FileCount(), 2);
        QCOMPARE(form.FileDrop1()->Files(), (QStringList{first, second}));
        QVERIFY(form.FileWorkerBusy());
        QCOMPARE(form.StatusText(), "2 file(s) left");
        w.WaitIdle();
        QCOMPARE(w.Names(), (QStringList{"first.txt", "second.txt"}));

        // Icons style: the list view takes the drop as well.
        Action(form, "ActionIcone")->trigger();
        SendDrop(form.ListView()->IconView()->viewport(), {QUrl::fromLocalFile(first)});
        w.WaitIdle();
        QCOMPARE(form.EntryList().rowCount(), 3);

        // Unhooked, the control takes no drops.
        form.FileDrop1()->SetDropControl(nullptr);
        QVERIFY(!form.FileDrop1()->EnableDrop());
        QVERIFY(!viewport->acceptDrops());
        form.FileDrop1()->SetEnableDrop(true);
        QVERIFY(!form.FileDrop1()->EnableDrop());
    }

    // Add Folder walks as brackwell-cli -r does: names in byte order, each
    // folder before the next name of its parent, links to folders not
    // followed, special files left out; a descriptor found on the way is read
    // as one. The folder picker opens where the last one was chosen.
    void addFolderWalksAndQueuesDescriptors()
    {
        TWindow w;
        TMainForm &form = *w.Form;
        QTemporaryDir tree;
        QDir root(tree.path());
        QVERIFY(root.mkpath("a/inner") && root.mkpath("b"));
        auto write = [&](const QString &name, const QByteArray &content) {
            QFile file(root.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        };
        write("B.txt", "abc");
        write("a/inner/z.txt", "abc");
        write("a/y.txt", "abc");
        write("b/x.txt", "abc");
        const std::string bytes = partmet::TBuilder().Add(partmet::Text(0x01, "found.avi")).Bytes();
        write("b/d.part.met", QByteArray::fromStdString(bytes));
#ifndef _WIN32
        QVERIFY(QFile::link(root.path(), root.filePath("b/loop")));
        QCOMPARE(::mkfifo(root.filePath("fifo").toLocal8Bit().constData(), 0600), 0);
#endif
        QStringList starts;
        form.FolderChooser = [&](QWidget *, const QString &, const QString &start) {
            starts << start;
            return tree.path();
        };
        form.ActionAddFolderExecute();
        w.WaitIdle();
        QCOMPARE(TakeErrors(form), QStringList());
        // The plain files, and the descriptor read as one.
        QCOMPARE(w.Names(), (QStringList{"B.txt", "found.avi", "x.txt", "y.txt", "z.txt"}));
        QCOMPARE(form.StatusText(), "Ready");
        for (int row = 0; row < 5; ++row) {
            if (w.Text(row, TEntryListModel::NameColumn).endsWith(".txt"))
                QCOMPARE(w.Text(row, TEntryListModel::DonkeyColumn), AbcMd4);
        }

        // Cancelled: nothing more; the picker opened at the folder chosen before.
        form.FolderChooser = [&](QWidget *, const QString &, const QString &start) {
            starts << start;
            return QString();
        };
        form.ActionAddFolderExecute();
        w.WaitIdle();
        QCOMPARE(form.EntryList().rowCount(), 5);
        QCOMPARE(starts, (QStringList{QDir::homePath(), tree.path()}));
    }

#ifndef _WIN32
    // A folder that cannot be read is named in one message once the walk
    // ends; the files around it are listed all the same.
    void addFolderNamesWhatItCouldNotRead()
    {
        TWindow w;
        TMainForm &form = *w.Form;
        QTemporaryDir tree;
        TDeepFolder deep(tree.path().toStdString(), "deep");
        QVERIFY(deep.Made());
        QFile file(QDir(tree.path()).filePath("z.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("abc") == 3);
        file.close();
        form.QueueFolders({tree.path().toStdString()});
        w.WaitIdle();
        QCOMPARE(w.Names(), QStringList{"z.txt"});
        const QStringList errors = TakeErrors(form);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].startsWith("These folders could not be read:\n"), qPrintable(errors[0]));
        QVERIFY2(errors[0].contains("deep"), qPrintable(errors[0]));
    }
#endif

    // With DropFolders off a dropped folder is taken as a path as it stands
    // (an entry that could not be hashed, as before the option); with it on,
    // the drop is walked in its order.
    void droppedFolderFollowsTheOption()
    {
        TWindow w;
        TMainForm &form = *w.Form;
        form.show();
        QWidget *viewport = form.ListView()->IconView()->viewport();
        QTemporaryDir tree;
        QFile inside(QDir(tree.path()).filePath("inside.txt"));
        QVERIFY(inside.open(QIODevice::WriteOnly) && inside.write("abc") == 3);
        inside.close();
        const QString loose = w.File("loose.txt");

        QVERIFY(!form.Settings().DropFolders);
        SendDrop(viewport, {QUrl::fromLocalFile(tree.path()), QUrl::fromLocalFile(loose)});
        QVERIFY(!form.Walking());
        w.WaitIdle();
        // The folder is one entry that could not be hashed; nothing under it is listed.
        const QString folderName = QFileInfo(tree.path()).fileName();
        QCOMPARE(w.Names(), (QStringList{folderName, "loose.txt"}));
        QCOMPARE(w.Text(0, TEntryListModel::DonkeyColumn), "Error !");

        form.Settings().DropFolders = true;
        SendDrop(viewport, {QUrl::fromLocalFile(loose), QUrl::fromLocalFile(tree.path())});
        w.WaitIdle();
        QCOMPARE(w.Names(), (QStringList{folderName, "inside.txt", "loose.txt", "loose.txt"}));
        QCOMPARE(w.Text(w.Names().indexOf("inside.txt"), TEntryListModel::DonkeyColumn), AbcMd4);
        QCOMPARE(TakeErrors(form), QStringList());
    }

    // Stop while files far too big to be hashed within the test's bound are
    // hashed (sparse, 1 TiB each): what waits is dropped, what is under way
    // ends at its next block, nothing of them is listed, the status text
    // counts them, the window may close at once, and files added afterwards
    // to the same window are hashed and listed.
    void stopUnderLoadEndsTheRunAndLetsTheWindowClose()
    {
        TWindow w;
        TMainForm &form = *w.Form;
        form.show();
        w.Add({w.File("done.txt")});
        // More than the lanes take at once: some wait.
        QStringList paths;
        for (int i = 0; i < 40; ++i)
            paths << w.BigFile(QStringLiteral("big%1.bin").arg(i), qint64(1) << 40);
        form.QueueFiles(paths);
        QVERIFY(Action(form, "ActionStop")->isEnabled());
        // Hashing is under way once bytes are done.
        QTRY_VERIFY_WITH_TIMEOUT(form.Work().Progress().Counts.DoneBytes > 0, Timeout);
        QVERIFY(form.FileWorkerBusy());
        Action(form, "ActionStop")->trigger();
        QCOMPARE(form.StatusText(), "Stopped: 40 file(s) not hashed");
        QVERIFY(!Action(form, "ActionStop")->isEnabled());
        // Closing is not refused while the files under way wind down.
        QString refusal;
        QTimer::singleShot(0, [&refusal] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                refusal = box->text();
                box->accept();
            }
        });
        QVERIFY(form.close());
        QCOMPARE(refusal, QString());
        // Within the bound only because the files under way ended.
        w.WaitIdle();
        QCOMPARE(form.StatusText(), "Stopped: 40 file(s) not hashed");

        w.Add({w.File("one.txt"), w.File("two.txt")});
        QCOMPARE(w.Names(), (QStringList{"one.txt", "two.txt"}));
        QCOMPARE(w.Text(1, TEntryListModel::DonkeyColumn), AbcMd4);
        QCOMPARE(form.StatusText(), "Ready");
    }

    // A relative path (the command line's) is made absolute as it comes, and
    // no command changes the process's current folder: a refresh after an
    // Add from another folder hashes the file first named there, and the
    // next Add opens where files were last chosen.
    void pathsAreMadeAbsoluteOnce()
    {
        QTemporaryDir first;
        QTemporaryDir second;
        const auto write = [](const QString &path, const QByteArray &content) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        };
        write(first.filePath("x.txt"), "abc");
        write(second.filePath("x.txt"), "other");
        write(second.filePath("y.txt"), "abc");
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(first.path()));
        {
            TWindow w;
            TMainForm &form = *w.Form;
            form.QueueFilePaths({"x.txt"});
            w.WaitIdle();
            QVERIFY(QFileInfo(QString::fromStdString(form.EntryList().EntryAt(0)->Path())).isAbsolute());
            QStringList folders;
            form.FileChooser = [&](QWidget *, const QString &, const QString &folder, const QString &) {
                folders << folder;
                return Urls({second.filePath("y.txt")});
            };
            form.ActionAjouterExecute();
            form.ActionAjouterExecute();
            w.WaitIdle();
            QCOMPARE(folders, (QStringList{first.path(), second.path()}));
            QCOMPARE(QDir::currentPath(), first.path());
            QCOMPARE(w.Names(), (QStringList{"x.txt", "y.txt", "y.txt"}));
            w.Select({0});
            form.ActionRefreshExecute();
            w.WaitIdle();
            QCOMPARE(w.Text(0, TEntryListModel::DonkeyColumn), AbcMd4);
        }
        QDir::setCurrent(before);
    }

    // The window is destroyed while files are hashed without serving the
    // interface thread's events meanwhile: the work ends at its next block.
    void destroyedWithoutServingEvents()
    {
        QTemporaryDir config;
        QTemporaryDir files;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        QFile big(files.filePath("big.bin"));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(1) << 40));
        big.close(); // a file still open for writing is not hashed
        auto form = std::make_unique<TMainForm>();
        form->QueueFiles({big.fileName()});
        QTRY_VERIFY_WITH_TIMEOUT(form->Work().Progress().Counts.DoneBytes > 0, Timeout);
        bool served = false;
        QTimer::singleShot(0, [&served] { served = true; });
        form.reset();
        QVERIFY(!served);
        QTRY_VERIFY(served);
    }

#ifndef _WIN32
    // A name that is not UTF-8 keeps its bytes from Add and from drops (the
    // URLs' percent-encoding): such a file is hashed, and such a folder
    // dropped with DropFolders on is walked.
    void namesThatAreNotUtf8FromAddAndDrops()
    {
        TWindow w;
        TMainForm &form = *w.Form;
        form.show();
        QTemporaryDir dir;
        const QByteArray root = QFile::encodeName(dir.path());
        QVERIFY(!root.contains('%') && !root.contains(' '));
        { std::ofstream(root.toStdString() + "/caf\xE9.txt") << "abc"; }
        QVERIFY(QDir().mkdir(QFile::decodeName(root + "/x")));
        QCOMPARE(::rename((root + "/x").constData(), (root + "/dossier\xE9").constData()), 0);
        { std::ofstream(root.toStdString() + "/dossier\xE9/inside.txt") << "abc"; }
        const QUrl file = QUrl::fromEncoded("file://" + root + "/caf%E9.txt");
        const QUrl folder = QUrl::fromEncoded("file://" + root + "/dossier%E9");

        form.FileChooser = [&](QWidget *, const QString &, const QString &, const QString &) { return QList<QUrl>{file}; };
        form.ActionAjouterExecute();
        w.WaitIdle();
        QWidget *viewport = form.ListView()->IconView()->viewport();
        SendDrop(viewport, {file});
        w.WaitIdle();
        form.Settings().DropFolders = true;
        SendDrop(viewport, {folder});
        w.WaitIdle();
        QCOMPARE(TakeErrors(form), QStringList());
        QCOMPARE(w.Names(), (QStringList{"caf\uFFFD.txt", "caf\uFFFD.txt", "inside.txt"}));
        for (int row = 0; row < 3; ++row)
            QCOMPARE(w.Text(row, TEntryListModel::DonkeyColumn), AbcMd4);
        // Names QTemporaryDir cannot spell.
        ::unlink((root + "/caf\xE9.txt").constData());
        ::unlink((root + "/dossier\xE9/inside.txt").constData());
        ::rmdir((root + "/dossier\xE9").constData());
    }
#endif

    // The status bar while plain files wait: files and bytes of the whole
    // run, the bar over the queue when more than one file waits and over the
    // chunks of the file when one does.
    void progressLineCountsTheWholeRun()
    {
        TWindow w;
        TMainForm &form = *w.Form;
        form.show();
        {
            THeldCores cores(form.CoreTokens());
            form.QueueFiles({w.File("a.txt"), w.File("b.txt", "abcdef")});
            QTRY_VERIFY_WITH_TIMEOUT(form.ProgressText().startsWith("0 of 2 file(s), 0 of 9 B"), Timeout);
            QCOMPARE(form.ProgressBar1()->maximum(), 1000);
            QCOMPARE(form.ProgressBar1()->value(), 0);
        }
        w.WaitIdle();
        QCOMPARE(form.ProgressText(), QString());
        QVERIFY(form.ProgressBar1()->isHidden());
        {
            THeldCores cores(form.CoreTokens());
            form.QueueFiles({w.BigFile("big.bin", 20 * 9728000 + 1)});
            QTRY_VERIFY_WITH_TIMEOUT(form.ProgressText().startsWith("0 of 1 file(s), 0 B of 186 MB"), Timeout);
        }
        // 21 chunks, one file: the bar shows its chunks once it is opened.
        QTRY_COMPARE_WITH_TIMEOUT(form.ProgressBar1()->maximum(), 21, Timeout);
        w.WaitIdle();
        QCOMPARE(form.StatusText(), "Ready");
    }

    // Every selected entry's link, one a line, in list order; Copy ED2k link
    // keeps the topmost one only.
    void copyLinksTakesTheWholeSelection()
    {
        TWindow w;
        TMainForm &form = *w.Form;
        w.Add({w.File("c.txt"), w.File("a.txt"), w.File("b.txt", "abcd")});
        QCOMPARE(w.Names(), (QStringList{"a.txt", "b.txt", "c.txt"}));
        w.Select({2, 0});
        Action(form, "ActionCopyLinks")->trigger();
        const QStringList lines = QApplication::clipboard()->text().split('\n');
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], "ed2k://|file|a - Generated by Brackwell.txt|3|" + AbcMd4 + "|");
        QVERIFY(lines[1].startsWith("ed2k://|file|c - Generated by Brackwell.txt|3|"));
        form.CopyED2klinkClick();
        QCOMPARE(QApplication::clipboard()->text(), lines[0]);
        // All three, b's own hash in the middle.
        Action(form, "ActionSelectAll")->trigger();
        form.CopyED2kLinksClick();
        const QStringList all = QApplication::clipboard()->text().split('\n');
        QCOMPARE(all.size(), 3);
        QVERIFY(all[1].startsWith("ed2k://|file|b - Generated by Brackwell.txt|4|"));
        QVERIFY(!all[1].endsWith(AbcMd4 + "|"));
        // Nothing selected: the clipboard keeps what it held.
        form.ListView()->SelectionModel()->clearSelection();
        QApplication::clipboard()->setText("kept");
        form.CopyED2kLinksClick();
        QCOMPARE(QApplication::clipboard()->text(), "kept");
    }

    void viewStyleIsStoredAndRestored()
    {
        QTemporaryDir config;
        FreshStore(config);
        {
            TMainForm form;
            form.resize(700, 300);
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            Action(form, "ActionReport")->trigger();
            QCOMPARE(form.ListView()->ViewStyle(), 3);
            QCOMPARE(form.ListView()->currentWidget(), form.ListView()->DetailView());
            // Name and Size keep their widths; the hash columns share the rest.
            const QHeaderView *header = form.ListView()->DetailView()->horizontalHeader();
            QCOMPARE(header->sectionSize(0), 250);
            QCOMPARE(header->sectionSize(1), 80);
            const int rest = form.ListView()->DetailView()->viewport()->width() - 330;
            QCOMPARE(header->sectionSize(2), rest - rest / 2);
            QCOMPARE(header->sectionSize(3), rest / 2);
            QCOMPARE(form.EntryList().headerData(2, Qt::Horizontal).toString(), "eDonkey Hash");
        }
        QCOMPARE(Stored(config, "ViewStyle"), "3");
        {
            TMainForm form;
            QCOMPARE(form.ListView()->ViewStyle(), 3);
            QVERIFY(Action(form, "ActionReport")->isChecked());
            QVERIFY(!Action(form, "ActionIcone")->isChecked());
            Action(form, "ActionListe")->trigger();
        }
        QCOMPARE(Stored(config, "ViewStyle"), "2");
    }

    // The window comes back where and as large as it was closed, its Details
    // columns as wide; the first run has the form's size. A window that was
    // never closed (a refused close, a crash) stores nothing.
    void windowPlaceAndColumnsKeptBetweenRuns()
    {
        QTemporaryDir config;
        FreshStore(config);
        const QRect placed(40, 50, 700, 420);
        {
            TMainForm form;
            QCOMPARE(form.size(), QSize(537, 326));
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            form.setGeometry(placed);
            Action(form, "ActionReport")->trigger();
            QHeaderView *header = form.ListView()->DetailView()->horizontalHeader();
            header->resizeSection(TEntryListModel::NameColumn, 320);
            header->resizeSection(TEntryListModel::SizeColumn, 95);
            QVERIFY(form.close());
        }
        {
            TMainForm form;
            QCOMPARE(form.geometry(), placed);
            const QHeaderView *header = form.ListView()->DetailView()->horizontalHeader();
            QCOMPARE(header->sectionSize(TEntryListModel::NameColumn), 320);
            QCOMPARE(header->sectionSize(TEntryListModel::SizeColumn), 95);
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            form.resize(600, 300);
            // Destroyed without a close: the place of the last close stays.
        }
        TMainForm again;
        QCOMPARE(again.geometry(), placed);
    }

    void typeAheadFindsByPrefixWithoutCase()
    {
        TWindow w;
        TMainForm &form = *w.Form;
        w.Add({w.File("Alpha"), w.File("Beta"), w.File("ab2"), w.File("abacus"), w.File("zed")});
        const TEntryListModel &list = form.EntryList();
        QCOMPARE(w.Names(), (QStringList{"Alpha", "Beta", "ab2", "abacus", "zed"}));
        QCOMPARE(list.ListViewDataFind("AB", 0, false), std::optional<int>(2));
        QCOMPARE(list.ListViewDataFind("aba", 0, false), std::optional<int>(3));
        QCOMPARE(list.ListViewDataFind("al", 1, false), std::nullopt);
        QCOMPARE(list.ListViewDataFind("al", 1, true), std::optional<int>(0));
        QCOMPARE(list.ListViewDataFind("ZE", 4, false), std::optional<int>(4));
        QCOMPARE(list.ListViewDataFind("ab", 4, true), std::optional<int>(2));
        QCOMPARE(list.ListViewDataFind("q", 0, true), std::nullopt);
        QCOMPARE(list.ListViewDataFind("", 0, true), std::nullopt);

        // Typed into the list, the letters select the matching row.
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QWidget *view = form.ListView()->CurrentView();
        view->setFocus();
        QTest::keyClicks(view, "be");
        QCOMPARE(form.ListView()->FirstSelectedRow(), 1);
        QTest::qWait(QApplication::keyboardInputInterval() + 50);
        QTest::keyClicks(view, "ABA");
        QCOMPARE(form.ListView()->FirstSelectedRow(), 3);
        // Enter opens the current row's details, whatever Open's state.
        QSignalSpy open(form.ListView(), &TListView::OpenRequested);
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(open.count(), 1);
    }

    // Home and End reach the first and last entry in every style, the details
    // table included, and select it; Shift+End selects down to the last.
    void homeAndEndReachTheFirstAndLastEntry()
    {
        TWindow w;
        TMainForm &form = *w.Form;
        w.Add({w.File("a"), w.File("b"), w.File("c"), w.File("d")});
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        for (const int style : {TListView::vsIcon, TListView::vsList, TListView::vsReport}) {
            form.ListView()->SetViewStyle(style);
            QWidget *view = form.ListView()->CurrentView();
            view->setFocus();
            form.ListView()->SelectOnly(1);
            QTest::keyClick(view, Qt::Key_End);
            QCOMPARE(form.ListView()->SelectedRows(), std::vector<int>{3});
            QTest::keyClick(view, Qt::Key_Home);
            QCOMPARE(form.ListView()->SelectedRows(), std::vector<int>{0});
            QTest::keyClick(view, Qt::Key_End, Qt::ShiftModifier);
            QCOMPARE(form.ListView()->SelectedRows(), (std::vector<int>{0, 1, 2, 3}));
        }
    }

    void listKeepsOrderThroughInsertionsAndRemovals()
    {
        TEntryListModel list;
        QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
        // Entries of paths that do not exist: listed as failed opens, no hashing.
        QList<int> numbers;
        for (int i = 0; i < 100; ++i)
            numbers << (i * 37) % 100;
        for (int n : numbers)
            list.AddFinishedEntry(std::make_unique<TDonkeyFile>(
                "/nonexistent/" + QStringLiteral("f%1").arg(n, 3, 10, QChar('0')).toStdString(), hsAll));
        const auto name = [&](int row) { return list.index(row, 0).data().toString(); };
        for (int row = 0; row < 100; ++row)
            QCOMPARE(name(row), QStringLiteral("f%1").arg(row, 3, 10, QChar('0')));

        // Fifty scattered rows, then a few: the two ways rows leave the list.
        std::vector<int> even;
        for (int row = 0; row < 100; row += 2)
            even.push_back(row);
        QSignalSpy reset(&list, &QAbstractItemModel::modelReset);
        const auto takenEven = list.TakeRows(even);
        QCOMPARE(reset.count(), 1);
        QCOMPARE(list.rowCount(), 50);
        QCOMPARE(takenEven.front()->DisplayName(), "f000");
        QCOMPARE(takenEven.back()->DisplayName(), "f098");
        QCOMPARE(name(0), "f001");
        QCOMPARE(name(49), "f099");

        QSignalSpy removed(&list, &QAbstractItemModel::rowsRemoved);
        const auto taken = list.TakeRows({2, 3, 7});
        QCOMPARE(removed.count(), 2);
        QCOMPARE(reset.count(), 1);
        QCOMPARE(taken[0]->DisplayName(), "f005");
        QCOMPARE(taken[1]->DisplayName(), "f007");
        QCOMPARE(taken[2]->DisplayName(), "f015");
        QCOMPARE(name(2), "f009");
        QCOMPARE(list.rowCount(), 47);
        QVERIFY(!list.index(47, 0).data().isValid());
    }

    // Entries that go to a few places are inserted there, one insertion of
    // rows for each place; entries that go all over the list are appended and
    // merged in one change of the layout. Either way the list is in order, an
    // entry goes after those listed under its name, and the selection stays
    // on its entries.
    void listTakesEntriesInSlices()
    {
        TEntryListModel list;
        QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QItemSelectionModel selection(&list);
        const auto batch = [](const QStringList &names, const QString &tag) {
            std::vector<std::unique_ptr<TDonkeyFile>> entries;
            for (const QString &name : names)
                entries.push_back(std::make_unique<TDonkeyFile>(("/nonexistent/" + tag + "/" + name).toStdString(), hsAll));
            return entries;
        };
        const auto names = [&] {
            QStringList shown;
            for (int row = 0; row < list.rowCount(); ++row)
                shown << list.index(row, 0).data().toString();
            return shown;
        };
        QStringList first;
        for (int i = 0; i < 20; ++i)
            first << QStringLiteral("f%1").arg(i, 2, 10, QChar('0'));
        list.AddFinishedEntries(batch(first, "1"));
        QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
        QSignalSpy relaid(&list, &QAbstractItemModel::layoutChanged);
        list.AddFinishedEntries(batch({"z", "f05x", "a", "f05"}, "2"));
        QCOMPARE(inserted.count(), 3); // a | f05 f05x | z
        QCOMPARE(relaid.count(), 0);
        QCOMPARE(names().mid(5, 4), (QStringList{"f04", "f05", "f05", "f05x"}));
        QCOMPARE(list.EntryAt(7)->Path(), std::string("/nonexistent/2/f05"));

        selection.select(list.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selection.select(list.index(23, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QStringList many;
        for (const QString &name : first)
            many << name + "y" << name;
        inserted.clear();
        list.AddFinishedEntries(batch(many, "3"));
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(relaid.count(), 1);
        QStringList sorted = names();
        sorted.sort();
        QCOMPARE(names(), sorted);
        QCOMPARE(list.rowCount(), 24 + 40);
        QStringList chosen;
        for (const QModelIndex &index : selection.selectedRows())
            chosen << QString::fromStdString(list.EntryAt(index.row())->Path());
        chosen.sort();
        QCOMPARE(chosen, (QStringList{"/nonexistent/1/f00", "/nonexistent/2/z"}));
        const int f03 = static_cast<int>(names().indexOf("f03"));
        QCOMPARE(list.EntryAt(f03)->Path(), std::string("/nonexistent/1/f03"));
        QCOMPARE(list.EntryAt(f03 + 1)->Path(), std::string("/nonexistent/3/f03"));
        QCOMPARE(list.EntryAt(f03 + 2)->Path(), std::string("/nonexistent/3/f03y"));
    }

    // A refresh may rename a listed descriptor's entry, which keeps its row;
    // the entries listed after it still go where their names sort among the
    // others, as the binary search needs.
    void listStaysSortedAfterARefreshRenames()
    {
        QTemporaryDir dir;
        const auto descriptor = [&](const QString &file, const std::string &recorded) {
            const std::string bytes = partmet::TBuilder().Add(partmet::Text(0x01, recorded)).Bytes();
            QFile out(dir.filePath(file));
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(QByteArray::fromStdString(bytes)) > 0);
        };
        TEntryListModel list;
        for (const char *name : {"c", "m", "x"}) {
            descriptor(QString::fromLatin1(name) + ".part.met", name);
            auto entry = std::make_unique<TPartFile>(dir.filePath(QString::fromLatin1(name) + ".part.met").toStdString());
            entry->HashFile();
            list.AddFinishedEntry(std::move(entry));
        }
        descriptor("m.part.met", "a");
        list.EntryAt(1)->HashFile();
        QCOMPARE(list.EntryAt(1)->DisplayName(), "a");
        for (const char *name : {"b", "d", "n", "y"})
            list.AddFinishedEntry(std::make_unique<TDonkeyFile>(std::string("/nonexistent/") + name, hsAll));
        QStringList others;
        for (int row = 0; row < list.rowCount(); ++row) {
            if (list.EntryAt(row)->DisplayName() != "a")
                others << QString::fromStdString(list.EntryAt(row)->DisplayName());
        }
        QCOMPARE(others, QStringList({"b", "c", "d", "n", "x", "y"}));
    }

    void dispatcherRunsStepsOnTheInterfaceThread()
    {
        TQtDispatcher dispatcher;
        bool ran = false;
        dispatcher.Synchronize([&] { ran = true; });
        QVERIFY(ran);

        // From a worker: the step runs on this thread, its exception goes back.
        std::atomic<bool> onInterface = false;
        std::atomic<bool> carried = false;
        std::atomic<bool> done = false;
        std::thread worker([&] {
            dispatcher.Synchronize([&] { onInterface = QThread::currentThread() == qApp->thread(); });
            try {
                dispatcher.Synchronize([] { throw std::runtime_error("step failed"); });
            } catch (const std::runtime_error &e) {
                carried = QString(e.what()) == "step failed";
            }
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), Timeout);
        worker.join();
        QVERIFY(onInterface);
        QVERIFY(carried);

        // Posted steps queue even on the interface thread; a failure is reported.
        QSignalSpy failed(&dispatcher, &TQtDispatcher::StepFailed);
        bool posted = false;
        dispatcher.Post([&] { posted = true; });
        dispatcher.Post([] { throw std::runtime_error("late failure"); });
        QVERIFY(!posted);
        QTRY_COMPARE(failed.count(), 1);
        QVERIFY(posted);
        QCOMPARE(failed.at(0).at(0).toString(), "late failure");
    }
};

QTEST_MAIN(MainFormTest)
#include "mainform_test.moc"

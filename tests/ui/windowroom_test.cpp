// The main window's room: a stored place larger than the screen, the status
// bar's panels at the window's first size, and widths edited by hand in the
// store, read and kept.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "elidedlabel.h"
#include "entrylist.h"
#include "listview.h"
#include "main.h"
#include "progressline.h"

namespace {

// A settings store of its own for one test, holding text.
class TStore final
{
public:
    explicit TStore(const QByteArray &text = {})
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        if (text.isEmpty())
            return;
        QDir().mkpath(m_dir.path() + "/Brackwell");
        QFile file(File());
        if (file.open(QIODevice::WriteOnly))
            file.write(text);
    }
    QString File() const { return m_dir.path() + "/Brackwell/Brackwell.conf"; }

private:
    QTemporaryDir m_dir;
};

TElidedLabel *Panel(const TMainForm &form, const char *name)
{
    auto *panel = form.StatusBar1()->findChild<TElidedLabel *>(QString::fromLatin1(name));
    if (!panel)
        qFatal("no panel %s", name);
    return panel;
}

} // namespace

class WindowRoomTest final : public QObject
{
    Q_OBJECT

private slots:
    // A place stored by a far larger screen, or by hand, comes back as large as
    // this screen allows and wholly on it, and is stored so at the next close.
    void oversizedPlaceFitsTheScreen()
    {
        QWidget probe;
        probe.setGeometry(-500, 40, 30000, 30000);
        const TStore store("[Config]\nWindowGeometry=" + probe.saveGeometry().toBase64() + "\n");
        const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
        QRect closed;
        {
            TMainForm form;
            const QSize fitted = form.size();
            QVERIFY2(fitted.width() <= room.width() && fitted.height() <= room.height()
                         && fitted.width() > room.width() * 3 / 4 && fitted.height() > room.height() * 3 / 4,
                     qPrintable(QStringLiteral("%1x%2").arg(fitted.width()).arg(fitted.height())));
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            // The title bar's corner and the menus on the screen.
            QVERIFY(room.contains(form.frameGeometry().topLeft()));
            QVERIFY(room.contains(form.menuBar()->mapToGlobal(QPoint(0, 0))));
            closed = form.geometry();
            QVERIFY(form.close());
        }
        const TMainForm again;
        QCOMPARE(again.size(), closed.size());
        QVERIFY(room.contains(again.geometry()));
    }

    // At the window's first size the status bar shows how far the run has
    // come, files and bytes, and the status text takes no more than it needs.
    void progressLineFitsTheFirstSize()
    {
        const TStore store;
        TMainForm form;
        QCOMPARE(form.size(), QSize(537, 326));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const std::int64_t mib = 1024 * 1024;
        TProgressLine progress;
        progress.Sample(0, 0);
        progress.Sample(1000, 464 * mib);
        TElidedLabel *status = Panel(form, "StatusPanel0");
        TElidedLabel *line = Panel(form, "StatusPanel2");
        status->setText(TMainForm::tr("%n file(s) left", nullptr, 38));
        line->setText(progress.Text({.DoneFiles = 3, .AllFiles = 41, .DoneBytes = 40 * mib, .AllBytes = 480 * mib}));
        QTRY_VERIFY(!status->Elided());
        const QString shown = line->Shown(line->contentsRect().width());
        QVERIFY2(shown.contains("3 of 41 file(s)") && shown.contains("40.0 of 480 MB"), qPrintable(shown));
        QVERIFY2(status->width() <= status->sizeHint().width() + 8, qPrintable(QString::number(status->width())));
        // A longer status text takes the room it needs from the line.
        status->setText(TMainForm::tr("Reading the folder: %n file(s) left", nullptr, 3800));
        QTRY_VERIFY(!status->Elided());
        // The bar's panel stays where the progress bar is.
        QWidget *bar = form.StatusBar1()->findChild<QWidget *>("StatusPanel1");
        QVERIFY(bar->rect().contains(form.ProgressBar1()->geometry()));
    }

    // Widths edited by hand without quotes read as the list they are, and
    // are written back as the program writes them.
    void handEditedColumnWidthsKept()
    {
        const TStore store("[Config]\nViewStyle=3\nColumnWidths=320, 95\n");
        {
            TMainForm form;
            const QHeaderView *header = form.ListView()->DetailView()->horizontalHeader();
            QCOMPARE(header->sectionSize(TEntryListModel::NameColumn), 320);
            QCOMPARE(header->sectionSize(TEntryListModel::SizeColumn), 95);
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            QVERIFY(form.close());
        }
        QFile file(store.File());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(file.readAll().contains("ColumnWidths=\"320,95\"\n"), qPrintable(store.File()));
    }
};

QTEST_MAIN(WindowRoomTest)
#include "windowroom_test.moc"

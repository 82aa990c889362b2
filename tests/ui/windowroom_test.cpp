// The main window's room: a stored place larger than the screen, and widths
// edited by hand in the store, read and kept.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "entrylist.h"
#include "listview.h"
#include "main.h"

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

// The main window's room: a stored place larger than the screen, and the
// status bar's panels at the window's first size. (Widths edited by hand in
// the store: settings_test.)
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#ifdef _WIN32
#include "input/registry.h"
#endif

#include "elidedlabel.h"
#include "main.h"
#include "progressline.h"

namespace {

// A settings store of its own for one test, holding the window's place
// (base64) when one is given. Windows keeps the store in the user's registry
// key, which the test empties first.
struct TStore
{
    explicit TStore(const QByteArray &geometry = {})
    {
#ifdef _WIN32
        const std::wstring root = L"Software\\Brackwell";
        DeleteRegistryKey(TRegistryRoot::CurrentUser, root);
        if (!geometry.isEmpty()
            && !SetRegistryText(TRegistryRoot::CurrentUser, root + L"\\Config", L"WindowGeometry", geometry.toStdString()))
            qFatal("no registry store");
#else
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, Dir.path());
        QDir().mkpath(Dir.path() + "/Brackwell");
        QFile file(Dir.path() + "/Brackwell/Brackwell.conf");
        if (file.open(QIODevice::WriteOnly) && !geometry.isEmpty())
            file.write("[Config]\nWindowGeometry=" + geometry + "\n");
#endif
    }
    QTemporaryDir Dir;
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
        const TStore store(probe.saveGeometry().toBase64());
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
    }
};

QTEST_MAIN(WindowRoomTest)
#include "windowroom_test.moc"

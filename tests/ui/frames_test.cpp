// What the windows tell the desktop, read back from the X server as a window
// manager reads it: the program's caption, each dialog's own caption, and the
// dialogs' title-bar buttons (the Motif hints). Runs on an X display (ctest
// starts one with xvfb-run); skipped without one.
#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "about.h"
#include "checklinks.h"
#include "detail.h"
#include "exportlink.h"
#include "main.h"
#include "option.h"
#include "startup.h"

namespace {

// The Motif hints' flags and bits (Motif's MwmUtil.h).
constexpr unsigned HintFunctions = 1, HintDecorations = 2;
constexpr unsigned FunctionMinimize = 8, FunctionMaximize = 16, FunctionClose = 32;
constexpr unsigned DecorationMinimize = 32, DecorationMaximize = 64;

QString Run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// A property of an X window as xprop prints it, after the "=".
QString Property(WId window, const char *name)
{
    const QString line = Run(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window), QString::fromLatin1(name)});
    const qsizetype at = line.indexOf(QLatin1String(" = "));
    return at < 0 ? QString() : line.mid(at + 3).trimmed();
}

// _NET_WM_NAME, the caption a window manager shows.
QString Caption(WId window)
{
    QString quoted = Property(window, "_NET_WM_NAME");
    return quoted.size() >= 2 ? quoted.mid(1, quoted.size() - 2) : quoted;
}

// The program-specified minimum and maximum sizes of WM_NORMAL_HINTS, as
// "W by H"; empty when not given.
std::pair<QString, QString> SizeLimits(WId window)
{
    const QString hints = Run(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window),
                                                        QStringLiteral("WM_NORMAL_HINTS")});
    const auto limit = [&hints](const char *which) {
        const QRegularExpression line(QStringLiteral("program specified %1 size: (\\d+ by \\d+)").arg(QLatin1String(which)));
        return line.match(hints).captured(1);
    };
    return {limit("minimum"), limit("maximum")};
}

QList<unsigned> MotifHints(WId window)
{
    QList<unsigned> hints;
    for (const QString &field : Property(window, "_MOTIF_WM_HINTS").split(QLatin1Char(','), Qt::SkipEmptyParts))
        hints << field.trimmed().toUInt(nullptr, 0);
    return hints;
}

} // namespace

class FramesTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X display (QT_QPA_PLATFORM=xcb)");
        if (QStandardPaths::findExecutable(QStringLiteral("xprop")).isEmpty())
            QSKIP("needs xprop (x11-utils)");
        NameApplication();
        QVERIFY(m_config.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
    }

    // The program itself, started as a user starts it: its title bar reads
    // its name and version and nothing more.
    void programCaption()
    {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        environment.insert(QStringLiteral("LANGUAGE"), QStringLiteral("en"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(BRACKWELL_PROGRAM), {});
        QVERIFY(program.waitForStarted());
        // Its windows by their class; the one whose caption starts with the name.
        const QRegularExpression line(QStringLiteral("^\\s*(0x[0-9a-f]+) .*\\(\"brackwell\" \"[^\"]*\"\\)"));
        QStringList captions;
        for (int tries = 0; tries < 100 && captions.isEmpty(); ++tries) {
            QTest::qWait(100);
            const QStringList tree = Run(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")})
                                         .split(QLatin1Char('\n'));
            for (const QString &text : tree) {
                const QRegularExpressionMatch match = line.match(text);
                if (!match.hasMatch())
                    continue;
                const QString caption = Caption(match.captured(1).toULongLong(nullptr, 16));
                if (caption.startsWith(QLatin1String("Brackwell ")))
                    captions << caption;
            }
        }
        program.terminate();
        program.waitForFinished(10000);
        QCOMPARE(captions, QStringList{QStringLiteral("Brackwell " BRACKWELL_VERSION_MAJOR_MINOR)});
    }

    // Each dialog its own caption; About, Options, Export Options and the
    // details a close box only (the check's results, a list that may be made
    // as large as the screen, keep the usual buttons). The first three have a
    // fixed size, so that even a window manager that draws its buttons
    // whatever the hints say has nothing to maximise.
    void dialogCaptionsAndButtons()
    {
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(Caption(form.winId()), QStringLiteral("Brackwell 1.2"));
        const struct
        {
            QDialog *dialog;
            QString caption;
            bool closeBoxOnly;
            bool fixedSize;
        } dialogs[] = {
            {form.AboutForm(), QStringLiteral("About Brackwell"), true, true},
            {form.OptionForm(), QStringLiteral("Options"), true, true},
            {form.ExportForm(), QStringLiteral("Export Options"), true, true},
            {form.DetailForm(), QString(), true, false},
            {form.CheckLinksForm(), QStringLiteral("Check against links"), false, false},
        };
        for (const auto &[dialog, caption, closeBoxOnly, fixedSize] : dialogs) {
            const QByteArray name = dialog->objectName().toLatin1();
            dialog->show();
            QVERIFY2(QTest::qWaitForWindowExposed(dialog), name.constData());
            if (!caption.isEmpty())
                QCOMPARE(Caption(dialog->winId()), caption);
            if (fixedSize) {
                const auto [minimum, maximum] = SizeLimits(dialog->winId());
                QVERIFY2(!minimum.isEmpty() && minimum == maximum, name.constData());
            }
            if (!closeBoxOnly) {
                dialog->hide();
                continue;
            }
            const QList<unsigned> hints = MotifHints(dialog->winId());
            QVERIFY2(hints.size() >= 3, name.constData());
            QVERIFY2(hints[0] & HintFunctions, name.constData());
            QVERIFY2(!(hints[1] & (FunctionMinimize | FunctionMaximize)), name.constData());
            QVERIFY2(hints[1] & FunctionClose, name.constData());
            if (hints[0] & HintDecorations)
                QVERIFY2(!(hints[2] & (DecorationMinimize | DecorationMaximize)), name.constData());
            dialog->hide();
        }
    }

private:
    QTemporaryDir m_config;
};

QTEST_MAIN(FramesTest)
#include "frames_test.moc"

// brackwell: the desktop program.
#include <QApplication>

#include "main.h"
#include "startup.h"

#ifdef BRACKWELL_STATIC_QT
// A static Qt loads no plugins from disk: the Windows platform and the style
// of current Windows are linked into the program.
#include <QtPlugin>
Q_IMPORT_PLUGIN(QWindowsIntegrationPlugin)
Q_IMPORT_PLUGIN(QWindowsVistaStylePlugin)
#endif

int main(int argc, char **argv)
{
    ShareFewHeaps();
    QApplication application(argc, argv);
    NameApplication();
    InstallTranslations(QLocale(), TranslationFolders());

    TMainForm mainForm;
    mainForm.show();
    // Only the first argument is a path to hash; the rest are ignored. The
    // core takes paths as UTF-8 on Windows, from the wide command line (argv
    // is in the ANSI code page there), and as their own bytes elsewhere.
#ifdef _WIN32
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1 && !arguments[1].isEmpty())
        mainForm.QueueFilePaths({arguments[1].toUtf8().toStdString()});
#else
    if (argc > 1 && argv[1][0] != '\0')
        mainForm.QueueFilePaths({argv[1]});
#endif
    return application.exec();
}

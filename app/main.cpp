// brackwell: the desktop program.
#include <QApplication>

#include "main.h"
#include "startup.h"

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    NameApplication();
    InstallTranslations(QLocale(), TranslationFolders());

    TMainForm mainForm;
    mainForm.show();
    // Only the first argument is a path to hash; the rest are ignored. Its
    // bytes go to the core as they are, whatever their encoding.
    if (argc > 1 && argv[1][0] != '\0')
        mainForm.QueueFilePaths({argv[1]});
    return application.exec();
}

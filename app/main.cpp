// brackwell: the desktop program.
#include <QApplication>
#include <QFile>

#include "main.h"

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brackwell"));
    QApplication::setApplicationDisplayName(QStringLiteral("Brackwell"));

    TMainForm mainForm;
    mainForm.show();
    // Only the first argument is a path to hash; the rest are ignored.
    if (argc > 1 && argv[1][0] != '\0')
        mainForm.QueueFiles({QFile::decodeName(argv[1])});
    return application.exec();
}

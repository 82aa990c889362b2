#pragma once

#include <QIcon>
#include <QString>

// The program's pictures: the rows' images (0 a file, 1 a descriptor) at 16
// and 32 pixels, and the commands' images at 16.
class TDataModule1 final
{
public:
    TDataModule1();

    const QIcon &FileImage() const { return m_fileImage; }
    const QIcon &PartFileImage() const { return m_partFileImage; }
    const QIcon &AppImage() const { return m_appImage; }
    // The image of a command, by the name of its picture ("add", "delete"...).
    static QIcon CommandImage(const QString &name);

private:
    QIcon m_fileImage;
    QIcon m_partFileImage;
    QIcon m_appImage;
};

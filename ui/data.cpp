#include "data.h"

// The pictures are compiled into this static library; register them before use.
static void InitImages()
{
    Q_INIT_RESOURCE(brackwell);
}

namespace {

// One icon drawn twice, for 16 and for 32 pixels.
QIcon SizedIcon(const QString &name)
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/") + name + QStringLiteral("16.svg"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/") + name + QStringLiteral("32.svg"), QSize(32, 32));
    return icon;
}

} // namespace

TDataModule1::TDataModule1()
    : m_fileImage((InitImages(), SizedIcon(QStringLiteral("file"))))
    , m_partFileImage(SizedIcon(QStringLiteral("part")))
    , m_appImage(QStringLiteral(":/icons/app.svg"))
{
}

QIcon TDataModule1::CommandImage(const QString &name)
{
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(name));
}

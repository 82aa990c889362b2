#include "FileDrop.h"

#include <QAbstractScrollArea>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace {

bool HasLocalFiles(const QMimeData *mime)
{
    if (!mime || !mime->hasUrls())
        return false;
    for (const QUrl &url : mime->urls()) {
        if (url.isLocalFile())
            return true;
    }
    return false;
}

} // namespace

TFileDrop::TFileDrop(QObject *owner)
    : QObject(owner)
{
}

TFileDrop::~TFileDrop()
{
    SetEnableDrop(false);
    Unhook();
}

void TFileDrop::SetEnableDrop(bool enable)
{
    if (!m_control)
        return;
    m_enableDrop = enable;
    ApplyAcceptance();
}

void TFileDrop::SetDropControl(QWidget *control)
{
    if (control == m_control)
        return;
    if (m_control) {
        SetEnableDrop(false);
        Unhook();
    }
    m_control = control;
    if (!m_control) {
        m_enableDrop = false;
        return;
    }
    Hook();
    SetEnableDrop(true);
}

void TFileDrop::Hook()
{
    // Item views take drops on their viewports, not on themselves.
    m_hooked.emplace_back(m_control.data());
    for (QAbstractScrollArea *area : m_control->findChildren<QAbstractScrollArea *>())
        m_hooked.emplace_back(area->viewport());
    if (auto *area = qobject_cast<QAbstractScrollArea *>(m_control.data()))
        m_hooked.emplace_back(area->viewport());
    for (const QPointer<QWidget> &widget : m_hooked)
        widget->installEventFilter(this);
}

void TFileDrop::Unhook()
{
    for (const QPointer<QWidget> &widget : m_hooked) {
        if (widget)
            widget->removeEventFilter(this);
    }
    m_hooked.clear();
}

void TFileDrop::ApplyAcceptance()
{
    for (const QPointer<QWidget> &widget : m_hooked) {
        if (widget)
            widget->setAcceptDrops(m_enableDrop);
    }
}

void TFileDrop::Drop(const QList<QUrl> &urls)
{
    m_files.clear();
    m_urls.clear();
    for (const QUrl &url : urls) {
        if (url.isLocalFile()) {
            m_files.append(url.toLocalFile());
            m_urls.append(url);
        }
    }
    m_fileCount = static_cast<int>(m_files.size());
    emit OnDrop(this);
}

bool TFileDrop::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (m_enableDrop && HasLocalFiles(drag->mimeData())) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        if (!m_enableDrop || !HasLocalFiles(drop->mimeData())) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        Drop(drop->mimeData()->urls());
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

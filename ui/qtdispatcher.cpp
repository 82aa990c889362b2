#include "qtdispatcher.h"

#include <QMetaObject>
#include <QThread>

#include <algorithm>
#include <exception>
#include <stdexcept>

namespace {

QString MessageOf(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return TQtDispatcher::tr("unknown exception");
    }
}

} // namespace

TQtDispatcher::TQtDispatcher(QObject *parent)
    : QObject(parent)
{
}

void TQtDispatcher::Synchronize(std::function<void()> step)
{
    // A blocking call from the interface thread to itself would never return.
    if (QThread::currentThread() == thread()) {
        step();
        return;
    }
    std::exception_ptr error;
    bool ran = false;
    const bool queued = QMetaObject::invokeMethod(
        this,
        [&] {
            ran = true;
            try {
                step();
            } catch (...) {
                error = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (error)
        std::rethrow_exception(error);
    // The loop went away with the call unrun: the step did not happen.
    if (!queued || !ran)
        throw std::runtime_error("the interface thread is gone");
}

void TQtDispatcher::Post(std::function<void()> step)
{
    // Dropped unrun with the dispatcher, the step is destroyed all the same.
    QMetaObject::invokeMethod(
        this,
        [this, step = std::move(step)] {
            try {
                step();
            } catch (...) {
                emit StepFailed(MessageOf(std::current_exception()));
            }
        },
        Qt::QueuedConnection);
}

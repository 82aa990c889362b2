#pragma once

#include <QObject>
#include <QString>

#include <functional>

#include "runs/thread.h"

// The interface thread's event loop for the workers. Synchronize runs a step
// at once on the interface thread and otherwise waits until the loop has run
// it; Post always queues. A step never throws into the event loop: what a
// posted step throws is carried to StepFailed.
class TQtDispatcher final : public QObject, public TDispatcher
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TQtDispatcher)

public:
    explicit TQtDispatcher(QObject *parent = nullptr);

    void Synchronize(std::function<void()> step) override;
    void Post(std::function<void()> step) override;

signals:
    // A posted step failed with this message.
    void StepFailed(const QString &message);
};

#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

#include "runs/thread.h"

class QProgressBar;

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

// A QProgressBar as the workers' progress target, with a hook run after each step.
class TProgressBarTarget final : public TProgressTarget
{
public:
    explicit TProgressBarTarget(QProgressBar *bar);

    void SetRange(int minimum, int maximum) override;
    void SetStep(int step) override;
    void SetPosition(int position) override;
    void SetVisible(bool visible) override;
    void StepIt() override;

    std::function<void()> OnStep;

private:
    QPointer<QProgressBar> m_bar;
    int m_step = 1;
};

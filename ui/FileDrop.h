#pragma once

#include <QObject>
#include <QPointer>
#include <QList>
#include <QStringList>
#include <QUrl>

#include <vector>

class QWidget;

// Makes a control accept files dropped from a file manager and hands their
// paths over in one notification. Hooking installs an event filter on the
// control (and on the viewports of the item views inside it), unhooking
// removes it; accepting drops is the control's acceptDrops.
class TFileDrop final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFileDrop)

public:
    explicit TFileDrop(QObject *owner = nullptr);
    ~TFileDrop() override;

    // The paths of the last drop, in the order the file manager gave them, as
    // text, and as the file URLs they came as (which keep the bytes of a name
    // that is not UTF-8).
    const QStringList &Files() const { return m_files; }
    const QList<QUrl> &Urls() const { return m_urls; }
    int FileCount() const { return m_fileCount; }

    bool EnableDrop() const { return m_enableDrop; }
    // Ignored while no control is set.
    void SetEnableDrop(bool enable);

    QWidget *DropControl() const { return m_control; }
    // Hooks control (unhooking the previous one) and switches drops on; none
    // switches them off and unhooks.
    void SetDropControl(QWidget *control);

    // Takes a drop's URLs as a drop on the control: local files in their order;
    // other URLs are ignored.
    void Drop(const QList<QUrl> &urls);

signals:
    // Raised after each drop, once Files and FileCount hold its paths.
    void OnDrop(TFileDrop *sender);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Hook();
    void Unhook();
    void ApplyAcceptance();

    QStringList m_files;
    QList<QUrl> m_urls;
    int m_fileCount = 0;
    bool m_enableDrop = false;
    QPointer<QWidget> m_control;
    // The widgets the filter is installed on while hooked.
    std::vector<QPointer<QWidget>> m_hooked;
};

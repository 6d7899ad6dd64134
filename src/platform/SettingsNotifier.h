#pragma once

#include <QObject>

// The process-wide announcement that a preference changed. Writers call post() after storing;
// observers connect to appSettingsChanged(). Delivery is synchronous: every slot has run when
// post() returns. Main thread only.
class SettingsNotifier : public QObject
{
    Q_OBJECT

public:
    static SettingsNotifier& instance();
    static void post();

signals:
    void appSettingsChanged();

private:
    SettingsNotifier() = default;
};

#include "SettingsNotifier.h"

SettingsNotifier& SettingsNotifier::instance()
{
    static SettingsNotifier notifier;
    return notifier;
}

void SettingsNotifier::post()
{
    emit instance().appSettingsChanged();
}

// The preferences file (INI, written by vistrel and by anyone with an editor): every reader the
// viewer has, the markup tool settings included.

#include "AppSettings.h"
#include "FuzzInput.h"
#include "MarkupToolDefaultsStore.h"
#include "UserDefaults.h"

#include <QStringList>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzInput::ensureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = FuzzInput::writeFile("settings.conf", data, size);
    UserDefaults defaults(path);
    AppSettings::isZoomScrollInverted(defaults);
    AppSettings::isMiniNavigatorEnabled(defaults);
    AppSettings::isPreserveViewBetweenImagesEnabled(defaults);
    AppSettings::isEditToolbarDocked(defaults);
    AppSettings::isSmoothZoomEnabled(defaults);
    AppSettings::smoothZoomFactor(defaults);
    AppSettings::overlayHideDelaySeconds(defaults);
    AppSettings::editToolbarPlacement(defaults);
    // Read in every form, as the readers of the launch policy and the folder access do.
    for (const QString& key :
         {QStringLiteral("allowMultipleInstances"), QStringLiteral("folderAccessBookmark")}) {
        defaults.boolValue(key);
        defaults.integerValue(key);
        defaults.numberValue(key);
        defaults.stringValue(key);
        defaults.dataValue(key);
    }
    MarkupToolDefaultsStore(defaults, QStringLiteral("markup.defaults")).load();
    return 0;
}

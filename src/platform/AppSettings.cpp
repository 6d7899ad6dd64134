#include "AppSettings.h"

#include "SettingsNotifier.h"

#include <cmath>

namespace {

const QString invertZoomScrollKey = QStringLiteral("invertZoomScroll");
const QString showMiniNavigatorKey = QStringLiteral("showMiniNavigator");
const QString preserveViewKey = QStringLiteral("preserveViewBetweenImages");
const QString dockEditToolbarKey = QStringLiteral("dockEditToolbar");
const QString smoothZoomKey = QStringLiteral("smoothZoom");
const QString smoothZoomFactorKey = QStringLiteral("smoothZoomFactor");
const QString overlayHideDelayKey = QStringLiteral("overlayHideDelaySeconds");
const QString editToolbarPlacementKey = QStringLiteral("editToolbarPlacement");

struct SteppedRange
{
    double minimum;
    double maximum;
    double step;
};

constexpr SteppedRange smoothZoomFactorRange{0.05, 1.5, 0.05};
constexpr SteppedRange overlayHideDelayRange{0.02, 2.0, 0.01};

// Larger than the maximum becomes the maximum; anything not at least the minimum, NaN
// included, becomes the minimum.
double clamped(double value, const SteppedRange& range)
{
    if (value > range.maximum) {
        return range.maximum;
    }
    if (!(value >= range.minimum)) {
        return range.minimum;
    }
    return value;
}

// Clamp, round to a whole number of steps (halves away from zero), clamp again. The result is
// step count times step in double precision, so 0.6 reads back as 12 * 0.05.
double normalized(double value, const SteppedRange& range)
{
    const double steps = std::round(clamped(value, range) / range.step);
    return clamped(steps * range.step, range);
}

double readStepped(const UserDefaults& defaults, const QString& key, double fallback,
                   const SteppedRange& range)
{
    const double stored =
        defaults.hasObject(key) ? clamped(defaults.doubleValue(key), range) : fallback;
    return normalized(stored, range);
}

void writeStepped(UserDefaults& defaults, const QString& key, double value,
                  const SteppedRange& range)
{
    defaults.setDouble(key, normalized(value, range));
    SettingsNotifier::post();
}

bool readBool(const UserDefaults& defaults, const QString& key, bool fallback)
{
    return defaults.hasObject(key) ? defaults.boolValue(key) : fallback;
}

void writeBool(UserDefaults& defaults, const QString& key, bool value)
{
    defaults.setBool(key, value);
    SettingsNotifier::post();
}

} // namespace

namespace AppSettings {

bool isZoomScrollInverted(const UserDefaults& defaults)
{
    return defaults.boolValue(invertZoomScrollKey);
}

void setZoomScrollInverted(bool inverted, UserDefaults& defaults)
{
    writeBool(defaults, invertZoomScrollKey, inverted);
}

bool isMiniNavigatorEnabled(const UserDefaults& defaults)
{
    return readBool(defaults, showMiniNavigatorKey, true);
}

void setMiniNavigatorEnabled(bool enabled, UserDefaults& defaults)
{
    writeBool(defaults, showMiniNavigatorKey, enabled);
}

bool isPreserveViewBetweenImagesEnabled(const UserDefaults& defaults)
{
    return readBool(defaults, preserveViewKey, false);
}

void setPreserveViewBetweenImagesEnabled(bool enabled, UserDefaults& defaults)
{
    writeBool(defaults, preserveViewKey, enabled);
}

bool isEditToolbarDocked(const UserDefaults& defaults)
{
    return readBool(defaults, dockEditToolbarKey, true);
}

void setEditToolbarDocked(bool docked, UserDefaults& defaults)
{
    writeBool(defaults, dockEditToolbarKey, docked);
}

bool isSmoothZoomEnabled(const UserDefaults& defaults)
{
    return readBool(defaults, smoothZoomKey, false);
}

void setSmoothZoomEnabled(bool enabled, UserDefaults& defaults)
{
    writeBool(defaults, smoothZoomKey, enabled);
}

double smoothZoomFactor(const UserDefaults& defaults)
{
    return readStepped(defaults, smoothZoomFactorKey, 0.6, smoothZoomFactorRange);
}

void setSmoothZoomFactor(double factor, UserDefaults& defaults)
{
    writeStepped(defaults, smoothZoomFactorKey, factor, smoothZoomFactorRange);
}

double overlayHideDelaySeconds(const UserDefaults& defaults)
{
    return readStepped(defaults, overlayHideDelayKey, 0.25, overlayHideDelayRange);
}

void setOverlayHideDelaySeconds(double seconds, UserDefaults& defaults)
{
    writeStepped(defaults, overlayHideDelayKey, seconds, overlayHideDelayRange);
}

EditToolbarPlacement editToolbarPlacement(const UserDefaults& defaults)
{
    const auto text = defaults.stringValue(editToolbarPlacementKey);
    return text == QStringLiteral("bottom") ? EditToolbarPlacement::bottom
                                            : EditToolbarPlacement::top;
}

void setEditToolbarPlacement(EditToolbarPlacement placement, UserDefaults& defaults)
{
    defaults.setString(editToolbarPlacementKey, placement == EditToolbarPlacement::bottom
                                                    ? QStringLiteral("bottom")
                                                    : QStringLiteral("top"));
    SettingsNotifier::post();
}

} // namespace AppSettings

#pragma once

#include "EditToolbarPlacement.h"
#include "UserDefaults.h"

// The viewer's preferences, read and written with their defaults, ranges and rounding. Nothing
// is cached: every getter reads the store, so a change by any writer is seen at the next read.
// Every setter stores first and then posts SettingsNotifier's appSettingsChanged.
//
// Every accessor takes the store to use; the application passes none and gets the user's.
namespace AppSettings {

// "invertZoomScroll", default false: scrolling zooms the other way round.
bool isZoomScrollInverted(const UserDefaults& defaults = UserDefaults::standard());
void setZoomScrollInverted(bool inverted, UserDefaults& defaults = UserDefaults::standard());

// "showMiniNavigator", default true.
bool isMiniNavigatorEnabled(const UserDefaults& defaults = UserDefaults::standard());
void setMiniNavigatorEnabled(bool enabled, UserDefaults& defaults = UserDefaults::standard());

// "preserveViewBetweenImages", default false: keep zoom and position when changing image.
bool isPreserveViewBetweenImagesEnabled(const UserDefaults& defaults = UserDefaults::standard());
void setPreserveViewBetweenImagesEnabled(bool enabled,
                                         UserDefaults& defaults = UserDefaults::standard());

// "dockEditToolbar", default true: while editing, lay the canvas out beside the toolbar.
bool isEditToolbarDocked(const UserDefaults& defaults = UserDefaults::standard());
void setEditToolbarDocked(bool docked, UserDefaults& defaults = UserDefaults::standard());

// "smoothZoom", default false: animated zooming.
bool isSmoothZoomEnabled(const UserDefaults& defaults = UserDefaults::standard());
void setSmoothZoomEnabled(bool enabled, UserDefaults& defaults = UserDefaults::standard());

// "smoothZoomFactor", default 0.6, 0.05 to 1.5 in steps of 0.05.
double smoothZoomFactor(const UserDefaults& defaults = UserDefaults::standard());
void setSmoothZoomFactor(double factor, UserDefaults& defaults = UserDefaults::standard());

// "overlayHideDelaySeconds", default 0.25 s, 0.02 to 2.0 s in steps of 0.01 s.
double overlayHideDelaySeconds(const UserDefaults& defaults = UserDefaults::standard());
void setOverlayHideDelaySeconds(double seconds, UserDefaults& defaults = UserDefaults::standard());

// "editToolbarPlacement", default top; any text but "bottom" reads as top.
EditToolbarPlacement editToolbarPlacement(const UserDefaults& defaults = UserDefaults::standard());
void setEditToolbarPlacement(EditToolbarPlacement placement,
                             UserDefaults& defaults = UserDefaults::standard());

} // namespace AppSettings

#pragma once

#include "ViewerContentView.h"

#include <QString>

// Puts `view` in the mode named "crop", "markup" or "overview" the way the toolbar does; any
// other name leaves it as it is.
inline void enterMode(ViewerContentView& view, const QString& mode)
{
    if (mode == u"crop") {
        view.enterCropMode();
    } else if (mode == u"markup") {
        view.setMarkupMode(true);
    } else if (mode == u"overview") {
        view.setOverviewMode(true, false);
    }
}

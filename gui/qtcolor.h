#pragma once

#include "core/colors.h"

#include <QColor>

// A colour of the terminal file or the settings (0x00BBGGRR, or a system colour) as Qt draws it.
inline QColor ToQColor(tallyhost::TColor color)
{
    const tallyhost::TRgb rgb = tallyhost::ColorToRgbParts(color);
    return QColor(rgb.Red, rgb.Green, rgb.Blue);
}

#pragma once

#include <QString>
#include <QWidget>

// A hint has a short part for the tool tip and a long part for status panel 0, separated by
// "|"; a hint without "|" is both. The main window shows every status tip in panel 0.
inline void SetHint(QWidget* widget, const QString& hint)
{
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    widget->setToolTip(bar < 0 ? hint : hint.left(bar));
    widget->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}

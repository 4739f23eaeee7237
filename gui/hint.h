#pragma once

#include <QAction>
#include <QString>
#include <QWidget>

#include <type_traits>

// A hint has a short part for the tool tip and a long part for status panel 0, separated by
// "|"; a hint without "|" is both. The main window shows every status tip in panel 0.
template <class Target>
requires std::is_base_of_v<QWidget, Target> || std::is_base_of_v<QAction, Target>
inline void SetHint(Target* target, const QString& hint)
{
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    target->setToolTip(bar < 0 ? hint : hint.left(bar));
    target->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}

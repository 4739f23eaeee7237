#pragma once

// Key gestures the widget tests share.

#include <QAbstractButton>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>

// Alt + the key of a mnemonic, typed to `target`. An accelerator holds its button down for a
// moment, then clicks it: this returns once the click has happened, whatever a loaded machine
// makes of the moment.
inline void AltKey(QWidget* target, Qt::Key key)
{
    QTest::keyClick(target, key, Qt::AltModifier);
    const auto anyDown = [target] {
        const auto buttons = target->window()->findChildren<QAbstractButton*>();
        return std::any_of(buttons.begin(), buttons.end(),
                           [](const QAbstractButton* b) { return b->isDown(); });
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return !anyDown(); }, 5000));
}

#pragma once

#include "MainWindow.h"

#include <QLabel>
#include <QPushButton>

// Drives the real window as its timer and its user would, widgets found by object name.

// A named child widget; a missing one ends the test run.
template <typename T>
T* widget(QWidget& window, const char* name)
{
    T* found = window.findChild<T*>(name);
    return found ? found : (qFatal("widget %s missing", name), nullptr);
}

inline void tick(MainWindow& window, int count = 1)
{
    for (int i = 0; i < count; ++i)
        QMetaObject::invokeMethod(&window, "timed", Qt::DirectConnection);
}

inline QString labelText(MainWindow& window, const char* label)
{
    return widget<QLabel>(window, label)->text();
}

inline void click(MainWindow& window, const char* button)
{
    widget<QPushButton>(window, button)->click();
}

// Presses "Обучить" `groups` times, each time ticking until the group is trained; false when
// a group takes more than `maxTicks` ticks.
inline bool enrolGroups(MainWindow& window, int groups, int maxTicks)
{
    for (int group = 0; group < groups; ++group) {
        click(window, "_btnTrain");
        int ticks = 0;
        do {
            if (++ticks > maxTicks)
                return false;
            tick(window);
        } while (labelText(window, "_lblStatus") != "Шаблон успешно добавлен. Макет в режиме ожидания.");
    }
    return true;
}

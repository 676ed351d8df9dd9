#pragma once

// Shared pieces of the tests that build the main window.
#include <QObject>
#include <QString>
#include <QtGlobal>

// A part of a window by its object name; a part that is missing ends the test
// program at once, naming it.
template <class T> T* Part(const QObject& window, const char* name) {
    T* part = window.findChild<T*>(QString::fromLatin1(name));
    if (!part)
        qFatal("No %s named %s", T::staticMetaObject.className(), name);
    return part;
}

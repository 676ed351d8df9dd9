#pragma once

#include <QCoreApplication>
#include <QHostAddress>

// A loopback address of this test process alone, so parallel test runs never collide.
inline QHostAddress NextSimAddress() {
    static int counter = 0;
    const auto pid = QCoreApplication::applicationPid();
    const quint32 a = (127u << 24) | (static_cast<quint32>(20 + pid % 200) << 16) |
                      (static_cast<quint32>((pid / 200) % 250) << 8) |
                      static_cast<quint32>(1 + (counter++ % 250));
    return QHostAddress(a);
}

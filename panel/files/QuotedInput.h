#pragma once

#include <QString>

// Text from files, devices and the command line as it may be shown in a
// message or a log line: every control character written as \xNN (a NUL
// included), the rest as it is, and at most `maxChars` characters of it, with
// "..." where it was cut, so one bad field never makes a message unusable.
QString QuotedInput(const QString& text, int maxChars = 80);

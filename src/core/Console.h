#pragma once
#include <QString>
#include <cstdio>

// One line of UTF-8 text on a terminal stream, flushed at once so that interleaved output and
// log lines keep their order.
void WriteLine(FILE *stream, const QString &text);

#pragma once
// Text that came from outside (a module's name, its heartbeat data, a line of traffic) made safe to
// show: a control character shows as an escape instead of acting on the terminal or the pane, and a
// line break inside a field cannot forge another row.
//
//   tab, line feed, carriage return      \t  \n  \r
//   other C0 controls, DEL               \xHH      (ESC is \x1b)
//   C1 controls U+0080..U+009F           \u0080 .. \u009f
//   line and paragraph separators        \u2028  \u2029
//   bidirectional controls               \u202a .. \u202e, \u2066 .. \u2069
//   a byte that is no GBK character      \xHH      (kept by the GBK decoder as U+DC80..U+DCFF)
//   any other lone surrogate             \uHHHH
//
// Everything else, a backslash included, stays as it is.

#include <QJsonValue>
#include <QString>

// Every character of the table made visible.
QString VisibleText(const QString &text);
// The same, but line feeds stay: for lines of our own that may hold several lines.
QString VisibleLines(const QString &text);

// Machine-readable output: a byte that is no GBK character becomes the four characters \xHH (the
// same escape as above), any other lone surrogate U+FFFD, so that every string is valid Unicode.
// Controls are left to the JSON writer, which escapes them.
QString JsonSafeText(const QString &text);
// The value as indented JSON text with JsonSafeText applied to every string and key, and DEL, the
// C1 controls and the line and paragraph separators written as \u escapes rather than raw.
QString JsonText(const QJsonValue &value);

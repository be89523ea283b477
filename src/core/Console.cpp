#include "core/Console.h"

void WriteLine(FILE *stream, const QString &text)
{
    const QByteArray b = text.toUtf8() + '\n';
    fwrite(b.constData(), 1, size_t(b.size()), stream);
    fflush(stream);
}

#include "core/LogSink.h"

uint32_t LogColorRgb(TLogColor color)
{
    switch (color) {
    case TLogColor::Green: return 0x008000;
    case TLogColor::Red: return 0xFF0000;
    case TLogColor::Blue: return 0x0000FF;
    case TLogColor::Maroon: return 0x800000;
    }
    return 0x008000;
}

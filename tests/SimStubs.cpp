// The simulator's main is not part of the tests that run its modules in-process; these stand in
// for what SimLan.cpp takes from it.
#include "sim/Sim.h"

QList<TSimMode> &SimModes()
{
    static QList<TSimMode> modes;
    return modes;
}
QString SimOptionValue(const QStringList &args, int &i) { return args.value(++i); }
void SimOut(const QString &) {}
void SimErr(const QString &) {}

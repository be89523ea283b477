// A program that links only bexo_core: proves the library stands without the GUI. It decodes a
// read reply and builds a frame, the work a third-party tool would use the library for.
#include "core/ProFun.h"
#include "netconfig/Codecs.h"
#include "netconfig/UdpSvr.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    uint8_t reply[130] = {};
    reply[9] = 7;
    reply[11] = 168;
    reply[12] = 192;
    const TBaseParam base = DecodeBaseParam(reply);
    const QByteArray frame = BuildCmdFrame(CmdRead, QStringLiteral("001A2B3C4D5E"), QStringLiteral("tovak"),
                                           QStringLiteral("tovak"));
    printf("%s %s\n", qPrintable(base.StaticIP), qPrintable(BytesToHexSpaced(frame).trimmed()));
    return base.StaticIP == QLatin1String("192.168.0.7") && frame.size() == 22 ? 0 : 1;
}

#pragma once
// A module record made from what an endpoint received last, for tests of the write that feed the
// endpoint directly: the row says who the module is, the endpoint's last replies are its blocks.

#include "netconfig/ModuleRecord.h"
#include "netconfig/Q2Write.h"
#include "netconfig/UdpSvr.h"

#include <algorithm>

inline TModuleRecord ModuleFromEndpoint(const TUdpSvr &svr, const TDeviceRow &row)
{
    TModuleRecord m;
    m.Mac = row.Mac;
    m.IP = m.ReplyIP = row.IP;
    m.Model = row.Model;
    m.Version = RowVersion(row);
    m.BindingIndex = row.BindingIndex;
    TModuleTemplates &t = m.Templates;
    std::copy_n(svr.LastRead.begin(), LenRead, t.Read.begin());
    t.ReadLen = svr.LastReadLen;
    t.OptByte = svr.LastRead[3];
    t.PortOptByte = svr.LastRead[117];
    t.Cloud = svr.LastCloud;
    t.HeartReg = svr.LastHeartReg;
    t.Httpd = svr.LastHttpd;
    t.Modbus4 = svr.LastModbus4;
    t.ModbusPack = svr.LastModbusPack;
    t.ModbusNew = svr.LastModbusNew;
    return m;
}

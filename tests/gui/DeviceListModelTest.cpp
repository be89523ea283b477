#include "MainFixture.h"
#include "core/ProFun.h"
#include "gui/DeviceListModel.h"
#include "netconfig/LanSession.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Search replies arriving at the session, as from the module itself.
void arrive(TLanSession &s, const char *ip, const char *mac, int version, const QByteArray &name, int binding = 0,
            int port = DevPortQ2)
{
    s.Svr().UDPRead(SearchReplyBytes(QString::fromLatin1(ip), QByteArray::fromHex(mac), version, name),
                    QString::fromLatin1(ip), port, QStringLiteral("127.0.0.1"), 4000, binding);
}

TEST(DeviceListModel, passesTheModelTesterThroughAddsDuplicatesHeadersAndClear)
{
    TNullLogSink log;
    TLanSession session(log);
    TDeviceListModel model(&session);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy headers(&model, &QAbstractItemModel::headerDataChanged);

    arrive(session, "192.168.0.7", "001A2B3C4D5E", 4017, QByteArray("Lab\0junk", 8));
    arrive(session, "192.168.0.70", "001A2B3C4D5E", 4020, "Again", 1);
    arrive(session, "192.168.0.8", "001A2B3C4D5F", 4017, "Q3", 1, DevPortQ3);
    EXPECT_EQ(inserted.size(), 2);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.columnCount(), 7);
    EXPECT_EQ(model.index(0, TDeviceListModel::ColName).data().toString(), QStringLiteral("Lab"))
        << "the name shows up to its first zero";
    EXPECT_EQ(model.index(0, TDeviceListModel::ColIP).data().toString(), QStringLiteral("192.168.0.7"));
    EXPECT_EQ(model.index(1, TDeviceListModel::ColFlag).data().toString(), QStringLiteral("36"));
    EXPECT_EQ(model.index(1, TDeviceListModel::ColIpIndex).data().toString(), QStringLiteral("1"));
    EXPECT_EQ(model.Row(0)->SearchReply,
              SearchReplyBytes("192.168.0.7", QByteArray::fromHex("001A2B3C4D5E"), 4017, QByteArray("Lab\0junk", 8)));
    EXPECT_EQ(model.Row(2), nullptr);
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);

    EXPECT_EQ(model.headerData(4, Qt::Horizontal).toString(), QStringLiteral("Flag"));
    EXPECT_TRUE(model.setHeaderData(0, Qt::Horizontal, QStringLiteral("设备IP")));
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("设备IP"));
    EXPECT_FALSE(model.setHeaderData(7, Qt::Horizontal, QStringLiteral("x")));
    EXPECT_FALSE(model.setHeaderData(0, Qt::Vertical, QStringLiteral("x")));
    EXPECT_EQ(headers.size(), 1);

    session.ClearList();
    EXPECT_EQ(model.rowCount(), 0);
    arrive(session, "192.168.0.7", "001A2B3C4D5E", 4017, "Lab");
    EXPECT_EQ(model.rowCount(), 1) << "after a clear the module makes a row again";
}

TEST(DeviceListModel, showsTheRowsTheSessionHadAndEmptiesWhenTheSessionGoes)
{
    TNullLogSink log;
    auto session = std::make_unique<TLanSession>(log);
    arrive(*session, "192.168.0.7", "001A2B3C4D5E", 4017, "Lab");
    TDeviceListModel model(session.get());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(model.rowCount(), 1);
    arrive(*session, "192.168.0.8", "001A2B3C4D5F", 4017, "Lab-2");
    EXPECT_EQ(model.rowCount(), 2);
    session.reset();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.Row(0), nullptr);
    EXPECT_EQ(model.List().Count(), 0);
}

TEST(DeviceListModel, aNameShowsItsControlCharactersAsEscapes)
{
    TNullLogSink log;
    TLanSession session(log);
    TDeviceListModel model(&session);
    // The bytes stay as the module sent them (an upgrade or a write uses the row), only the list
    // shows them visibly.
    const QByteArray name("A\x1b]0;x\x07\nB");
    arrive(session, "192.168.0.7", "001A2B3C4D5E", 4017, name);
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.index(0, TDeviceListModel::ColName).data().toString(), QStringLiteral("A\\x1b]0;x\\x07\\nB"));
    EXPECT_EQ(UpToZero(model.Row(0)->Name), QString::fromLatin1(name));
}

TEST(DeviceListModel, aFullListTakesNoMoreRowsAndWarnsOnce)
{
    struct TLines : ILogSink {
        QStringList Red;
        void AddLog(const QString &t, TLogColor c) override
        {
            if (c == TLogColor::Red)
                Red << t;
        }
        void AddHex(const QString &, TLogColor) override {}
    } log;
    TLanSession session(log);
    TDeviceListModel model(&session);
    const auto forged = [&](int i) {
        arrive(session, "10.0.0.66",
               QStringLiteral("02000000%1%2")
                   .arg(i / 256, 2, 16, QLatin1Char('0'))
                   .arg(i % 256, 2, 16, QLatin1Char('0'))
                   .toLatin1()
                   .constData(),
               4017, "m");
    };
    // The tester checks the whole model at every change: it watches the last rows and the ones
    // turned away, where the list is full.
    int i = 0;
    for (; i < TDeviceList::MaxRows - 2; ++i)
        forged(i);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    for (; i < TDeviceList::MaxRows + 3; ++i)
        forged(i);
    EXPECT_EQ(model.rowCount(), TDeviceList::MaxRows);
    EXPECT_EQ(log.Red.size(), 1);
    EXPECT_EQ(session.RecordCount(), TDeviceList::MaxRows) << "no record for a module the list has no room for";
}

} // namespace

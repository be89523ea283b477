#include "gui/DeviceListModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

TEST(DeviceListModel, passesTheModelTesterThroughAddsDuplicatesHeadersAndClear)
{
    TDeviceListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy headers(&model, &QAbstractItemModel::headerDataChanged);

    EXPECT_TRUE(model.AddReply("192.168.0.7", QStringLiteral("Lab") + QChar(0) + "junk", "00 1A 2B 3C 4D 5E", "4017",
                               2, 0, QByteArray(36, 'a')));
    EXPECT_FALSE(model.AddReply("192.168.0.70", "Again", "00 1A 2B 3C 4D 5E", "4020", 2, 1, QByteArray(36, 'b')));
    EXPECT_TRUE(model.AddReply("192.168.0.8", "Q3", "00 1A 2B 3C 4D 5F", "4017", 36, 1, QByteArray(36, 'c')));
    EXPECT_EQ(inserted.size(), 2);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.columnCount(), 6);
    EXPECT_EQ(model.index(0, TDeviceListModel::ColName).data().toString(), QStringLiteral("Lab"))
        << "the name shows up to its first zero";
    EXPECT_EQ(model.index(0, TDeviceListModel::ColIP).data().toString(), QStringLiteral("192.168.0.7"));
    EXPECT_EQ(model.index(1, TDeviceListModel::ColFlag).data().toString(), QStringLiteral("36"));
    EXPECT_EQ(model.index(1, TDeviceListModel::ColIpIndex).data().toString(), QStringLiteral("1"));
    EXPECT_EQ(model.Row(0)->SearchReply, QByteArray(36, 'a'));
    EXPECT_EQ(model.Row(2), nullptr);
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);

    EXPECT_EQ(model.headerData(4, Qt::Horizontal).toString(), QStringLiteral("Flag"));
    EXPECT_TRUE(model.setHeaderData(0, Qt::Horizontal, QStringLiteral("设备IP")));
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("设备IP"));
    EXPECT_FALSE(model.setHeaderData(6, Qt::Horizontal, QStringLiteral("x")));
    EXPECT_FALSE(model.setHeaderData(0, Qt::Vertical, QStringLiteral("x")));
    EXPECT_EQ(headers.size(), 1);

    model.Clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(model.AddReply("192.168.0.7", "Lab", "00 1A 2B 3C 4D 5E", "4017", 2, 0, {}))
        << "after a clear the module makes a row again";
}

TEST(DeviceListModel, aNameShowsItsControlCharactersAsEscapes)
{
    TDeviceListModel model;
    // The bytes stay as the module sent them (an upgrade or a write uses the row), only the list
    // shows them visibly.
    const QString name = QStringLiteral("A\x1b]0;x\x07\nB");
    EXPECT_TRUE(model.AddReply("192.168.0.7", name, "00 1A 2B 3C 4D 5E", "4017", 2, 0, {}));
    EXPECT_EQ(model.index(0, TDeviceListModel::ColName).data().toString(), QStringLiteral("A\\x1b]0;x\\x07\\nB"));
    EXPECT_EQ(model.Row(0)->Name, name);
}

TEST(DeviceListModel, aFullListTakesNoMoreRowsAndWarnsOnce)
{
    TDeviceListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    struct TLines : ILogSink {
        QStringList Red;
        void AddLog(const QString &t, TLogColor c) override
        {
            if (c == TLogColor::Red)
                Red << t;
        }
        void AddHex(const QString &, TLogColor) override {}
    } log;
    for (int i = 0; i < TDeviceList::MaxRows + 3; ++i)
        model.AddReply("10.0.0.66", "m", QStringLiteral("02 00 00 00 %1 %2").arg(i / 256, 2, 16, QLatin1Char('0')).arg(i % 256, 2, 16, QLatin1Char('0')),
                       "4017", 2, 0, {}, &log);
    EXPECT_EQ(model.rowCount(), TDeviceList::MaxRows);
    EXPECT_EQ(log.Red.size(), 1);
}

} // namespace

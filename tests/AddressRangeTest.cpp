// The address list of a search by address: what each form expands to, what is refused and why.
#include "ModuleFixture.h"
#include "TestUtil.h"
#include "netconfig/AddressRange.h"

namespace {

QStringList texts(const QList<quint32> &addresses)
{
    QStringList out;
    for (quint32 a : addresses)
        out << AddressText(a);
    return out;
}

} // namespace

TEST(AddressRange, formsExpandToTheirAddresses)
{
    struct Case {
        QStringList in;
        int count;
        const char *first, *last;
    } cases[] = {
        {{QStringLiteral("10.1.2.7")}, 1, "10.1.2.7", "10.1.2.7"},
        {{QStringLiteral("127.0.0.5")}, 1, "127.0.0.5", "127.0.0.5"},
        // A network without its own and its broadcast address; /31 and /32 whole.
        {{QStringLiteral("10.1.2.0/24")}, 254, "10.1.2.1", "10.1.2.254"},
        {{QStringLiteral("10.1.2.0/30")}, 2, "10.1.2.1", "10.1.2.2"},
        {{QStringLiteral("10.1.2.4/31")}, 2, "10.1.2.4", "10.1.2.5"},
        {{QStringLiteral("10.1.2.9/32")}, 1, "10.1.2.9", "10.1.2.9"},
        // A range across octets, both ends included.
        {{QStringLiteral("10.1.2.250-10.1.3.2")}, 9, "10.1.2.250", "10.1.3.2"},
        {{QStringLiteral("10.1.2.3-10.1.2.3")}, 1, "10.1.2.3", "10.1.2.3"},
        // Exactly the limit, and the limit reached twice over by repeats.
        {{QStringLiteral("10.0.0.0/20")}, 4094, "10.0.0.1", "10.0.15.254"},
        {{QStringLiteral("10.0.0.0/20"), QStringLiteral("10.0.0.0/20")}, 4094, "10.0.0.1", "10.0.15.254"},
        {{QStringLiteral("223.255.255.254/31")}, 2, "223.255.255.254", "223.255.255.255"},
        {{QStringLiteral("1.0.0.0-1.0.0.1")}, 2, "1.0.0.0", "1.0.0.1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.in.join(u' ').toStdString());
        QList<quint32> got;
        TRangeError e;
        ASSERT_TRUE(ParseAddressRanges(c.in, got, e)) << RangeErrorText(e).toStdString();
        EXPECT_EQ(e.Fault, TRangeFault::None);
        ASSERT_EQ(got.size(), c.count);
        EXPECT_EQ(AddressText(got.first()), QLatin1String(c.first));
        EXPECT_EQ(AddressText(got.last()), QLatin1String(c.last));
    }
}

// Items in the order given, each address once, blanks around the commas allowed.
TEST(AddressRange, listsKeepTheirOrderAndDropRepeats)
{
    QList<quint32> got;
    TRangeError e;
    ASSERT_TRUE(ParseAddressRanges({QStringLiteral(" 10.1.2.7 , 10.1.2.5-10.1.2.8"), QStringLiteral("10.1.2.1/32,10.1.2.6")},
                                   got, e));
    EXPECT_EQ(texts(got), (QStringList{QStringLiteral("10.1.2.7"), QStringLiteral("10.1.2.5"), QStringLiteral("10.1.2.6"),
                                       QStringLiteral("10.1.2.8"), QStringLiteral("10.1.2.1")}));
}

TEST(AddressRange, faultsNameTheItem)
{
    struct Case {
        QStringList in;
        TRangeFault fault;
        const char *item, *detail;
        qint64 count;
    } cases[] = {
        {{}, TRangeFault::Empty, "", "", 0},
        {{QString()}, TRangeFault::Empty, "", "", 0},
        {{QStringLiteral("10.1.2.3,")}, TRangeFault::Empty, "", "", 0},
        {{QStringLiteral("10.1.2.3"), QStringLiteral(" ")}, TRangeFault::Empty, "", "", 0},
        {{QStringLiteral("10.1.2")}, TRangeFault::NotAddress, "10.1.2", "", 0},
        {{QStringLiteral("10.1.2.256")}, TRangeFault::NotAddress, "10.1.2.256", "", 0},
        {{QStringLiteral("010.1.2.3")}, TRangeFault::NotAddress, "010.1.2.3", "", 0},
        {{QStringLiteral("+10.1.2.3")}, TRangeFault::NotAddress, "+10.1.2.3", "", 0},
        {{QStringLiteral("10.1.2.3 4")}, TRangeFault::NotAddress, "10.1.2.3 4", "", 0},
        {{QStringLiteral("10.1.2.\u0663")}, TRangeFault::NotAddress, "10.1.2.\u0663", "", 0}, // another script's 3
        {{QStringLiteral("10.1.2.1-")}, TRangeFault::NotAddress, "10.1.2.1-", "", 0},
        {{QStringLiteral("10.1.2.1-10.1.2.4-10.1.2.9")}, TRangeFault::NotAddress, "10.1.2.1-10.1.2.4-10.1.2.9", "", 0},
        {{QStringLiteral("10.1.2.1-9")}, TRangeFault::NotAddress, "10.1.2.1-9", "", 0},
        {{QStringLiteral("modules.example")}, TRangeFault::NotAddress, "modules.example", "", 0},
        {{QStringLiteral("10.1.2.0/33")}, TRangeFault::BadPrefix, "10.1.2.0/33", "", 0},
        {{QStringLiteral("10.1.2.0/")}, TRangeFault::BadPrefix, "10.1.2.0/", "", 0},
        {{QStringLiteral("10.1.2.0/024")}, TRangeFault::BadPrefix, "10.1.2.0/024", "", 0},
        {{QStringLiteral("10.1.2.0/24/24")}, TRangeFault::BadPrefix, "10.1.2.0/24/24", "", 0},
        {{QStringLiteral("10.1.2.5/24")}, TRangeFault::HostBits, "10.1.2.5/24", "10.1.2.0/24", 0},
        {{QStringLiteral("10.1.2.9-10.1.2.3")}, TRangeFault::Reversed, "10.1.2.9-10.1.2.3", "", 0},
        {{QStringLiteral("224.0.0.1")}, TRangeFault::NotUnicast, "224.0.0.1", "224.0.0.1", 0},
        {{QStringLiteral("255.255.255.255")}, TRangeFault::NotUnicast, "255.255.255.255", "255.255.255.255", 0},
        {{QStringLiteral("223.255.255.250-224.0.0.3")}, TRangeFault::NotUnicast, "223.255.255.250-224.0.0.3", "224.0.0.0", 0},
        {{QStringLiteral("0.1.2.3")}, TRangeFault::NotUnicast, "0.1.2.3", "0.1.2.3", 0},
        // The whole address space is refused for what it holds, before it is counted.
        {{QStringLiteral("0.0.0.0/0")}, TRangeFault::NotUnicast, "0.0.0.0/0", "0.0.0.1", 0},
        // Counted before it is expanded.
        {{QStringLiteral("10.0.0.0/8")}, TRangeFault::TooMany, "10.0.0.0/8", "", 16777214},
        {{QStringLiteral("10.0.0.0/19")}, TRangeFault::TooMany, "10.0.0.0/19", "", 8190},
        {{QStringLiteral("10.0.0.1-10.0.16.1")}, TRangeFault::TooMany, "10.0.0.1-10.0.16.1", "", 4097},
        // Two lists that each fit, together too many.
        {{QStringLiteral("10.0.0.0/20"), QStringLiteral("10.9.0.0/24")}, TRangeFault::TooMany, "10.9.0.0/24", "", 4348},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.in.join(u'|').toStdString());
        QList<quint32> got{1};
        TRangeError e;
        EXPECT_FALSE(ParseAddressRanges(c.in, got, e));
        EXPECT_TRUE(got.isEmpty()) << "nothing of a refused list is kept";
        EXPECT_EQ(e.Fault, c.fault);
        EXPECT_EQ(e.Item, QString::fromUtf8(c.item));
        EXPECT_EQ(e.Detail, QLatin1String(c.detail));
        EXPECT_EQ(e.Count, c.count);
    }
}

TEST(AddressRange, faultTextsInBothLanguages)
{
    TLangScope lang;
    TRangeError e;
    QList<quint32> got;
    ASSERT_FALSE(ParseAddressRanges({QStringLiteral("10.1.2.5/24")}, got, e));
    EXPECT_EQ(RangeErrorText(e), QStringLiteral("\"10.1.2.5/24\" is not the start of a network; did you mean 10.1.2.0/24?"));
    ASSERT_FALSE(ParseAddressRanges({QStringLiteral("10.0.0.0/19")}, got, e));
    EXPECT_EQ(RangeErrorText(e), QStringLiteral("8190 addresses: a search by address takes at most 4096."));
    LangList->IsChinese = true;
    ASSERT_FALSE(ParseAddressRanges({QStringLiteral("10.1.2.5/24")}, got, e));
    EXPECT_EQ(RangeErrorText(e), QStringLiteral("“10.1.2.5/24”不是网段的起始地址；您是否要输入10.1.2.0/24？"));
    // A text that looks like a place marker stays as given.
    ASSERT_FALSE(ParseAddressRanges({QStringLiteral("%1%2")}, got, e));
    EXPECT_TRUE(RangeErrorText(e).contains(QStringLiteral("“%1%2”"))) << RangeErrorText(e).toStdString();
}

// A smaller limit for the window's field or a test; the address texts read back.
TEST(AddressRange, limitAndAddressTexts)
{
    QList<quint32> got;
    TRangeError e;
    EXPECT_FALSE(ParseAddressRanges({QStringLiteral("10.1.2.0/29")}, got, e, 5));
    EXPECT_EQ(e.Fault, TRangeFault::TooMany);
    EXPECT_EQ(e.Limit, 5);
    ASSERT_TRUE(ParseAddressRanges({QStringLiteral("10.1.2.0/29")}, got, e, 6));
    for (quint32 a : got) {
        quint32 back = 0;
        ASSERT_TRUE(ParseAddress(AddressText(a), back));
        EXPECT_EQ(back, a);
    }
    quint32 a = 0;
    EXPECT_TRUE(ParseAddress(QStringLiteral("0.0.0.0"), a));
    EXPECT_EQ(a, 0u);
    EXPECT_FALSE(ParseAddress(QStringLiteral("1.2.3.4."), a));
    EXPECT_FALSE(ParseAddress(QStringLiteral(""), a));
}

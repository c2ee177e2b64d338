// rtnetlink replies built byte by byte, fed to the parsers: shapes the kernel
// sends, and the broken ones a read must refuse rather than half-read.

#include "LinkProbe.h"
#include "RtnlParse.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <net/if.h>
#include <linux/if_addr.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if_arp.h>
#include <sys/socket.h>

namespace {

using rtnl::Bytes;
using rtnl::DumpStep;

constexpr std::uint32_t Port = 4242;
constexpr std::uint32_t Seq = 77;

// Builds one netlink message: header, a fixed body, then attributes, each padded to 4 bytes.
class Message {
public:
    explicit Message(std::uint16_t type, std::uint16_t flags = NLM_F_MULTI, std::uint32_t seq = Seq,
                     std::uint32_t port = Port)
    {
        nlmsghdr header{};
        header.nlmsg_type = type;
        header.nlmsg_flags = flags;
        header.nlmsg_seq = seq;
        header.nlmsg_pid = port;
        Append(&header, sizeof header);
    }

    template <class T>
    Message& Body(const T& body)
    {
        Append(&body, sizeof body);
        return *this;
    }

    Message& Attr(std::uint16_t type, const void* data, std::size_t length)
    {
        rtattr header{static_cast<unsigned short>(RTA_LENGTH(length)), type};
        Append(&header, sizeof header);
        Append(data, length);
        return *this;
    }
    Message& Attr(std::uint16_t type, const std::string& text) { return Attr(type, text.c_str(), text.size() + 1); }
    template <class T>
    Message& Scalar(std::uint16_t type, T value) { return Attr(type, &value, sizeof value); }

    // A raw attribute header with a length of the test's choosing.
    Message& BadAttr(std::uint16_t type, std::uint16_t length)
    {
        rtattr header{length, type};
        Append(&header, sizeof header);
        return *this;
    }

    std::vector<std::uint8_t> Bytes() const
    {
        auto bytes = bytes_;
        const auto length = static_cast<std::uint32_t>(bytes.size());
        std::memcpy(bytes.data(), &length, sizeof length);
        return bytes;
    }

    // The attributes only, for nesting inside another attribute.
    std::vector<std::uint8_t> Attributes(std::size_t bodySize) const
    {
        return {bytes_.begin() + static_cast<long>(NLMSG_HDRLEN + bodySize), bytes_.end()};
    }

private:
    void Append(const void* data, std::size_t length)
    {
        const auto* p = static_cast<const std::uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + length);
        bytes_.resize(NLMSG_ALIGN(bytes_.size()));
    }
    std::vector<std::uint8_t> bytes_;
};

ifinfomsg LinkBody(int index, unsigned type = ARPHRD_ETHER, unsigned flags = 0)
{
    ifinfomsg body{};
    body.ifi_family = AF_UNSPEC;
    body.ifi_index = index;
    body.ifi_type = static_cast<unsigned short>(type);
    body.ifi_flags = flags;
    return body;
}

Message FullLink()
{
    Message kindOnly(0);
    kindOnly.Attr(IFLA_INFO_KIND, "veth");
    const auto linkInfo = kindOnly.Attributes(0);

    rtnl_link_stats64 stats{};
    stats.rx_bytes = 0x1'0000'0005ull; // past 32 bits
    stats.tx_bytes = 12'345'678'901ull;
    const std::uint8_t mac[] = {0x02, 0x00, 0x5E, 0x10, 0xAB, 0xCD};

    Message m(RTM_NEWLINK);
    m.Body(LinkBody(12, ARPHRD_ETHER, 0x1003))
        .Attr(IFLA_IFNAME, "veth0")
        .Attr(IFLA_ADDRESS, mac, sizeof mac)
        .Scalar<std::uint32_t>(IFLA_MTU, 1500)
        .Scalar<std::uint8_t>(IFLA_OPERSTATE, 6)
        .Scalar<std::uint8_t>(IFLA_CARRIER, 1)
        .Scalar<std::uint32_t>(IFLA_CARRIER_CHANGES, 3)
        .Attr(IFLA_IFALIAS, "uplink")
        .Attr(IFLA_STATS64, &stats, sizeof stats)
        .Attr(IFLA_LINKINFO | NLA_F_NESTED, linkInfo.data(), linkInfo.size());
    return m;
}

TEST(ParseLinkMessage, ReadsEveryFieldTheTableNeeds)
{
    const auto bytes = FullLink().Bytes();
    const auto link = rtnl::ParseLinkMessage(bytes);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->index, 12u);
    EXPECT_EQ(link->type, ARPHRD_ETHER);
    EXPECT_EQ(link->flags, 0x1003u);
    EXPECT_EQ(link->name, "veth0");
    EXPECT_EQ(link->kind, "veth");
    EXPECT_EQ(link->alias, "uplink");
    EXPECT_EQ(link->address, (std::vector<std::uint8_t>{0x02, 0x00, 0x5E, 0x10, 0xAB, 0xCD}));
    EXPECT_EQ(link->mtu, 1500u);
    EXPECT_EQ(link->operstate, 6u);
    EXPECT_EQ(link->carrier, 1u);
    EXPECT_EQ(link->carrierChanges, 3u);
    EXPECT_EQ(link->rxBytes, 0x1'0000'0005ull);
    EXPECT_EQ(link->txBytes, 12'345'678'901ull);
}

TEST(ParseLinkMessage, Prefers64BitCountersWhereverTheyStand)
{
    rtnl_link_stats stats32{};
    stats32.rx_bytes = 111;
    stats32.tx_bytes = 222;
    rtnl_link_stats64 stats64{};
    stats64.rx_bytes = 5'000'000'000ull;
    stats64.tx_bytes = 6'000'000'000ull;

    Message only32(RTM_NEWLINK);
    only32.Body(LinkBody(1)).Attr(IFLA_STATS, &stats32, sizeof stats32);
    Message before(RTM_NEWLINK);
    before.Body(LinkBody(1)).Attr(IFLA_STATS, &stats32, sizeof stats32).Attr(IFLA_STATS64, &stats64, sizeof stats64);
    Message after(RTM_NEWLINK);
    after.Body(LinkBody(1)).Attr(IFLA_STATS64, &stats64, sizeof stats64).Attr(IFLA_STATS, &stats32, sizeof stats32);

    const auto a = rtnl::ParseLinkMessage(only32.Bytes());
    ASSERT_TRUE(a);
    EXPECT_EQ(a->rxBytes, 111u);
    EXPECT_EQ(a->txBytes, 222u);
    EXPECT_FALSE(a->stats64);
    for (const auto& m : {before, after}) {
        const auto link = rtnl::ParseLinkMessage(m.Bytes());
        ASSERT_TRUE(link);
        EXPECT_EQ(link->rxBytes, 5'000'000'000ull);
        EXPECT_EQ(link->txBytes, 6'000'000'000ull);
        EXPECT_TRUE(link->stats64);
    }
}

TEST(ParseLinkMessage, ReadsUnalignedPayloadsAndLongNames)
{
    // The stats block lands on a 4-byte boundary only; a name without its NUL is cut at IFNAMSIZ.
    rtnl_link_stats64 stats{};
    stats.rx_bytes = 0x0102030405060708ull;
    const std::string longName(40, 'n');
    Message m(RTM_NEWLINK);
    m.Body(LinkBody(3)).Scalar<std::uint8_t>(IFLA_OPERSTATE, 2).Attr(IFLA_IFNAME, longName.data(), longName.size())
        .Attr(IFLA_STATS64, &stats, sizeof stats);
    const auto link = rtnl::ParseLinkMessage(m.Bytes());
    ASSERT_TRUE(link);
    EXPECT_EQ(link->rxBytes, 0x0102030405060708ull);
    EXPECT_EQ(link->name, std::string(IFNAMSIZ, 'n'));
}

TEST(ParseLinkMessage, RefusesMalformedMessages)
{
    const std::uint16_t twoBytes = 9;
    std::uint8_t shortStats[16] = {};
    rtnl_link_stats64 stats{};
    Message nested(0);
    nested.BadAttr(IFLA_INFO_KIND, 60);
    const auto badNest = nested.Attributes(0);

    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"attribute shorter than its header", Message(RTM_NEWLINK).Body(LinkBody(1)).BadAttr(IFLA_MTU, 2).Bytes()});
    cases.push_back({"attribute past the end", Message(RTM_NEWLINK).Body(LinkBody(1)).BadAttr(IFLA_IFNAME, 200).Bytes()});
    cases.push_back({"MTU of two bytes", Message(RTM_NEWLINK).Body(LinkBody(1)).Attr(IFLA_MTU, &twoBytes, 2).Bytes()});
    cases.push_back({"truncated 64-bit stats", Message(RTM_NEWLINK).Body(LinkBody(1)).Attr(IFLA_STATS64, shortStats, 16).Bytes()});
    cases.push_back({"broken nested link info", Message(RTM_NEWLINK).Body(LinkBody(1)).Attr(IFLA_LINKINFO, badNest.data(), badNest.size()).Bytes()});
    cases.push_back({"not a link message", Message(RTM_NEWADDR).Body(LinkBody(1)).Bytes()});
    auto cut = Message(RTM_NEWLINK).Body(LinkBody(1)).Attr(IFLA_STATS64, &stats, sizeof stats).Bytes();
    cut.resize(NLMSG_HDRLEN + 8); // header claims more than there is
    cases.push_back({"shorter than ifinfomsg", cut});

    for (const auto& c : cases)
        EXPECT_FALSE(rtnl::ParseLinkMessage(c.bytes)) << c.name;
}

Message StatsMessage(std::uint32_t index)
{
    if_stats_msg body{};
    body.family = AF_UNSPEC;
    body.ifindex = index;
    body.filter_mask = IFLA_STATS_FILTER_BIT(IFLA_STATS_LINK_64);
    Message m(RTM_NEWSTATS);
    m.Body(body);
    return m;
}

rtnl_link_stats64 Counters(std::uint64_t rx, std::uint64_t tx)
{
    rtnl_link_stats64 stats{};
    stats.rx_packets = 1; // the fields around the two read must not leak into them
    stats.tx_packets = 2;
    stats.rx_bytes = rx;
    stats.tx_bytes = tx;
    stats.rx_errors = 3;
    return stats;
}

TEST(ParseStatsMessage, ReadsTheByteCountersWhereverTheBlockStands)
{
    const auto stats = Counters(0x1'0000'0007ull, 0xFEDC'BA98'7654'3210ull);
    const std::uint32_t xstats = 0;
    Message plain = StatsMessage(7);
    plain.Attr(IFLA_STATS_LINK_64, &stats, sizeof stats);
    // An empty pad puts the block 4 bytes off an 8-byte boundary; other blocks around it are skipped.
    Message padded = StatsMessage(7);
    padded.Attr(IFLA_STATS_UNSPEC, nullptr, 0)
        .Attr(IFLA_STATS_LINK_XSTATS | NLA_F_NESTED, &xstats, sizeof xstats)
        .Attr(IFLA_STATS_LINK_64, &stats, sizeof stats)
        .Attr(IFLA_STATS_AF_SPEC | NLA_F_NESTED, &xstats, sizeof xstats);
    // Exactly as long as the fields read: no more is needed.
    Message shortest = StatsMessage(7);
    shortest.Attr(IFLA_STATS_LINK_64, &stats, offsetof(rtnl_link_stats64, tx_bytes) + sizeof stats.tx_bytes);

    for (const auto& [name, m] : {std::pair{"plain", plain}, std::pair{"padded", padded},
                                  std::pair{"shortest block", shortest}}) {
        // One byte in, so that no field stands where its type would be aligned.
        auto bytes = m.Bytes();
        std::vector<std::uint8_t> shifted(bytes.size() + 1);
        std::memcpy(shifted.data() + 1, bytes.data(), bytes.size());
        const auto parsed = rtnl::ParseStatsMessage(Bytes(shifted).subspan(1));
        ASSERT_TRUE(parsed) << name;
        EXPECT_EQ(parsed->index, 7u) << name;
        EXPECT_EQ(parsed->rxBytes, 0x1'0000'0007ull) << name;
        EXPECT_EQ(parsed->txBytes, 0xFEDC'BA98'7654'3210ull) << name;
    }
}

TEST(ParseStatsMessage, RefusesMalformedMessages)
{
    const auto stats = Counters(1, 2);
    auto cut = StatsMessage(1).Attr(IFLA_STATS_LINK_64, &stats, sizeof stats).Bytes();
    cut.resize(NLMSG_HDRLEN + sizeof(if_stats_msg) - 4);
    auto longerThanSent = StatsMessage(1).Attr(IFLA_STATS_LINK_64, &stats, sizeof stats).Bytes();
    longerThanSent.resize(longerThanSent.size() - 8); // the block's header claims what is not there

    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"shorter than if_stats_msg", cut},
        {"block past the end", longerThanSent},
        {"attribute past the end", StatsMessage(1).BadAttr(IFLA_STATS_LINK_64, 300).Bytes()},
        {"attribute shorter than its header", StatsMessage(1).BadAttr(IFLA_STATS_LINK_64, 3).Bytes()},
        {"block without tx_bytes", StatsMessage(1).Attr(IFLA_STATS_LINK_64, &stats, offsetof(rtnl_link_stats64, tx_bytes)).Bytes()},
        {"block of 4 bytes", StatsMessage(1).Attr(IFLA_STATS_LINK_64, &stats, 4).Bytes()},
        {"no 64-bit block", StatsMessage(1).Attr(IFLA_STATS_LINK_XSTATS, &stats, 8).Bytes()},
        {"not a stats message", Message(RTM_NEWLINK).Body(LinkBody(1)).Attr(IFLA_STATS_LINK_64, &stats, sizeof stats).Bytes()},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(rtnl::ParseStatsMessage(c.bytes)) << c.name;
}

Message AddrMessage(std::uint8_t family, int index)
{
    ifaddrmsg body{};
    body.ifa_family = family;
    body.ifa_prefixlen = 24;
    body.ifa_index = static_cast<std::uint32_t>(index);
    Message m(RTM_NEWADDR);
    m.Body(body);
    return m;
}

std::uint32_t Ip(const char* dotted)
{
    in_addr addr{};
    inet_pton(AF_INET, dotted, &addr);
    return addr.s_addr;
}

TEST(ParseAddrMessage, TakesTheLocalAddressOverThePeer)
{
    const struct {
        const char* name;
        Message message;
        const char* expected; // nullptr: no IPv4 address in the message
    } cases[] = {
        {"local and peer", AddrMessage(AF_INET, 4).Scalar(IFA_ADDRESS, Ip("10.9.9.9")).Scalar(IFA_LOCAL, Ip("10.0.0.1")), "10.0.0.1"},
        {"address only", AddrMessage(AF_INET, 4).Scalar(IFA_ADDRESS, Ip("192.168.7.3")), "192.168.7.3"},
        {"no address", AddrMessage(AF_INET, 4).Scalar<std::uint32_t>(IFA_FLAGS, 0), nullptr},
        {"IPv6", AddrMessage(AF_INET6, 4).Attr(IFA_ADDRESS, "0123456789abcde"), nullptr},
    };
    for (const auto& c : cases) {
        std::optional<rtnl::AddrMessage> address;
        ASSERT_TRUE(rtnl::ParseAddrMessage(c.message.Bytes(), address)) << c.name;
        ASSERT_EQ(address.has_value(), c.expected != nullptr) << c.name;
        if (address) {
            EXPECT_EQ(address->address, Ip(c.expected)) << c.name;
            EXPECT_EQ(address->index, 4u);
            EXPECT_EQ(address->prefixLength, 24u);
        }
    }
}

TEST(ParseAddrMessage, RefusesMalformedMessages)
{
    const std::uint16_t two = 1;
    std::optional<rtnl::AddrMessage> address;
    EXPECT_FALSE(rtnl::ParseAddrMessage(AddrMessage(AF_INET, 1).Attr(IFA_LOCAL, &two, 2).Bytes(), address));
    EXPECT_FALSE(rtnl::ParseAddrMessage(AddrMessage(AF_INET, 1).BadAttr(IFA_LOCAL, 99).Bytes(), address));
    EXPECT_FALSE(rtnl::ParseAddrMessage(Message(RTM_NEWLINK).Body(LinkBody(1)).Bytes(), address));
    EXPECT_FALSE(address);
}

std::vector<std::uint8_t> Datagram(std::initializer_list<Message> messages)
{
    std::vector<std::uint8_t> bytes;
    for (const auto& m : messages) {
        const auto b = m.Bytes();
        bytes.insert(bytes.end(), b.begin(), b.end());
    }
    return bytes;
}

Message Done(std::int32_t error = 0, std::uint16_t flags = NLM_F_MULTI)
{
    Message m(NLMSG_DONE, flags);
    m.Body(error);
    return m;
}

Message Error(std::int32_t error)
{
    nlmsgerr body{};
    body.error = error;
    Message m(NLMSG_ERROR, 0);
    m.Body(body);
    return m;
}

Message Link(int index, std::uint16_t flags = NLM_F_MULTI, std::uint32_t seq = Seq, std::uint32_t port = Port)
{
    Message m(RTM_NEWLINK, flags, seq, port);
    m.Body(LinkBody(index));
    return m;
}

TEST(ScanDumpDatagram, HandsOverOwnMessagesAndStopsWhereTheDumpEnds)
{
    struct Case {
        const char* name;
        std::vector<std::uint8_t> datagram;
        DumpStep step;
        std::vector<std::uint32_t> indexes;
        bool interrupted;
    };
    auto truncated = Datagram({Link(1), Link(2)});
    truncated.resize(truncated.size() - 4);
    auto trailing = Datagram({Link(1)});
    trailing.resize(trailing.size() + 6);

    const Case cases[] = {
        {"more to come", Datagram({Link(1), Link(2)}), DumpStep::More, {1, 2}, false},
        {"done", Datagram({Link(1), Done()}), DumpStep::Done, {1}, false},
        {"done with error", Datagram({Link(1), Done(-4)}), DumpStep::Failed, {1}, false},
        {"error", Datagram({Error(-95)}), DumpStep::Failed, {}, false},
        {"acknowledgement", Datagram({Error(0), Link(3)}), DumpStep::More, {3}, false},
        {"overrun", Datagram({Message(NLMSG_OVERRUN)}), DumpStep::Failed, {}, false},
        {"stale sequence and foreign port skipped", Datagram({Link(1, NLM_F_MULTI, Seq - 1), Link(2, NLM_F_MULTI, Seq, 9), Link(3)}), DumpStep::More, {3}, false},
        {"interrupted", Datagram({Link(1, NLM_F_MULTI | NLM_F_DUMP_INTR), Done()}), DumpStep::Done, {1}, true},
        {"interrupted on done", Datagram({Link(1), Done(0, NLM_F_MULTI | NLM_F_DUMP_INTR)}), DumpStep::Done, {1}, true},
        {"message past the datagram", truncated, DumpStep::Failed, {1}, false},
        {"trailing partial header", trailing, DumpStep::Failed, {1}, false},
        {"empty", {}, DumpStep::More, {}, false},
    };
    for (const auto& c : cases) {
        std::vector<std::uint32_t> indexes;
        bool interrupted = false;
        const auto step = rtnl::ScanDumpDatagram(
            c.datagram, Port, Seq,
            [&](std::uint16_t, Bytes message) {
                indexes.push_back(rtnl::ParseLinkMessage(message).value().index);
                return true;
            },
            interrupted);
        EXPECT_EQ(step, c.step) << c.name;
        EXPECT_EQ(indexes, c.indexes) << c.name;
        EXPECT_EQ(interrupted, c.interrupted) << c.name;
    }
}

TEST(ScanDumpDatagram, ReportsTheErrorOfARefusedRequestOnly)
{
    const struct {
        const char* name;
        std::vector<std::uint8_t> datagram;
        DumpStep step;
        std::int32_t refusal;
    } cases[] = {
        {"request refused", Datagram({Error(-EOPNOTSUPP)}), DumpStep::Failed, -EOPNOTSUPP},
        {"dump failed part-way", Datagram({Link(1), Done(-EINTR)}), DumpStep::Failed, 0},
        {"acknowledgement", Datagram({Error(0), Link(1), Done()}), DumpStep::Done, 0},
        {"another request's refusal", Datagram({Message(NLMSG_ERROR, 0, Seq + 1).Body(nlmsgerr{-EINVAL, {}}), Done()}), DumpStep::Done, 0},
    };
    for (const auto& c : cases) {
        bool interrupted = false;
        std::int32_t refusal = 0;
        const auto step = rtnl::ScanDumpDatagram(c.datagram, Port, Seq, [](std::uint16_t, Bytes) { return true; },
                                                 interrupted, &refusal);
        EXPECT_EQ(step, c.step) << c.name;
        EXPECT_EQ(refusal, c.refusal) << c.name;
    }
}

TEST(ScanDumpDatagram, AHandlerRefusalFailsTheDump)
{
    bool interrupted = false;
    int calls = 0;
    const auto step = rtnl::ScanDumpDatagram(Datagram({Link(1), Link(2), Done()}), Port, Seq,
                                             [&](std::uint16_t, Bytes) { return ++calls < 1; }, interrupted);
    EXPECT_EQ(step, DumpStep::Failed);
    EXPECT_EQ(calls, 1);
}

TEST(DescribeLink, NamesTheKindOfDevice)
{
    const struct {
        const char *name, *kind, *driver;
        std::uint16_t type;
        const char *alias, *text;
    } cases[] = {
        {"veth0", "veth", "", ARPHRD_ETHER, "", "veth0 (veth)"},
        {"enp3s0", "", "e1000e", ARPHRD_ETHER, "", "enp3s0 (e1000e)"},
        {"br0", "bridge", "bridge", ARPHRD_ETHER, "LAN", "br0 (bridge) - LAN"},
        {"lo", "", "", ARPHRD_LOOPBACK, "", "lo (loopback)"},
        {"x0", "", "", ARPHRD_ETHER, "", "x0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rtnl::DescribeLink(c.name, c.kind, c.driver, c.type, c.alias), c.text);
}

TEST(SpeedFromMbps, TreatsTheUnknownMarkersAsUnknown)
{
    const struct {
        std::uint32_t mbps;
        std::uint64_t bps;
    } cases[] = {
        {0, 0}, {65535, 0}, {0xFFFFFFFFu, 0}, {10, 10'000'000}, {1000, 1'000'000'000},
        {10000, 10'000'000'000ull}, {400000, 400'000'000'000ull},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rtnl::SpeedFromMbps(c.mbps), c.bps) << c.mbps;
}

} // namespace

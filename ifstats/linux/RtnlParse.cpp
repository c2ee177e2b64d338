#include "RtnlParse.h"

#include <cstring>
#include <linux/if_addr.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/socket.h>

namespace rtnl {
namespace {

// Netlink payloads are only 4-aligned: every field is copied out, never cast in place.
template <class T>
T Load(Bytes bytes, std::size_t offset = 0)
{
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

constexpr std::size_t Align(std::size_t length)
{
    return (length + NLMSG_ALIGNTO - 1) & ~std::size_t{NLMSG_ALIGNTO - 1};
}

// Calls onAttribute(type, payload) for each attribute; false on an attribute
// that is shorter than its header or runs past the end.
template <class F>
bool ForEachAttribute(Bytes bytes, F&& onAttribute)
{
    while (bytes.size() >= sizeof(rtattr)) {
        const auto header = Load<rtattr>(bytes);
        if (header.rta_len < sizeof(rtattr) || header.rta_len > bytes.size())
            return false;
        const auto type = static_cast<std::uint16_t>(header.rta_type & NLA_TYPE_MASK);
        if (!onAttribute(type, bytes.subspan(RTA_LENGTH(0), header.rta_len - RTA_LENGTH(0))))
            return false;
        bytes = bytes.subspan(std::min(Align(header.rta_len), bytes.size()));
    }
    return bytes.empty();
}

std::string Text(Bytes payload, std::size_t limit)
{
    const auto* begin = reinterpret_cast<const char*>(payload.data());
    const std::size_t length = strnlen(begin, std::min(payload.size(), limit));
    return {begin, length};
}

template <class T>
bool Scalar(Bytes payload, T& out)
{
    if (payload.size() < sizeof(T))
        return false;
    out = Load<T>(payload);
    return true;
}

} // namespace

DumpStep ScanDumpDatagram(Bytes datagram, std::uint32_t portId, std::uint32_t sequence,
                          const MessageHandler& onMessage, bool& interrupted, std::int32_t* refusal)
{
    while (!datagram.empty()) {
        if (datagram.size() < sizeof(nlmsghdr))
            return DumpStep::Failed;
        const auto header = Load<nlmsghdr>(datagram);
        if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > datagram.size())
            return DumpStep::Failed;
        const Bytes message = datagram.first(header.nlmsg_len);
        datagram = datagram.subspan(std::min(Align(header.nlmsg_len), datagram.size()));

        if (header.nlmsg_pid != portId || header.nlmsg_seq != sequence)
            continue; // a stale reply of an earlier, abandoned request
        if (header.nlmsg_flags & NLM_F_DUMP_INTR)
            interrupted = true;

        switch (header.nlmsg_type) {
        case NLMSG_NOOP:
            continue;
        case NLMSG_DONE: {
            // A dump that failed part-way reports its error in the DONE payload.
            std::int32_t error = 0;
            if (message.size() >= NLMSG_LENGTH(sizeof error))
                error = Load<std::int32_t>(message, NLMSG_HDRLEN);
            return error < 0 ? DumpStep::Failed : DumpStep::Done;
        }
        case NLMSG_ERROR: {
            if (message.size() < NLMSG_LENGTH(sizeof(std::int32_t)))
                return DumpStep::Failed;
            if (const auto error = Load<std::int32_t>(message, NLMSG_HDRLEN); error != 0) {
                if (refusal != nullptr)
                    *refusal = error;
                return DumpStep::Failed;
            }
            continue; // an acknowledgement
        }
        case NLMSG_OVERRUN:
            return DumpStep::Failed;
        default:
            if (!onMessage(header.nlmsg_type, message))
                return DumpStep::Failed;
        }
    }
    return DumpStep::More;
}

std::optional<LinkMessage> ParseLinkMessage(Bytes message)
{
    constexpr std::size_t bodyAt = NLMSG_HDRLEN;
    if (message.size() < NLMSG_LENGTH(sizeof(ifinfomsg)) || Load<nlmsghdr>(message).nlmsg_type != RTM_NEWLINK)
        return std::nullopt;
    const auto info = Load<ifinfomsg>(message, bodyAt);
    LinkMessage link;
    link.index = static_cast<std::uint32_t>(info.ifi_index);
    link.type = info.ifi_type;
    link.flags = info.ifi_flags;

    const std::size_t attributesAt = std::min<std::size_t>(NLMSG_SPACE(sizeof(ifinfomsg)), message.size());
    const bool ok = ForEachAttribute(message.subspan(attributesAt), [&](std::uint16_t type, Bytes payload) {
        switch (type) {
        case IFLA_IFNAME:
            link.name = Text(payload, IFNAMSIZ);
            return true;
        case IFLA_IFALIAS:
            link.alias = Text(payload, payload.size());
            return true;
        case IFLA_ADDRESS:
            link.address.assign(payload.begin(), payload.end());
            return true;
        case IFLA_MTU:
            return Scalar(payload, link.mtu);
        case IFLA_OPERSTATE:
            return Scalar(payload, link.operstate);
        case IFLA_CARRIER:
            return Scalar(payload, link.carrier);
        case IFLA_CARRIER_CHANGES:
            return Scalar(payload, link.carrierChanges);
        case IFLA_STATS64:
            if (payload.size() < offsetof(rtnl_link_stats64, tx_bytes) + sizeof(__u64))
                return false;
            link.rxBytes = Load<std::uint64_t>(payload, offsetof(rtnl_link_stats64, rx_bytes));
            link.txBytes = Load<std::uint64_t>(payload, offsetof(rtnl_link_stats64, tx_bytes));
            link.stats64 = true;
            return true;
        case IFLA_STATS:
            // Only where the kernel sent no 64-bit block, whichever comes first.
            if (payload.size() < offsetof(rtnl_link_stats, tx_bytes) + sizeof(__u32))
                return false;
            if (!link.stats64) {
                link.rxBytes = Load<std::uint32_t>(payload, offsetof(rtnl_link_stats, rx_bytes));
                link.txBytes = Load<std::uint32_t>(payload, offsetof(rtnl_link_stats, tx_bytes));
            }
            return true;
        case IFLA_LINKINFO:
            return ForEachAttribute(payload, [&](std::uint16_t nested, Bytes inner) {
                if (nested == IFLA_INFO_KIND)
                    link.kind = Text(inner, inner.size());
                return true;
            });
        default:
            return true;
        }
    });
    if (!ok)
        return std::nullopt;
    return link;
}

std::optional<StatsMessage> ParseStatsMessage(Bytes message)
{
    if (message.size() < NLMSG_LENGTH(sizeof(if_stats_msg)) || Load<nlmsghdr>(message).nlmsg_type != RTM_NEWSTATS)
        return std::nullopt;
    StatsMessage stats;
    stats.index = Load<if_stats_msg>(message, NLMSG_HDRLEN).ifindex;
    bool have64 = false;
    const std::size_t attributesAt = std::min<std::size_t>(NLMSG_SPACE(sizeof(if_stats_msg)), message.size());
    const bool ok = ForEachAttribute(message.subspan(attributesAt), [&](std::uint16_t type, Bytes payload) {
        if (type != IFLA_STATS_LINK_64)
            return true; // other blocks, and the pad that may put this one on 8 bytes
        if (payload.size() < offsetof(rtnl_link_stats64, tx_bytes) + sizeof(__u64))
            return false;
        stats.rxBytes = Load<std::uint64_t>(payload, offsetof(rtnl_link_stats64, rx_bytes));
        stats.txBytes = Load<std::uint64_t>(payload, offsetof(rtnl_link_stats64, tx_bytes));
        have64 = true;
        return true;
    });
    if (!ok || !have64)
        return std::nullopt;
    return stats;
}

bool ParseAddrMessage(Bytes message, std::optional<AddrMessage>& address)
{
    address.reset();
    if (message.size() < NLMSG_LENGTH(sizeof(ifaddrmsg)) || Load<nlmsghdr>(message).nlmsg_type != RTM_NEWADDR)
        return false;
    const auto info = Load<ifaddrmsg>(message, NLMSG_HDRLEN);
    AddrMessage result;
    result.index = info.ifa_index;
    result.prefixLength = info.ifa_prefixlen;
    bool haveLocal = false;
    bool haveAddress = false;
    std::uint32_t peer = 0;
    const std::size_t attributesAt = std::min<std::size_t>(NLMSG_SPACE(sizeof(ifaddrmsg)), message.size());
    const bool ok = ForEachAttribute(message.subspan(attributesAt), [&](std::uint16_t type, Bytes payload) {
        switch (type) {
        case IFA_LOCAL:
            haveLocal = true;
            return Scalar(payload, result.address);
        case IFA_ADDRESS:
            haveAddress = true;
            return Scalar(payload, peer);
        case IFA_BROADCAST:
            return Scalar(payload, result.broadcast);
        default:
            return true;
        }
    });
    if (!ok)
        return false;
    if (info.ifa_family != AF_INET || (!haveLocal && !haveAddress))
        return true;
    // On a point-to-point link IFA_ADDRESS is the peer; the interface's own is IFA_LOCAL.
    if (!haveLocal)
        result.address = peer;
    address = result;
    return true;
}

} // namespace rtnl

namespace rtnl {

std::string DescribeLink(const std::string& name, const std::string& kind, const std::string& driver,
                         std::uint16_t type, const std::string& alias)
{
    std::string what = kind.empty() ? driver : kind;
    if (what.empty() && type == ARPHRD_LOOPBACK)
        what = "loopback";
    std::string text = name;
    if (!what.empty())
        text += " (" + what + ")";
    if (!alias.empty())
        text += " - " + alias;
    return text;
}

} // namespace rtnl

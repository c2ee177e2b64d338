// The interface and IPv4 address tables of Linux, read over rtnetlink.
//
// A read is two calls: the size call dumps the kernel's table and keeps it as a
// snapshot, and the fill call that follows right after copies that snapshot, so
// one read costs one dump. A fill without a fresh snapshot dumps afresh and
// answers ERROR_INSUFFICIENT_BUFFER if the table has outgrown the buffer.
//
// The full link dump is costly (IPv6 settings and statistics of every link).
// While a watch on link notifications stays quiet, a read instead takes the
// rows of the last full dump, asks for each link that is down on its own (the
// kernel notifies no alias or carrier change of those), and takes only the
// byte counters of all, from a stats dump.

#include "ifstats/IPHLPAPI.h"

#include "LinkProbe.h"
#include "LinkReads.h"
#include "Netlink.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <linux/if_link.h>
#include <linux/rtnetlink.h>
#include <memory>
#include <mutex>
#include <net/if.h>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unordered_map>

GetIfTableFunc GetIfTable = &PlatformGetIfTable;
GetIpAddrTableFunc GetIpAddrTable = &PlatformGetIpAddrTable;

namespace {

using Clock = std::chrono::steady_clock;
// Long enough for a size call and its fill under a sanitizer; short enough
// that a fill never serves a table from an earlier poll.
constexpr auto SnapshotLifetime = std::chrono::milliseconds(500);

template <class Row>
struct Snapshot {
    std::vector<Row> rows;
    Clock::time_point takenAt{};
    bool ordered = false;
    bool pending = false;

    bool FreshFor(bool order) const
    {
        return pending && ordered == order && Clock::now() - takenAt < SnapshotLifetime;
    }
};

// Facts that take an ioctl each, kept per link and read again only when the
// link is new, renamed or its carrier or operational state changed.
struct LinkFacts {
    std::string name;
    std::string kind;
    std::uint8_t operstate = 0;
    std::uint8_t carrier = 0;
    std::uint32_t carrierChanges = 0;
    std::uint64_t speed = 0;
    std::string driver;
    std::uint64_t seenInRead = 0;
};

// Kept between reads, and all of it belongs to one network namespace:
// interface indexes mean something only within one.
struct KernelState {
    ino_t netns = 0;
    std::unique_ptr<rtnl::NetlinkSocket> socket;
    std::unique_ptr<rtnl::LinkWatch> watch;
    std::unordered_map<std::uint32_t, LinkFacts> links;
    std::uint64_t reads = 0;
    // The rows of the last full read, in the kernel's order, while no link
    // notification has come since.
    std::optional<std::vector<MIB_IFROW>> linkRows;
};

std::mutex Lock;
Snapshot<MIB_IFROW> IfSnapshot;
Snapshot<MIB_IPADDRROW> AddrSnapshot;
KernelState Kernel;
// The kernel has no RTM_GETSTATS (before Linux 4.7): every read is a full one.
bool StatsRefused = false;
rtnl::LinkReadCounts Counts;

ino_t CurrentNetns()
{
    struct stat info{};
    return stat("/proc/thread-self/ns/net", &info) == 0 ? info.st_ino : 0;
}

bool Renamed(const LinkFacts& facts, const rtnl::LinkMessage& link)
{
    return facts.name != link.name || facts.kind != link.kind;
}

bool StateChanged(const LinkFacts& facts, const rtnl::LinkMessage& link)
{
    return facts.operstate != link.operstate || facts.carrier != link.carrier
        || facts.carrierChanges != link.carrierChanges;
}

const LinkFacts& RefreshFacts(const rtnl::LinkMessage& link, std::optional<rtnl::LinkProbe>& probe)
{
    auto [it, added] = Kernel.links.try_emplace(link.index);
    LinkFacts& facts = it->second;
    const bool renamed = added || Renamed(facts, link);
    if (renamed || StateChanged(facts, link)) {
        if (!probe)
            probe.emplace();
        facts.speed = probe->Speed(link.name);
        if (renamed)
            facts.driver = link.kind.empty() ? probe->Driver(link.name) : std::string();
        facts.name = link.name;
        facts.kind = link.kind;
        facts.operstate = link.operstate;
        facts.carrier = link.carrier;
        facts.carrierChanges = link.carrierChanges;
    }
    facts.seenInRead = Kernel.reads;
    return facts;
}

MIB_IFROW MakeRow(const rtnl::LinkMessage& link, const LinkFacts& facts)
{
    MIB_IFROW row{};
    std::memcpy(row.szName, link.name.data(), std::min(link.name.size(), sizeof row.szName - 1));
    row.dwIndex = link.index;
    row.dwType = link.type;
    row.dwMtu = link.mtu;
    row.dwSpeed = facts.speed;
    row.dwPhysAddrLen = static_cast<std::uint32_t>(std::min(link.address.size(), row.bPhysAddr.size()));
    std::copy_n(link.address.begin(), row.dwPhysAddrLen, row.bPhysAddr.begin());
    row.dwAdminStatus = (link.flags & IFF_UP) ? 1 : 2;
    row.dwOperStatus = link.operstate;
    row.dwInOctets = link.rxBytes;
    row.dwOutOctets = link.txBytes;
    const std::string description = rtnl::DescribeLink(link.name, link.kind, facts.driver, link.type, link.alias);
    const std::size_t length = std::min(description.size(), sizeof row.bDescr - 1);
    std::memcpy(row.bDescr, description.data(), length);
    row.dwDescrLen = static_cast<std::uint32_t>(length + 1);
    return row;
}

std::optional<std::vector<MIB_IFROW>> ReadAllLinks(rtnl::NetlinkSocket& socket)
{
    ++Kernel.reads;
    ++Counts.full;
    std::optional<rtnl::LinkProbe> probe; // opened only when some link needs it
    std::vector<MIB_IFROW> rows;
    bool all64 = true;
    const bool ok = rtnl::ConsistentDump(
        socket, RTM_GETLINK, AF_UNSPEC,
        [&](std::uint16_t, rtnl::Bytes message) {
            const auto link = rtnl::ParseLinkMessage(message);
            if (!link)
                return false;
            all64 = all64 && link->stats64;
            rows.push_back(MakeRow(*link, RefreshFacts(*link, probe)));
            return true;
        },
        [&] {
            rows.clear();
            all64 = true;
        });
    if (!ok)
        return std::nullopt;
    std::erase_if(Kernel.links, [](const auto& entry) { return entry.second.seenInRead != Kernel.reads; });
    // A 32-bit counter the stats dump would give in 64 bits: no shortcut then.
    if (all64)
        Kernel.linkRows = rows;
    return rows;
}

// Ok: the rows of the last full read, brought up to date, are this read's.
// Missed: a full read must answer. Failed: likewise, on a new socket, as the
// old one may be left mid-dump.
enum class Shortcut { Ok, Missed, Failed };

// Overwrites the byte counters of `rows` from a stats dump, which must list
// the same links in the same order. Both blocks are filled by dev_get_stats(),
// so these are the very counters IFLA_STATS64 gives.
Shortcut ReadCounters(rtnl::NetlinkSocket& socket, std::vector<MIB_IFROW>& rows)
{
    if_stats_msg request{};
    request.family = AF_UNSPEC;
    request.filter_mask = IFLA_STATS_FILTER_BIT(IFLA_STATS_LINK_64);
    std::size_t next = 0;
    bool same = true;
    const auto result = rtnl::DumpConsistently(
        socket, RTM_GETSTATS, rtnl::AsBytes(request),
        [&](std::uint16_t, rtnl::Bytes message) {
            const auto stats = rtnl::ParseStatsMessage(message);
            if (!stats)
                return false;
            if (next < rows.size() && rows[next].dwIndex == stats->index) {
                rows[next].dwInOctets = stats->rxBytes;
                rows[next].dwOutOctets = stats->txBytes;
            } else {
                same = false; // read on to the end, so that the socket is ready for the next dump
            }
            ++next;
            return true;
        },
        [&] {
            next = 0;
            same = true;
        });
    switch (result) {
    case rtnl::DumpResult::Ok:
        return same && next == rows.size() ? Shortcut::Ok : Shortcut::Missed;
    case rtnl::DumpResult::Refused:
        if (socket.LastRefusal() == -EOPNOTSUPP || socket.LastRefusal() == -EINVAL)
            StatsRefused = true;
        return Shortcut::Missed;
    case rtnl::DumpResult::Interrupted:
        return Shortcut::Missed;
    case rtnl::DumpResult::Failed:
        break;
    }
    return Shortcut::Failed;
}

// All of a row but its counters.
bool SameRow(const MIB_IFROW& a, const MIB_IFROW& b)
{
    return std::memcmp(a.szName, b.szName, sizeof a.szName) == 0 && a.dwIndex == b.dwIndex && a.dwType == b.dwType
        && a.dwMtu == b.dwMtu && a.dwSpeed == b.dwSpeed && a.dwPhysAddrLen == b.dwPhysAddrLen
        && a.bPhysAddr == b.bPhysAddr && a.dwAdminStatus == b.dwAdminStatus && a.dwOperStatus == b.dwOperStatus
        && a.dwDescrLen == b.dwDescrLen && std::memcmp(a.bDescr, b.bDescr, sizeof a.bDescr) == 0;
}

// The kernel notifies a state change (an alias, the carrier) only of a link
// that is up, so a link that is down is asked for on its own: Ok when a full
// read would make the same row of it and probe nothing again.
Shortcut CheckDownLink(rtnl::NetlinkSocket& socket, const MIB_IFROW& cached)
{
    struct {
        ifinfomsg info;
        rtattr maskHeader;
        std::uint32_t mask;
    } request{};
    static_assert(sizeof request == NLMSG_ALIGN(sizeof(ifinfomsg)) + RTA_LENGTH(sizeof(std::uint32_t)));
    request.info.ifi_family = AF_UNSPEC;
    request.info.ifi_index = static_cast<int>(cached.dwIndex);
    request.maskHeader.rta_len = RTA_LENGTH(sizeof request.mask);
    request.maskHeader.rta_type = IFLA_EXT_MASK;
    request.mask = RTEXT_FILTER_SKIP_STATS;
    std::optional<rtnl::LinkMessage> link;
    const auto result = socket.Request(RTM_GETLINK, rtnl::AsBytes(request), [&](std::uint16_t, rtnl::Bytes message) {
        link = rtnl::ParseLinkMessage(message);
        return link.has_value();
    });
    if (result == rtnl::DumpResult::Failed)
        return Shortcut::Failed;
    if (result != rtnl::DumpResult::Ok || !link || link->index != cached.dwIndex)
        return Shortcut::Missed; // gone (ENODEV), or answered oddly
    const auto facts = Kernel.links.find(link->index);
    if (facts == Kernel.links.end() || Renamed(facts->second, *link) || StateChanged(facts->second, *link))
        return Shortcut::Missed;
    return SameRow(MakeRow(*link, facts->second), cached) ? Shortcut::Ok : Shortcut::Missed;
}

// The rows of the last full read with fresh counters, when nothing else in
// them can have changed.
Shortcut ReadShortcut(rtnl::NetlinkSocket& socket, const std::vector<MIB_IFROW>& cached,
                      std::vector<MIB_IFROW>& rows)
{
    const auto isDown = [](const MIB_IFROW& row) { return row.dwAdminStatus != 1; };
    // A link asked for on its own costs about twice its share of a full dump.
    if (2 * static_cast<std::size_t>(std::ranges::count_if(cached, isDown)) > cached.size())
        return Shortcut::Missed;
    for (const auto& row : cached)
        if (isDown(row))
            if (const Shortcut checked = CheckDownLink(socket, row); checked != Shortcut::Ok)
                return checked;
    rows = cached;
    return ReadCounters(socket, rows);
}

// True when links may have changed since the last call. The watch is made
// before the full read that follows, so no change after that read goes unseen.
bool LinksMayHaveChanged()
{
    if (Kernel.watch && Kernel.watch->IsOpen())
        return Kernel.watch->Drain();
    Kernel.watch = std::make_unique<rtnl::LinkWatch>();
    return true;
}

std::optional<std::vector<MIB_IFROW>> ReadLinks(std::unique_ptr<rtnl::NetlinkSocket>& socket)
{
    if (LinksMayHaveChanged())
        Kernel.linkRows.reset();
    if (Kernel.linkRows && !StatsRefused) {
        std::vector<MIB_IFROW> rows;
        switch (ReadShortcut(*socket, *Kernel.linkRows, rows)) {
        case Shortcut::Ok:
            ++Counts.counters;
            return rows;
        case Shortcut::Missed:
            break;
        case Shortcut::Failed:
            socket = std::make_unique<rtnl::NetlinkSocket>();
            break;
        }
        Kernel.linkRows.reset();
    }
    return ReadAllLinks(*socket);
}

std::uint32_t PrefixMask(std::uint8_t length)
{
    const std::uint32_t hostOrder = length == 0 ? 0 : ~std::uint32_t{0} << (32 - std::min<std::uint8_t>(length, 32));
    return htonl(hostOrder);
}

std::optional<std::vector<MIB_IPADDRROW>> ReadAddresses(std::unique_ptr<rtnl::NetlinkSocket>& socket)
{
    std::vector<MIB_IPADDRROW> rows;
    const bool ok = rtnl::ConsistentDump(
        *socket, RTM_GETADDR, AF_INET,
        [&](std::uint16_t, rtnl::Bytes message) {
            std::optional<rtnl::AddrMessage> address;
            if (!rtnl::ParseAddrMessage(message, address))
                return false;
            if (address) {
                MIB_IPADDRROW row{};
                row.dwAddr = address->address;
                row.dwIndex = address->index;
                row.dwMask = PrefixMask(address->prefixLength);
                row.dwBCastAddr = address->broadcast;
                row.dwReasmSize = 65535;
                rows.push_back(row);
            }
            return true;
        },
        [&] { rows.clear(); });
    if (!ok)
        return std::nullopt;
    return rows;
}

void SortRows(std::vector<MIB_IFROW>& rows)
{
    std::ranges::sort(rows, {}, &MIB_IFROW::dwIndex);
}

void SortRows(std::vector<MIB_IPADDRROW>& rows)
{
    // Ascending in dotted order: compare as host-order numbers.
    std::ranges::sort(rows, [](const MIB_IPADDRROW& a, const MIB_IPADDRROW& b) {
        return std::pair(ntohl(a.dwAddr), a.dwIndex) < std::pair(ntohl(b.dwAddr), b.dwIndex);
    });
}

template <class Table, class Reader>
std::uint32_t ServeTable(Table* table, std::uint32_t* size, bool order, Snapshot<TableRow<Table>>& snapshot,
                         Reader read)
{
    if (size == nullptr)
        return ERROR_INVALID_PARAMETER;
    const std::lock_guard guard(Lock);
    if (table != nullptr && snapshot.FreshFor(order)) {
        const std::uint32_t result = WriteTable(table, size, snapshot.rows);
        if (result == NO_ERROR)
            snapshot.pending = false;
        return result;
    }
    if (const ino_t netns = CurrentNetns(); netns != Kernel.netns) {
        Kernel = KernelState{};
        Kernel.netns = netns;
    }
    if (!Kernel.socket)
        Kernel.socket = std::make_unique<rtnl::NetlinkSocket>();
    auto rows = read(Kernel.socket);
    if (!rows) {
        Kernel.socket.reset();
        return ERROR_GEN_FAILURE;
    }
    if (order)
        SortRows(*rows);
    const std::uint32_t result = WriteTable(table, size, *rows);
    if (result == ERROR_INSUFFICIENT_BUFFER) {
        snapshot.rows = std::move(*rows);
        snapshot.takenAt = Clock::now();
        snapshot.ordered = order;
        snapshot.pending = true;
    } else {
        snapshot.pending = false;
    }
    return result;
}

} // namespace

std::uint32_t PlatformGetIfTable(MIB_IFTABLE* table, std::uint32_t* size, bool order)
{
    return ServeTable(table, size, order, IfSnapshot, ReadLinks);
}

std::uint32_t PlatformGetIpAddrTable(MIB_IPADDRTABLE* table, std::uint32_t* size, bool order)
{
    return ServeTable(table, size, order, AddrSnapshot, ReadAddresses);
}

namespace rtnl {

LinkReadCounts CountLinkReads()
{
    const std::lock_guard guard(Lock);
    return Counts;
}

void ForgetLinkRows()
{
    const std::lock_guard guard(Lock);
    Kernel.linkRows.reset();
}

} // namespace rtnl

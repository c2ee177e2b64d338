// The interface and IPv4 address tables of Linux, read over rtnetlink.
//
// A read is two calls: the size call dumps the kernel's table and keeps it as a
// snapshot, and the fill call that follows right after copies that snapshot, so
// one read costs one dump. A fill without a fresh snapshot dumps afresh and
// answers ERROR_INSUFFICIENT_BUFFER if the table has outgrown the buffer.

#include "ifstats/IPHLPAPI.h"

#include "LinkProbe.h"
#include "Netlink.h"

#include <arpa/inet.h>
#include <chrono>
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
    std::unordered_map<std::uint32_t, LinkFacts> links;
    std::uint64_t reads = 0;
};

std::mutex Lock;
Snapshot<MIB_IFROW> IfSnapshot;
Snapshot<MIB_IPADDRROW> AddrSnapshot;
KernelState Kernel;

ino_t CurrentNetns()
{
    struct stat info{};
    return stat("/proc/thread-self/ns/net", &info) == 0 ? info.st_ino : 0;
}

const LinkFacts& RefreshFacts(const rtnl::LinkMessage& link, std::optional<rtnl::LinkProbe>& probe)
{
    auto [it, added] = Kernel.links.try_emplace(link.index);
    LinkFacts& facts = it->second;
    const bool renamed = added || facts.name != link.name || facts.kind != link.kind;
    const bool changed = facts.operstate != link.operstate || facts.carrier != link.carrier
        || facts.carrierChanges != link.carrierChanges;
    if (renamed || changed) {
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

std::optional<std::vector<MIB_IFROW>> ReadLinks(rtnl::NetlinkSocket& socket)
{
    ++Kernel.reads;
    std::optional<rtnl::LinkProbe> probe; // opened only when some link needs it
    std::vector<MIB_IFROW> rows;
    const bool ok = rtnl::ConsistentDump(
        socket, RTM_GETLINK, AF_UNSPEC,
        [&](std::uint16_t, rtnl::Bytes message) {
            const auto link = rtnl::ParseLinkMessage(message);
            if (!link)
                return false;
            rows.push_back(MakeRow(*link, RefreshFacts(*link, probe)));
            return true;
        },
        [&] { rows.clear(); });
    if (!ok)
        return std::nullopt;
    std::erase_if(Kernel.links, [](const auto& entry) { return entry.second.seenInRead != Kernel.reads; });
    return rows;
}

std::uint32_t PrefixMask(std::uint8_t length)
{
    const std::uint32_t hostOrder = length == 0 ? 0 : ~std::uint32_t{0} << (32 - std::min<std::uint8_t>(length, 32));
    return htonl(hostOrder);
}

std::optional<std::vector<MIB_IPADDRROW>> ReadAddresses(rtnl::NetlinkSocket& socket)
{
    std::vector<MIB_IPADDRROW> rows;
    const bool ok = rtnl::ConsistentDump(
        socket, RTM_GETADDR, AF_INET,
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
    auto rows = read(*Kernel.socket);
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

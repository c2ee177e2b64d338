#pragma once
// Pure parsers of rtnetlink replies: no sockets here, only bytes in and facts out,
// so every malformed shape can be tested with messages a test builds.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace rtnl {

using Bytes = std::span<const std::uint8_t>;

struct LinkMessage {
    std::uint32_t index = 0;
    std::uint16_t type = 0; // ARPHRD_*
    std::uint32_t flags = 0; // IFF_*
    std::string name;
    std::string kind;  // IFLA_INFO_KIND: veth, bridge, ifb ...; empty for physical devices
    std::string alias;
    std::vector<std::uint8_t> address;
    std::uint32_t mtu = 0;
    std::uint8_t operstate = 0;
    std::uint8_t carrier = 0;
    std::uint32_t carrierChanges = 0;
    std::uint64_t rxBytes = 0;
    std::uint64_t txBytes = 0;
    bool stats64 = false; // the counters came from IFLA_STATS64, not the 32-bit block
};

// The byte counters of one link, from RTM_NEWSTATS (IFLA_STATS_LINK_64).
struct StatsMessage {
    std::uint32_t index = 0;
    std::uint64_t rxBytes = 0;
    std::uint64_t txBytes = 0;
};

struct AddrMessage {
    std::uint32_t index = 0;
    std::uint32_t address = 0; // network byte order, as the kernel sends it
    std::uint8_t prefixLength = 0;
    std::uint32_t broadcast = 0;
};

enum class DumpStep { More, Done, Failed };

// Called with each payload message of a dump (header included); false stops the dump as failed.
using MessageHandler = std::function<bool(std::uint16_t type, Bytes message)>;

// Walks one datagram of a dump reply. Messages of another port or sequence are
// skipped; NLM_F_DUMP_INTR sets `interrupted`; an error, an overrun or a message
// that does not fit the datagram fails the dump. The error of an NLMSG_ERROR
// (the kernel refusing the request) goes to `refusal` when given.
DumpStep ScanDumpDatagram(Bytes datagram, std::uint32_t portId, std::uint32_t sequence,
                          const MessageHandler& onMessage, bool& interrupted, std::int32_t* refusal = nullptr);

// RTM_NEWLINK message (header included); nullopt when malformed.
std::optional<LinkMessage> ParseLinkMessage(Bytes message);

// RTM_NEWSTATS message (header included) that carries IFLA_STATS_LINK_64; nullopt
// when malformed or without that block.
std::optional<StatsMessage> ParseStatsMessage(Bytes message);

// RTM_NEWADDR message (header included). False when malformed; `address` stays
// empty for a message that carries no IPv4 address.
bool ParseAddrMessage(Bytes message, std::optional<AddrMessage>& address);

} // namespace rtnl

namespace rtnl {

// What a person recognises the interface by: "veth0 (veth)", "enp3s0 (e1000e) - Uplink".
// `kind` wins over `driver`; a loopback device with neither is "(loopback)".
std::string DescribeLink(const std::string& name, const std::string& kind, const std::string& driver,
                         std::uint16_t type, const std::string& alias);

} // namespace rtnl

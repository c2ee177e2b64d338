#pragma once
// The interface and IPv4 address tables as the monitor sees them: row and table
// layouts, the arrays the readers fill, and the two platform calls behind
// replaceable bindings (tests put a fake table in the platform's place).

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

inline constexpr std::uint32_t NO_ERROR = 0;
inline constexpr std::uint32_t ERROR_NOT_SUPPORTED = 50;
inline constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr std::uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr std::uint32_t ERROR_GEN_FAILURE = 31;

inline constexpr std::size_t MAXLEN_PHYSADDR = 8;
inline constexpr std::size_t MAXLEN_IFDESCR = 256;
inline constexpr std::size_t MAX_INTERFACE_NAME_LEN = 16;

using TPhysAddr = std::array<std::uint8_t, MAXLEN_PHYSADDR>;

struct MIB_IFROW {
    char szName[MAX_INTERFACE_NAME_LEN]; // kernel name, NUL-terminated
    std::uint32_t dwIndex;
    std::uint32_t dwType; // link-layer type (ARPHRD_*)
    std::uint32_t dwMtu;
    std::uint64_t dwSpeed; // bits per second, 0 when unknown
    std::uint32_t dwPhysAddrLen;
    TPhysAddr bPhysAddr;
    std::uint32_t dwAdminStatus; // 1 up, 2 down
    std::uint32_t dwOperStatus;  // RFC 2863 operational state
    std::uint64_t dwInOctets;
    std::uint64_t dwOutOctets;
    std::uint32_t dwDescrLen; // counts the terminating NUL
    std::uint8_t bDescr[MAXLEN_IFDESCR];
};

struct MIB_IPADDRROW {
    std::uint32_t dwAddr; // network byte order: first octet in the lowest byte
    std::uint32_t dwIndex;
    std::uint32_t dwMask;
    std::uint32_t dwBCastAddr;
    std::uint32_t dwReasmSize;
    std::uint16_t unused1;
    std::uint16_t wType;
};
static_assert(sizeof(MIB_IPADDRROW) == 24);

struct MIB_IFTABLE {
    std::uint32_t dwNumEntries;
    MIB_IFROW table[1];
};

struct MIB_IPADDRTABLE {
    std::uint32_t dwNumEntries;
    MIB_IPADDRROW table[1];
};

static_assert(std::is_trivially_copyable_v<MIB_IFROW> && std::is_standard_layout_v<MIB_IFTABLE>);
static_assert(std::is_trivially_copyable_v<MIB_IPADDRROW> && std::is_standard_layout_v<MIB_IPADDRTABLE>);

using TMIBIfArray = std::vector<MIB_IFROW>;
using TMibIPAddrArray = std::vector<MIB_IPADDRROW>;

using GetIfTableFunc = std::uint32_t (*)(MIB_IFTABLE* table, std::uint32_t* size, bool order);
using GetIpAddrTableFunc = std::uint32_t (*)(MIB_IPADDRTABLE* table, std::uint32_t* size, bool order);

// Bound to the platform's implementation; a test may rebind them.
extern GetIfTableFunc GetIfTable;
extern GetIpAddrTableFunc GetIpAddrTable;

// The platform's own implementations, for restoring a binding.
std::uint32_t PlatformGetIfTable(MIB_IFTABLE* table, std::uint32_t* size, bool order);
std::uint32_t PlatformGetIpAddrTable(MIB_IPADDRTABLE* table, std::uint32_t* size, bool order);

template <class Table>
using TableRow = std::remove_cvref_t<decltype(std::declval<Table>().table[0])>;

// Bytes a table buffer of `rows` rows needs; never less than the struct, so
// that even an empty table has room for its entry count.
template <class Table>
constexpr std::size_t TableBytes(std::size_t rows)
{
    return std::max(sizeof(Table), offsetof(Table, table) + rows * sizeof(TableRow<Table>));
}

// The two-call contract shared by every implementation of the platform calls:
// too small a buffer answers ERROR_INSUFFICIENT_BUFFER with the size needed;
// a large enough one is filled and answers NO_ERROR.
template <class Table>
std::uint32_t WriteTable(Table* table, std::uint32_t* size, const std::vector<TableRow<Table>>& rows)
{
    if (size == nullptr)
        return ERROR_INVALID_PARAMETER;
    const std::size_t need = TableBytes<Table>(rows.size());
    if (need > UINT32_MAX)
        return ERROR_NOT_SUPPORTED;
    if (table == nullptr || *size < need) {
        *size = static_cast<std::uint32_t>(need);
        return ERROR_INSUFFICIENT_BUFFER;
    }
    auto* bytes = reinterpret_cast<std::byte*>(table);
    const auto count = static_cast<std::uint32_t>(rows.size());
    std::memcpy(bytes + offsetof(Table, dwNumEntries), &count, sizeof count);
    if (!rows.empty())
        std::memcpy(bytes + offsetof(Table, table), rows.data(), rows.size() * sizeof(TableRow<Table>));
    return NO_ERROR;
}

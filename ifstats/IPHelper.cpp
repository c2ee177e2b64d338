#include "ifstats/IPHelper.h"

#include <cstdio>
#include <memory>

namespace {

// Both readers: one size call, one fill call, no retry. Anything off leaves the
// array as it came; the temporary buffer goes with the scope on every path.
template <class Table, class Func>
void ReadTable(Func call, bool order, std::vector<TableRow<Table>>& rows)
{
    using Row = TableRow<Table>;
    std::uint32_t size = 0;
    if (call(nullptr, &size, order) != ERROR_INSUFFICIENT_BUFFER)
        return;
    const std::uint32_t allocated = size;
    constexpr std::size_t offset = offsetof(Table, table);
    if (allocated < sizeof(std::uint32_t))
        return;
    // Zeroed, so a platform that fills less than it asked for cannot leak stale bytes into rows.
    auto buffer = std::make_unique<std::byte[]>(allocated);
    if (call(reinterpret_cast<Table*>(buffer.get()), &size, order) != NO_ERROR)
        return;
    std::uint32_t count = 0;
    std::memcpy(&count, buffer.get() + offsetof(Table, dwNumEntries), sizeof count);
    if (count == 0)
        return;
    // An entry count that runs past the buffer is a malformed table, not rows to read.
    if (allocated < offset || count > (allocated - offset) / sizeof(Row))
        return;
    rows.resize(count);
    std::memcpy(rows.data(), buffer.get() + offset, std::size_t{count} * sizeof(Row));
}

} // namespace

void GetIfTableRows(TMIBIfArray& rows)
{
    ReadTable<MIB_IFTABLE>(GetIfTable, false, rows);
}

void GetIpAddrTableRows(TMibIPAddrArray& rows)
{
    ReadTable<MIB_IPADDRTABLE>(GetIpAddrTable, true, rows);
}

std::string MacAddrToStr(TPhysAddr addr, std::int32_t length)
{
    if (length <= 0)
        return "00-00-00-00-00-00";
    const auto count = std::min<std::size_t>(static_cast<std::size_t>(length), addr.size());
    std::string text;
    text.reserve(count * 3);
    static constexpr char hex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < count; ++i) {
        text += hex[addr[i] >> 4];
        text += hex[addr[i] & 0x0F];
        text += '-';
    }
    text.pop_back();
    return text;
}

std::string IpAddrToStr(std::uint32_t addr)
{
    // Bytes in memory order, so the first octet comes first on any byte order.
    std::uint8_t octets[4];
    std::memcpy(octets, &addr, sizeof octets);
    char text[17];
    std::snprintf(text, sizeof text, "%3u.%3u.%3u.%3u", unsigned{octets[0]}, unsigned{octets[1]},
                  unsigned{octets[2]}, unsigned{octets[3]});
    return text;
}

#pragma once
// Rows for fake interface and address tables.

#include "ifstats/IPHLPAPI.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace fakerows {

// Interface n: "eth<n>" unless named, MAC 02-00-00-00-00-n, 100 Mb/s unless told.
inline MIB_IFROW Row(std::uint32_t index, std::uint64_t in = 0, std::uint64_t out = 0,
                     std::uint64_t speed = 100'000'000, const std::string& descr = {})
{
    MIB_IFROW row;
    std::memset(&row, 0, sizeof row);
    row.dwIndex = index;
    row.dwSpeed = speed;
    row.dwInOctets = in;
    row.dwOutOctets = out;
    row.dwPhysAddrLen = 6;
    row.bPhysAddr = {0x02, 0, 0, 0, 0, static_cast<std::uint8_t>(index), 0, 0};
    const std::string text = descr.empty() ? "eth" + std::to_string(index) : descr;
    std::memcpy(row.bDescr, text.data(), std::min(text.size(), sizeof row.bDescr - 1));
    row.dwDescrLen = static_cast<std::uint32_t>(std::min(text.size(), sizeof row.bDescr - 1) + 1);
    return row;
}

// Interface n gets 10.0.0.n.
inline MIB_IPADDRROW Addr(std::uint32_t index)
{
    MIB_IPADDRROW row{};
    const std::uint8_t octets[4] = {10, 0, 0, static_cast<std::uint8_t>(index)};
    std::memcpy(&row.dwAddr, octets, sizeof octets);
    row.dwIndex = index;
    return row;
}

} // namespace fakerows

#pragma once
// Readers of the two platform tables and the texts of physical and IPv4 addresses.

#include "ifstats/IPHLPAPI.h"

#include <cstdint>
#include <string>

// Fill `rows` (passed empty) with the interface table in the platform's order.
// A failed read leaves it empty.
void GetIfTableRows(TMIBIfArray& rows);

// Fill `rows` (passed empty) with the IPv4 address table, ascending by address.
// A failed read leaves it empty.
void GetIpAddrTableRows(TMibIPAddrArray& rows);

// "00-1A-2B-3C-4D-5E"; a length of 0 gives "00-00-00-00-00-00".
std::string MacAddrToStr(TPhysAddr addr, std::int32_t length);

// Always 15 characters: 10.0.0.1 gives " 10.  0.  0.  1".
std::string IpAddrToStr(std::uint32_t addr);

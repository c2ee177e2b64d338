// Systems without a backend yet: every read fails, which the readers turn into an empty table.

#include "ifstats/IPHLPAPI.h"

GetIfTableFunc GetIfTable = &PlatformGetIfTable;
GetIpAddrTableFunc GetIpAddrTable = &PlatformGetIpAddrTable;

std::uint32_t PlatformGetIfTable(MIB_IFTABLE*, std::uint32_t*, bool)
{
    return ERROR_NOT_SUPPORTED;
}

std::uint32_t PlatformGetIpAddrTable(MIB_IPADDRTABLE*, std::uint32_t*, bool)
{
    return ERROR_NOT_SUPPORTED;
}

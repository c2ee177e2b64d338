#pragma once
// How this process's interface-table reads were answered: for tests and
// benchmarks, which cannot tell the two ways apart by their rows.

#include <cstdint>

namespace rtnl {

struct LinkReadCounts {
    std::uint64_t full = 0;     // reads that dumped every link (RTM_GETLINK)
    std::uint64_t counters = 0; // reads answered from the last full one and the byte counters (RTM_GETSTATS)
};

LinkReadCounts CountLinkReads();

// Makes the next interface-table read a full one, as a change of the links would.
void ForgetLinkRows();

} // namespace rtnl

// Cost of one table read against the kernel's own cost of one link dump, at
// 10, 100 and 1,000 interfaces (ifb links in a namespace made here), and of
// one record update. Needs root; without it the kernel benchmarks are skipped.
// SteadyReadOverBareDump times a read while no link changes (the last full
// dump's rows and a stats dump), with the links up and with them all down
// (links that are down are asked for one by one, or when most are, all dumped
// again); FullReadOverBareDump times a read that dumps every link, as after a
// change. Both give the ratio to a bare link dump in their read/dump column.

#include "LinkReads.h"
#include "Netlink.h"
#include "ifstats/IPHelper.h"
#include "support/NetNs.h"
#include "traffic/TrafficUnit.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <linux/if_link.h>
#include <linux/rtnetlink.h>
#include <map>
#include <memory>
#include <sys/socket.h>

namespace {

std::string Missing;
std::map<std::pair<std::int64_t, bool>, std::unique_ptr<testns::Namespace>> Spaces;

// N ifb links, each with an IPv4 address of its own; down as made, or all up with lo.
const testns::Namespace* Space(std::int64_t links, bool up)
{
    if (!Missing.empty())
        return nullptr;
    auto& ns = Spaces[{links, up}];
    if (!ns) {
        ns = std::make_unique<testns::Namespace>("wm-bench-" + std::to_string(links) + (up ? "-up" : ""));
        std::vector<std::string> raise{"link set lo up"};
        for (std::int64_t i = 0; i < links; ++i)
            raise.push_back("link set ifb" + std::to_string(i) + " up");
        if (!ns->AddIfbLinks(links) || (up && !ns->IpBatch(raise))) {
            Missing = "could not make " + std::to_string(links) + " ifb links";
            return nullptr;
        }
    }
    return ns.get();
}

template <class F>
void InSpace(benchmark::State& state, F&& body, bool up = false)
{
    const auto* ns = Space(state.range(0), up);
    if (ns == nullptr) {
        state.SkipWithError(("kernel benchmarks skipped: " + Missing).c_str());
        return;
    }
    testns::Enter inside(*ns);
    if (!inside.Ok()) {
        state.SkipWithError("cannot enter the benchmark namespace");
        return;
    }
    body();
}

void IpAddrTableRead(benchmark::State& state)
{
    InSpace(state, [&] {
        for (auto _ : state) {
            TMibIPAddrArray rows;
            GetIpAddrTableRows(rows);
            benchmark::DoNotOptimize(rows.data());
        }
    });
}

void RecordUpdate(benchmark::State& state)
{
    TTraffic record(MIB_IFROW{}, {});
    std::uint64_t counter = 0;
    for (auto _ : state) {
        counter += 1500;
        record.Update(counter, counter / 2, 1'000'000'000);
        benchmark::DoNotOptimize(record.AvgInPerSec);
    }
}

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration total, const benchmark::State& state)
{
    return std::chrono::duration<double, std::micro>(total).count() / static_cast<double>(state.iterations());
}

// The first read of a link also asks for its speed, so one read warms up before timing.
bool WarmUp(benchmark::State& state)
{
    TMIBIfArray warm;
    GetIfTableRows(warm);
    if (warm.size() < static_cast<std::size_t>(state.range(0))) {
        state.SkipWithError("interface table read came back short");
        return false;
    }
    return true;
}

// A steady read and a bare stats dump in turn, so that drift in the kernel's
// cost (it varies by a third from run to run here) falls on both alike; the
// bare link dump is timed on its own before them, as a link dump in between
// would evict what the others find in the caches and slow them twofold.
// full/read is the share of reads that dumped every link.
void SteadyReadOverBareDump(benchmark::State& state)
{
    InSpace(
        state,
        [&] {
            rtnl::NetlinkSocket socket;
            if_stats_msg statsRequest{};
            statsRequest.filter_mask = IFLA_STATS_FILTER_BIT(IFLA_STATS_LINK_64);
            const rtnl::Bytes statsBody = rtnl::AsBytes(statsRequest);
            const auto ignore = [](std::uint16_t, rtnl::Bytes) { return true; };
            if (!WarmUp(state))
                return;
            const int bareDumps = 3 + static_cast<int>(2000 / state.range(0));
            const auto d0 = Clock::now();
            for (int i = 0; i < bareDumps; ++i)
                socket.Dump(RTM_GETLINK, AF_UNSPEC, ignore);
            const double dumpUs = std::chrono::duration<double, std::micro>(Clock::now() - d0).count() / bareDumps;
            TMIBIfArray settle;
            GetIfTableRows(settle);

            Clock::duration statsDumping{}, reading{};
            const auto fullBefore = rtnl::CountLinkReads().full;
            for (auto _ : state) {
                const auto t0 = Clock::now();
                socket.Dump(RTM_GETSTATS, statsBody, ignore);
                const auto t1 = Clock::now();
                TMIBIfArray rows;
                GetIfTableRows(rows);
                benchmark::DoNotOptimize(rows.data());
                reading += Clock::now() - t1;
                statsDumping += t1 - t0;
            }
            const double readUs = Micros(reading, state);
            state.counters["dump_us"] = dumpUs;
            state.counters["stats_dump_us"] = Micros(statsDumping, state);
            state.counters["read_us"] = readUs;
            state.counters["read/dump"] = readUs / dumpUs;
            state.counters["full/read"] = static_cast<double>(rtnl::CountLinkReads().full - fullBefore)
                / static_cast<double>(state.iterations());
        },
        state.range(1) != 0);
}

// A full read, as the first after a change of the links is, and a bare link
// dump in turn.
void FullReadOverBareDump(benchmark::State& state)
{
    InSpace(state, [&] {
        rtnl::NetlinkSocket socket;
        Clock::duration dumping{}, reading{};
        if (!WarmUp(state))
            return;
        for (auto _ : state) {
            const auto t0 = Clock::now();
            socket.Dump(RTM_GETLINK, AF_UNSPEC, [](std::uint16_t, rtnl::Bytes) { return true; });
            rtnl::ForgetLinkRows();
            const auto t1 = Clock::now();
            TMIBIfArray rows;
            GetIfTableRows(rows);
            benchmark::DoNotOptimize(rows.data());
            reading += Clock::now() - t1;
            dumping += t1 - t0;
        }
        state.counters["dump_us"] = Micros(dumping, state);
        state.counters["read_us"] = Micros(reading, state);
        state.counters["read/dump"] = static_cast<double>(reading.count()) / static_cast<double>(dumping.count());
    });
}

BENCHMARK(SteadyReadOverBareDump)
    ->ArgNames({"links", "up"})
    ->ArgsProduct({{10, 100, 1000}, {1, 0}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(FullReadOverBareDump)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(IpAddrTableRead)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(RecordUpdate);

} // namespace

int main(int argc, char** argv)
{
    Missing = testns::MissingRights();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    Spaces.clear();
    benchmark::Shutdown();
    return 0;
}

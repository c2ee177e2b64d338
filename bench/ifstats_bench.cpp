// Cost of one table read against the kernel's own cost of one link dump, at
// 10, 100 and 1,000 interfaces (ifb links in a namespace made here), and of
// one record update. Needs root; without it the kernel benchmarks are skipped.
// ReadOverBareDump times both and gives their ratio in its read/dump column.

#include "Netlink.h"
#include "ifstats/IPHelper.h"
#include "support/NetNs.h"
#include "traffic/TrafficUnit.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <linux/rtnetlink.h>
#include <map>
#include <memory>
#include <sys/socket.h>

namespace {

std::string Missing;
std::map<std::int64_t, std::unique_ptr<testns::Namespace>> Spaces;

// N ifb links, each with an IPv4 address of its own.
const testns::Namespace* Space(std::int64_t links)
{
    if (!Missing.empty())
        return nullptr;
    auto& ns = Spaces[links];
    if (!ns) {
        ns = std::make_unique<testns::Namespace>("wm-bench-" + std::to_string(links));
        if (!ns->AddIfbLinks(links)) {
            Missing = "could not make " + std::to_string(links) + " ifb links";
            return nullptr;
        }
    }
    return ns.get();
}

template <class F>
void InSpace(benchmark::State& state, F&& body)
{
    const auto* ns = Space(state.range(0));
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

// A table read and a bare dump in turn, so that drift in the kernel's cost (it
// varies by a third from run to run here) falls on both alike. The first read
// of a link also asks for its speed, so one read warms up before timing.
void ReadOverBareDump(benchmark::State& state)
{
    InSpace(state, [&] {
        using Clock = std::chrono::steady_clock;
        rtnl::NetlinkSocket socket;
        Clock::duration dumping{}, reading{};
        TMIBIfArray warm;
        GetIfTableRows(warm);
        if (warm.size() < static_cast<std::size_t>(state.range(0))) {
            state.SkipWithError("interface table read came back short");
            return;
        }
        for (auto _ : state) {
            const auto t0 = Clock::now();
            socket.Dump(RTM_GETLINK, AF_UNSPEC, [](std::uint16_t, rtnl::Bytes) { return true; });
            const auto t1 = Clock::now();
            TMIBIfArray rows;
            GetIfTableRows(rows);
            benchmark::DoNotOptimize(rows.data());
            reading += Clock::now() - t1;
            dumping += t1 - t0;
        }
        const double iterations = static_cast<double>(state.iterations());
        state.counters["dump_us"] = std::chrono::duration<double, std::micro>(dumping).count() / iterations;
        state.counters["read_us"] = std::chrono::duration<double, std::micro>(reading).count() / iterations;
        state.counters["read/dump"] = static_cast<double>(reading.count()) / static_cast<double>(dumping.count());
    });
}

BENCHMARK(ReadOverBareDump)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
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

// The main window's own cost of a poll against a fake interface table of 10, 100
// and 1,000 interfaces, offscreen: the first poll (every record and tab new),
// later polls with counters that move and with counters that stand still, and
// as the yardstick the kernel's cost of one bare link dump of 1,000 interfaces
// (ifb links in a namespace made here; needs root, else skipped).
// Only TimerTimer() is timed; the repaint it leaves behind shows as paint_us.

#include "Netlink.h"
#include "ifstats/IPHLPAPI.h"
#include "support/NetNs.h"
#include "traffic/TrafficUnit.h"
#include "ui/MainFormUnit.h"
#include "ui/TabSet.h"

#include <QApplication>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <linux/rtnetlink.h>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

TMIBIfArray FakeLinks;
TMibIPAddrArray FakeAddresses;

std::uint32_t FakeGetIfTable(MIB_IFTABLE* table, std::uint32_t* size, bool)
{
    return WriteTable(table, size, FakeLinks);
}

std::uint32_t FakeGetIpAddrTable(MIB_IPADDRTABLE* table, std::uint32_t* size, bool)
{
    return WriteTable(table, size, FakeAddresses);
}

// N Ethernet-like interfaces that are up, each with an IPv4 address of its own.
void MakeFakeTables(std::int64_t count)
{
    FakeLinks.assign(static_cast<std::size_t>(count), MIB_IFROW{});
    FakeAddresses.assign(static_cast<std::size_t>(count), MIB_IPADDRROW{});
    for (std::size_t i = 0; i < FakeLinks.size(); ++i) {
        const auto index = static_cast<std::uint32_t>(i + 1);
        MIB_IFROW& link = FakeLinks[i];
        std::snprintf(link.szName, sizeof link.szName, "fake%u", static_cast<unsigned>(i));
        link.dwIndex = index;
        link.dwType = 1; // ARPHRD_ETHER
        link.dwMtu = 1500;
        link.dwSpeed = 1'000'000'000;
        link.dwPhysAddrLen = 6;
        link.bPhysAddr = {0x02, 0x00, 0x00, 0x00, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)};
        link.dwAdminStatus = 1;
        link.dwOperStatus = 1;
        const int written = std::snprintf(reinterpret_cast<char*>(link.bDescr), sizeof link.bDescr,
                                          "Fake Ethernet adapter %zu", i);
        link.dwDescrLen = static_cast<std::uint32_t>(written + 1);

        MIB_IPADDRROW& address = FakeAddresses[i];
        const std::uint8_t octets[4] = {10, 98, static_cast<std::uint8_t>(i / 250),
                                        static_cast<std::uint8_t>(i % 250 + 1)};
        std::memcpy(&address.dwAddr, octets, sizeof octets);
        address.dwIndex = index;
        address.dwMask = 0xFFFFFFFF;
    }
}

// Every interface moves traffic, so the shown one's texts change as a live one's do.
void AdvanceCounters()
{
    for (MIB_IFROW& link : FakeLinks) {
        link.dwInOctets += 150'000;
        link.dwOutOctets += 20'000;
    }
}

// The fakes stand in for the platform for one benchmark and never outlive it.
class FakePlatform {
public:
    explicit FakePlatform(std::int64_t count)
    {
        MakeFakeTables(count);
        GetIfTable = &FakeGetIfTable;
        GetIpAddrTable = &FakeGetIpAddrTable;
    }
    ~FakePlatform()
    {
        GetIfTable = &PlatformGetIfTable;
        GetIpAddrTable = &PlatformGetIpAddrTable;
    }
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;
};

std::unique_ptr<TMainForm> ShownForm()
{
    auto form = std::make_unique<TMainForm>();
    form->show();
    // Polls come from the benchmark alone, never from the timer inside processEvents.
    form->Timer->stop();
    QApplication::processEvents();
    return form;
}

// One poll, timed; the timer it restarts is stopped again outside the timing.
Clock::duration TimedPoll(TMainForm& form)
{
    const auto start = Clock::now();
    form.TimerTimer();
    const auto took = Clock::now() - start;
    form.Timer->stop();
    return took;
}

// The repaint a poll leaves for the event loop; reported apart from the poll.
Clock::duration Repaint()
{
    const auto start = Clock::now();
    QApplication::processEvents();
    return Clock::now() - start;
}

// A poll that made no tab per interface, or left nothing shown, measured nothing.
bool Polled(benchmark::State& state, const TMainForm& form)
{
    const auto* tabs = form.findChild<TTabSet*>();
    if (tabs == nullptr || tabs->count() != state.range(0) || form.Current() == nullptr) {
        state.SkipWithError("the poll did not make one tab per fake interface");
        return false;
    }
    return true;
}

double Micro(Clock::duration total, benchmark::IterationCount iterations)
{
    return std::chrono::duration<double, std::micro>(total).count() / static_cast<double>(iterations);
}

void FirstPoll(benchmark::State& state)
{
    FakePlatform fake(state.range(0));
    Clock::duration painting{};
    for (auto _ : state) {
        auto form = ShownForm();
        state.SetIterationTime(std::chrono::duration<double>(TimedPoll(*form)).count());
        if (!Polled(state, *form))
            break;
        painting += Repaint();
        form.reset();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    if (state.iterations() > 0)
        state.counters["paint_us"] = Micro(painting, state.iterations());
}

// Later polls: every record found and updated, the shown one's texts refreshed.
void RepeatedPolls(benchmark::State& state, bool moving)
{
    FakePlatform fake(state.range(0));
    auto form = ShownForm();
    TimedPoll(*form);
    if (!Polled(state, *form))
        return;
    Repaint();
    const std::uint64_t before = form->Current()->TotalIn;
    Clock::duration painting{};
    for (auto _ : state) {
        if (moving)
            AdvanceCounters();
        state.SetIterationTime(std::chrono::duration<double>(TimedPoll(*form)).count());
        painting += Repaint();
    }
    if (state.iterations() == 0)
        return;
    if ((form->Current()->TotalIn != before) != moving) {
        state.SkipWithError("the shown record's totals did not follow the fake counters");
        return;
    }
    state.counters["paint_us"] = Micro(painting, state.iterations());
}

void SteadyPoll(benchmark::State& state)
{
    RepeatedPolls(state, true);
}

void IdlePoll(benchmark::State& state)
{
    RepeatedPolls(state, false);
}

// Why the kernel benchmark cannot run; filled in main, empty when it can.
std::string Missing;
// Made once: the benchmark body runs several times while its iteration count settles.
std::unique_ptr<testns::Namespace> DumpSpace;

// N ifb links, each with an IPv4 address of its own, as ifstats_bench makes them.
const testns::Namespace* LinkSpace(std::int64_t links)
{
    if (!Missing.empty())
        return nullptr;
    if (DumpSpace)
        return DumpSpace.get();
    DumpSpace = std::make_unique<testns::Namespace>("wm-formbench");
    if (!DumpSpace->AddIfbLinks(links)) {
        Missing = "could not make " + std::to_string(links) + " ifb links";
        DumpSpace.reset();
    }
    return DumpSpace.get();
}

// The kernel's cost of one link dump, read and thrown away: what any poll of
// the real table pays at least.
void BareLinkDump(benchmark::State& state)
{
    const auto links = state.range(0);
    const testns::Namespace* ns = LinkSpace(links);
    if (ns == nullptr) {
        state.SkipWithError(("kernel benchmark skipped: " + Missing).c_str());
        return;
    }
    testns::Enter inside(*ns);
    if (!inside.Ok()) {
        state.SkipWithError("kernel benchmark skipped: cannot enter the benchmark namespace");
        return;
    }
    rtnl::NetlinkSocket socket;
    std::int64_t messages = 0;
    const auto count = [&messages](std::uint16_t type, rtnl::Bytes) {
        messages += type == RTM_NEWLINK;
        return true;
    };
    if (!socket.IsOpen() || socket.Dump(RTM_GETLINK, AF_UNSPEC, count) != rtnl::DumpResult::Ok
        || messages < links) {
        state.SkipWithError("the link dump came back short");
        return;
    }
    for (auto _ : state) {
        const auto start = Clock::now();
        socket.Dump(RTM_GETLINK, AF_UNSPEC, [](std::uint16_t, rtnl::Bytes) { return true; });
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}

// Manual time throughout, so setting up and tearing down windows and links stays out.
BENCHMARK(FirstPoll)->Arg(10)->Arg(100)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(SteadyPoll)->Arg(10)->Arg(100)->Arg(1000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(IdlePoll)->Arg(10)->Arg(100)->Arg(1000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BareLinkDump)->Arg(1000)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Missing = testns::MissingRights();
    benchmark::RunSpecifiedBenchmarks();
    DumpSpace.reset();
    benchmark::Shutdown();
    return 0;
}

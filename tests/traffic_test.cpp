#include "traffic/TrafficUnit.h"

#include "ifstats/IPHLPAPI.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t U32Max = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t U64Max = std::numeric_limits<std::uint64_t>::max();

TMibIPAddrArray g_addrRows;

std::uint32_t FakeGetIpAddrTable(MIB_IPADDRTABLE* table, std::uint32_t* size, bool)
{
    return WriteTable(table, size, g_addrRows);
}

std::uint32_t FailingGetIpAddrTable(MIB_IPADDRTABLE*, std::uint32_t*, bool)
{
    return ERROR_GEN_FAILURE;
}

// dwAddr holds the first octet in its lowest-addressed byte.
MIB_IPADDRROW AddrRow(std::uint32_t index, std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d)
{
    MIB_IPADDRROW row{};
    const std::uint8_t octets[4] = {a, b, c, d};
    std::memcpy(&row.dwAddr, octets, sizeof octets);
    row.dwIndex = index;
    return row;
}

// On the heap, so the sanitizer sees any read past bDescr.
std::unique_ptr<MIB_IFROW> IfRow(std::uint32_t index, const std::string& descr = "eth0")
{
    auto row = std::make_unique<MIB_IFROW>();
    std::memset(row.get(), 0, sizeof(MIB_IFROW));
    row->dwIndex = index;
    row->dwSpeed = 1'000'000'000;
    row->dwPhysAddrLen = 6;
    row->bPhysAddr = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0, 0};
    row->dwInOctets = 1'000;
    row->dwOutOctets = 2'000;
    std::memcpy(row->bDescr, descr.data(), descr.size());
    row->dwDescrLen = static_cast<std::uint32_t>(descr.size() + 1);
    return row;
}

class TrafficTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_addrRows = {AddrRow(2, 10, 0, 0, 1)};
        GetIpAddrTable = FakeGetIpAddrTable;
    }
    void TearDown() override
    {
        GetIpAddrTable = PlatformGetIpAddrTable;
        g_addrRows.clear();
    }

    // Baselines in = 1000, out = 2000, as IfRow gives them.
    static TTraffic Make(std::uint32_t index = 2) { return TTraffic(*IfRow(index), {}); }
};

// ---- Construction ----

TEST_F(TrafficTest, NewRecordCopiesTheRowAndStartsWithZeroStatistics)
{
    const auto before = std::chrono::system_clock::now();
    TTraffic t = Make();
    const auto after = std::chrono::system_clock::now();

    EXPECT_TRUE(t.Running);
    EXPECT_TRUE(t.Connected);
    EXPECT_FALSE(t.SeenInPoll);
    EXPECT_EQ(t.InterfaceIndex, 2u);
    EXPECT_EQ(t.IpAddress, " 10.  0.  0.  1");
    EXPECT_EQ(t.MacAddress, "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(t.Description, "eth0");
    EXPECT_EQ(t.PrevInOctets, 1'000u);
    EXPECT_EQ(t.PrevOutOctets, 2'000u);
    EXPECT_EQ(t.Speed, 1'000'000'000u);
    EXPECT_GE(t.StartedAt, before);
    EXPECT_LE(t.StartedAt, after);
    EXPECT_FALSE(t.OnFreeze);
    EXPECT_FALSE(t.OnUnfreeze);

    for (std::uint64_t v : {t.InPerSec, t.OutPerSec, t.TotalIn, t.TotalOut, t.PeakInPerSec, t.PeakOutPerSec,
                            t.AvgInPerSec, t.AvgOutPerSec})
        EXPECT_EQ(v, 0u);
    EXPECT_EQ(t.ActiveTicks, 0u);
    EXPECT_EQ(t.InTrafficTicks, 0u);
    EXPECT_EQ(t.OutTrafficTicks, 0u);
    EXPECT_EQ(t.GetStatusText(), "Connected, Running");
    EXPECT_EQ(t.GetActiveForText(), "00:00:00");
}

TEST_F(TrafficTest, SpeedAndBaselinesBeyond32BitsAreKeptExactly)
{
    auto row = IfRow(2);
    row->dwSpeed = 10'000'000'000;
    row->dwInOctets = 5'000'000'000;
    row->dwOutOctets = U64Max;
    TTraffic t(*row, {});
    EXPECT_EQ(t.Speed, 10'000'000'000u);
    EXPECT_EQ(t.PrevInOctets, 5'000'000'000u);
    EXPECT_EQ(t.PrevOutOctets, U64Max);
}

TEST_F(TrafficTest, OnCreatedSeesTheCompleteRecordOnce)
{
    int calls = 0;
    TTraffic* seen = nullptr;
    std::string ip, descr;
    std::uint64_t prevIn = 0, prevOut = 0, speed = 0;
    bool running = false, connected = false;
    TTraffic t(*IfRow(2, "  eth0 "), [&](TTraffic* r) {
        ++calls;
        seen = r;
        ip = r->IpAddress;
        descr = r->Description;
        prevIn = r->PrevInOctets;
        prevOut = r->PrevOutOctets;
        speed = r->Speed;
        running = r->Running;
        connected = r->Connected;
    });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, &t);
    EXPECT_EQ(ip, " 10.  0.  0.  1");
    EXPECT_EQ(descr, "eth0");
    EXPECT_EQ(prevIn, 1'000u);
    EXPECT_EQ(prevOut, 2'000u);
    EXPECT_EQ(speed, 1'000'000'000u);
    EXPECT_TRUE(running);
    EXPECT_TRUE(connected);
}

TEST_F(TrafficTest, MacAddressFollowsTheRowLength)
{
    auto row = IfRow(2);
    row->dwPhysAddrLen = 0;
    EXPECT_EQ(TTraffic(*row, {}).MacAddress, "00-00-00-00-00-00");
    row->dwPhysAddrLen = 8;
    row->bPhysAddr = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(TTraffic(*row, {}).MacAddress, "01-02-03-04-05-06-07-08");
}

// ---- Description ----

struct DescrCase {
    const char* name;
    std::string bytes; // copied to bDescr
    std::uint32_t descrLen;
    std::string expected;
};

class DescriptionTest : public TrafficTest, public ::testing::WithParamInterface<DescrCase> {};

TEST_P(DescriptionTest, TakesDescrLenMinusOneBytesTrimmedOfControlsAndSpaces)
{
    const DescrCase& c = GetParam();
    auto row = IfRow(2);
    std::memset(row->bDescr, 0, sizeof row->bDescr);
    std::memcpy(row->bDescr, c.bytes.data(), c.bytes.size());
    row->dwDescrLen = c.descrLen;
    EXPECT_EQ(TTraffic(*row, {}).Description, c.expected);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Bytes, DescriptionTest,
    ::testing::Values(
        DescrCase{"LeadingSpacesAndNul", "  Intel(R) Ethernet\0"s, 20, "Intel(R) Ethernet"},
        DescrCase{"NulsInsideTheLength", "eth0\0\0"s, 6, "eth0"},
        DescrCase{"LengthZero", "eth0", 0, ""}, DescrCase{"LengthOne", "eth0", 1, ""},
        DescrCase{"OnlyBlanks", " \t\r\n "s, 6, ""},
        DescrCase{"ControlBytesBothEnds", "\x01\x1f eth0 \x20\x1f\x0a"s, 12, "eth0"},
        DescrCase{"LengthCutsTheText", "eth0 extra", 5, "eth0"},
        DescrCase{"InteriorBytesKept", "a \t\0b"s, 6, "a \t\0b"s},
        DescrCase{"ExclamationIsNotBlank", "!eth0!", 7, "!eth0!"},
        DescrCase{"HighBytesAreNotBlank", "\xc3\xa9th\xc2\xa0"s, 7, "\xc3\xa9th\xc2\xa0"s}),
    [](const ::testing::TestParamInfo<DescrCase>& info) { return std::string(info.param.name); });

TEST_F(TrafficTest, DescriptionNeverReadsPastTheArray)
{
    struct Case {
        std::uint32_t descrLen;
        std::size_t expectedLength;
    };
    for (const Case c : {Case{256, 255}, Case{257, 256}, Case{300, 256}, Case{0xFFFFFFFF, 256}}) {
        SCOPED_TRACE(c.descrLen);
        auto row = IfRow(2);
        std::memset(row->bDescr, 'x', sizeof row->bDescr);
        row->dwDescrLen = c.descrLen;
        EXPECT_EQ(TTraffic(*row, {}).Description, std::string(c.expectedLength, 'x'));
    }
}

// ---- IP address ----

TEST_F(TrafficTest, IpAddressIsTheFirstTableRowOfTheInterface)
{
    struct Case {
        const char* name;
        TMibIPAddrArray rows;
        std::uint32_t index;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"empty table", {}, 2, "Not found!"},
        {"other interfaces only", {AddrRow(1, 127, 0, 0, 1), AddrRow(3, 10, 0, 0, 9)}, 2, "Not found!"},
        {"single match", {AddrRow(1, 127, 0, 0, 1), AddrRow(2, 192, 168, 1, 20)}, 2, "192.168.  1. 20"},
        {"two addresses", {AddrRow(3, 10, 0, 0, 5), AddrRow(2, 10, 0, 0, 7), AddrRow(2, 172, 16, 0, 1)}, 2,
         " 10.  0.  0.  7"},
        {"index zero", {AddrRow(1, 127, 0, 0, 1), AddrRow(0, 10, 1, 2, 3)}, 0, " 10.  1.  2.  3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_addrRows = c.rows;
        EXPECT_EQ(Make(c.index).IpAddress, c.expected);
    }
}

TEST_F(TrafficTest, UnreadableAddressTableGivesNotFound)
{
    GetIpAddrTable = FailingGetIpAddrTable;
    EXPECT_EQ(Make().IpAddress, "Not found!");
}

TEST_F(TrafficTest, GivenAddressTableIsUsedWithoutReadingTheTableAgain)
{
    GetIpAddrTable = FailingGetIpAddrTable;
    const TMibIPAddrArray table = {AddrRow(1, 127, 0, 0, 1), AddrRow(2, 192, 168, 7, 1)};
    int calls = 0;
    std::string ipInCallback;
    TTraffic found(*IfRow(2), table, [&](TTraffic* r) {
        ++calls;
        ipInCallback = r->IpAddress;
    });
    EXPECT_EQ(found.IpAddress, "192.168.  7.  1");
    EXPECT_EQ(ipInCallback, found.IpAddress);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(TTraffic(*IfRow(5), table, {}).IpAddress, "Not found!");
}

// ---- Counter deltas ----

struct DeltaCase {
    std::uint64_t previous;
    std::uint64_t current;
    std::uint64_t expected;
};

class CounterDeltaTest : public ::testing::TestWithParam<DeltaCase> {};

TEST_P(CounterDeltaTest, GivesTheBytesMoved)
{
    const DeltaCase& c = GetParam();
    EXPECT_EQ(CounterDelta(c.previous, c.current), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Readings, CounterDeltaTest,
    ::testing::Values(
        // Forward
        DeltaCase{0, 0, 0}, DeltaCase{100, 250, 150}, DeltaCase{U32Max, U32Max + 1, 1},
        DeltaCase{0, U64Max, U64Max}, DeltaCase{10'000'000'000, 16'000'000'000, 6'000'000'000},
        // 32-bit wrap
        DeltaCase{4'294'967'000, 200, 496}, DeltaCase{U32Max, 0, 1}, DeltaCase{1, 0, U32Max},
        DeltaCase{U32Max, U32Max - 1, U32Max},
        // Restart of a counter already past 32 bits
        DeltaCase{10'000'000'000, 5'000, 5'000}, DeltaCase{5'000'000'000, 4'000'000'000, 4'000'000'000},
        DeltaCase{U32Max + 1, 100, 100}, DeltaCase{U64Max, 0, 0}, DeltaCase{U64Max, U64Max - 1, U64Max - 1}));

// ---- Update ----

TEST_F(TrafficTest, FirstUpdateWithUnchangedCountersCountsNothing)
{
    TTraffic t = Make();
    t.Update(1'000, 2'000, 100'000'000);
    EXPECT_EQ(t.ActiveTicks, 1u);
    EXPECT_EQ(t.Speed, 100'000'000u);
    EXPECT_EQ(t.InPerSec, 0u);
    EXPECT_EQ(t.OutPerSec, 0u);
    EXPECT_EQ(t.TotalIn + t.TotalOut, 0u);
    EXPECT_EQ(t.InTrafficTicks + t.OutTrafficTicks, 0u);
    EXPECT_EQ(t.AvgInPerSec + t.AvgOutPerSec, 0u);
    EXPECT_EQ(t.PeakInPerSec + t.PeakOutPerSec, 0u);
}

TEST_F(TrafficTest, StatisticsOverSeveralPolls)
{
    TTraffic t = Make();
    // Received 100, 0, 301; sent 50, 50, 0.
    t.Update(1'100, 2'050, 0);
    t.Update(1'100, 2'100, 0);
    t.Update(1'401, 2'100, 0);

    EXPECT_EQ(t.ActiveTicks, 3u);
    EXPECT_EQ(t.InPerSec, 301u);
    EXPECT_EQ(t.TotalIn, 401u);
    EXPECT_EQ(t.InTrafficTicks, 2u);
    EXPECT_EQ(t.PeakInPerSec, 301u);
    EXPECT_EQ(t.AvgInPerSec, 200u); // 401 / 2, truncated
    EXPECT_EQ(t.PrevInOctets, 1'401u);

    EXPECT_EQ(t.OutPerSec, 0u);
    EXPECT_EQ(t.TotalOut, 100u);
    EXPECT_EQ(t.OutTrafficTicks, 2u);
    EXPECT_EQ(t.PeakOutPerSec, 50u);
    EXPECT_EQ(t.AvgOutPerSec, 50u);
    EXPECT_EQ(t.PrevOutOctets, 2'100u);
}

TEST_F(TrafficTest, PeakKeepsTheLargestAmount)
{
    TTraffic t = Make();
    t.Update(1'300, 2'000, 0);
    t.Update(1'400, 2'000, 0);
    EXPECT_EQ(t.PeakInPerSec, 300u);
    EXPECT_EQ(t.InPerSec, 100u);
}

TEST_F(TrafficTest, TrafficInOneDirectionLeavesTheOtherAtZero)
{
    TTraffic in = Make();
    in.Update(5'000, 2'000, 0);
    in.Update(9'000, 2'000, 0);
    EXPECT_EQ(in.InTrafficTicks, 2u);
    EXPECT_EQ(in.OutTrafficTicks, 0u);
    EXPECT_EQ(in.AvgOutPerSec, 0u);
    EXPECT_EQ(in.TotalOut, 0u);

    TTraffic out = Make();
    out.Update(1'000, 7'000, 0);
    EXPECT_EQ(out.OutTrafficTicks, 1u);
    EXPECT_EQ(out.AvgOutPerSec, 5'000u);
    EXPECT_EQ(out.InTrafficTicks, 0u);
    EXPECT_EQ(out.AvgInPerSec, 0u);
}

TEST_F(TrafficTest, UpdateCountsWrapsAndRestarts)
{
    struct Case {
        const char* name;
        std::uint64_t baseline;
        std::uint64_t reading;
        std::uint64_t expected;
    };
    for (const Case& c : {Case{"32-bit wrap", 4'294'967'000, 200, 496},
                          Case{"64-bit restart", 10'000'000'000, 5'000, 5'000},
                          Case{"restart below 2^32", 5'000'000'000, 4'000'000'000, 4'000'000'000}}) {
        SCOPED_TRACE(c.name);
        auto row = IfRow(2);
        row->dwInOctets = c.baseline;
        row->dwOutOctets = c.baseline;
        TTraffic t(*row, {});
        t.Update(c.reading, c.reading, 0);
        EXPECT_EQ(t.InPerSec, c.expected);
        EXPECT_EQ(t.OutPerSec, c.expected);
        EXPECT_EQ(t.TotalIn, c.expected);
        EXPECT_EQ(t.PrevInOctets, c.reading);
        EXPECT_EQ(t.PrevOutOctets, c.reading);
    }
}

TEST_F(TrafficTest, TotalsPastFourGibibytesAreExact)
{
    auto row = IfRow(2);
    row->dwInOctets = 0;
    row->dwOutOctets = 0;
    TTraffic t(*row, {});
    for (std::uint64_t reading = 2'000'000'000; reading <= 6'000'000'000; reading += 2'000'000'000)
        t.Update(reading, reading / 2, 10'000'000'000);
    EXPECT_EQ(t.TotalIn, 6'000'000'000u);
    EXPECT_EQ(t.AvgInPerSec, 2'000'000'000u);
    EXPECT_EQ(t.PeakInPerSec, 2'000'000'000u);
    EXPECT_EQ(t.TotalOut, 3'000'000'000u);
    EXPECT_EQ(t.Speed, 10'000'000'000u);
}

TEST_F(TrafficTest, TickCountsWrapAt32Bits)
{
    TTraffic t = Make();
    t.ActiveTicks = 0xFFFFFFFF;
    t.InTrafficTicks = 0xFFFFFFFF;
    t.AvgInPerSec = 7;
    t.TotalOut = U64Max;
    t.Update(1'010, 2'001, 0);
    EXPECT_EQ(t.ActiveTicks, 0u);
    EXPECT_EQ(t.InTrafficTicks, 0u);
    EXPECT_EQ(t.AvgInPerSec, 7u); // no division by a wrapped zero
    EXPECT_EQ(t.TotalOut, 0u);
}

// ---- Freeze, unfreeze, disconnect ----

TEST_F(TrafficTest, FrozenUpdateOnlyRaisesActiveTicks)
{
    TTraffic t = Make();
    t.Update(1'500, 2'500, 100);
    t.Freeze();
    t.Update(9'000, 9'000, 555);

    EXPECT_EQ(t.ActiveTicks, 2u);
    EXPECT_EQ(t.Speed, 100u);
    EXPECT_EQ(t.PrevInOctets, 1'500u);
    EXPECT_EQ(t.PrevOutOctets, 2'500u);
    EXPECT_EQ(t.InPerSec, 500u);
    EXPECT_EQ(t.TotalIn, 500u);
    EXPECT_EQ(t.InTrafficTicks, 1u);
    EXPECT_EQ(t.OutTrafficTicks, 1u);
    EXPECT_EQ(t.GetStatusText(), "Connected, Not running");
}

TEST_F(TrafficTest, UnfreezeCountsEverythingSinceTheLastCountedUpdate)
{
    TTraffic t = Make();
    t.Freeze();
    for (std::uint64_t reading : {2'000, 3'000, 4'000})
        t.Update(reading, 2'000, 0);
    t.Unfreeze();
    t.Update(5'000, 2'000, 0);

    EXPECT_EQ(t.InPerSec, 4'000u);
    EXPECT_EQ(t.TotalIn, 4'000u);
    EXPECT_EQ(t.InTrafficTicks, 1u);
    EXPECT_EQ(t.AvgInPerSec, 4'000u);
    EXPECT_EQ(t.ActiveTicks, 4u);
}

TEST_F(TrafficTest, FreezeCallbacksSeeTheNewState)
{
    TTraffic t = Make();
    std::vector<std::pair<TTraffic*, bool>> frozen, unfrozen;
    t.OnFreeze = [&](TTraffic* r) { frozen.emplace_back(r, r->Running); };
    t.OnUnfreeze = [&](TTraffic* r) { unfrozen.emplace_back(r, r->Running); };

    t.Freeze();
    t.Freeze(); // no state test: called again
    t.Unfreeze();

    ASSERT_EQ(frozen.size(), 2u);
    EXPECT_EQ(frozen[0], std::make_pair(&t, false));
    EXPECT_EQ(frozen[1], std::make_pair(&t, false));
    ASSERT_EQ(unfrozen.size(), 1u);
    EXPECT_EQ(unfrozen[0], std::make_pair(&t, true));
}

TEST_F(TrafficTest, EmptyCallbacksAreSkipped)
{
    TTraffic t = Make();
    t.Freeze();
    EXPECT_FALSE(t.Running);
    t.Unfreeze();
    EXPECT_TRUE(t.Running);
}

TEST_F(TrafficTest, DisconnectedRecordStopsCountingWithoutCallbacks)
{
    TTraffic t = Make();
    int calls = 0;
    t.OnFreeze = [&](TTraffic*) { ++calls; };
    t.OnUnfreeze = [&](TTraffic*) { ++calls; };

    t.MarkDisconnected();
    t.Update(9'000, 9'000, 5);
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(t.Connected);
    EXPECT_FALSE(t.Running);
    EXPECT_EQ(t.ActiveTicks, 1u);
    EXPECT_EQ(t.TotalIn + t.TotalOut, 0u);
    EXPECT_EQ(t.PrevInOctets, 1'000u);
    EXPECT_EQ(t.GetStatusText(), "Not connected, Not running");

    t.Unfreeze();
    EXPECT_FALSE(t.Connected);
    EXPECT_EQ(t.GetStatusText(), "Not connected, Running");
}

// ---- Clear ----

TEST_F(TrafficTest, ClearZeroesStatisticsButKeepsBaselinesAndAverages)
{
    TTraffic t = Make();
    int calls = 0;
    t.OnFreeze = [&](TTraffic*) { ++calls; };
    t.OnUnfreeze = [&](TTraffic*) { ++calls; };
    t.Update(1'600, 2'300, 77);
    t.Update(1'800, 2'400, 77);
    t.StartedAt = {};

    const auto before = std::chrono::system_clock::now();
    t.ClearCounters();
    const auto after = std::chrono::system_clock::now();

    EXPECT_GE(t.StartedAt, before);
    EXPECT_LE(t.StartedAt, after);
    EXPECT_EQ(t.ActiveTicks, 0u);
    EXPECT_EQ(t.InTrafficTicks, 0u);
    EXPECT_EQ(t.OutTrafficTicks, 0u);
    for (std::uint64_t v : {t.TotalIn, t.TotalOut, t.InPerSec, t.OutPerSec, t.PeakInPerSec, t.PeakOutPerSec})
        EXPECT_EQ(v, 0u);

    EXPECT_EQ(t.PrevInOctets, 1'800u);
    EXPECT_EQ(t.PrevOutOctets, 2'400u);
    EXPECT_EQ(t.AvgInPerSec, 400u);
    EXPECT_EQ(t.AvgOutPerSec, 200u);
    EXPECT_EQ(t.Speed, 77u);
    EXPECT_TRUE(t.Running);
    EXPECT_TRUE(t.Connected);
    EXPECT_EQ(calls, 0);
}

TEST_F(TrafficTest, UpdateAfterClearCountsFromTheLastReading)
{
    TTraffic t = Make();
    t.Update(3'000, 2'000, 0);
    t.ClearCounters();
    t.Update(3'500, 2'000, 0);
    EXPECT_EQ(t.InPerSec, 500u);
    EXPECT_EQ(t.TotalIn, 500u);
    EXPECT_EQ(t.AvgInPerSec, 500u);
    EXPECT_EQ(t.ActiveTicks, 1u);
}

TEST_F(TrafficTest, AverageSurvivesClearUntilTrafficArrives)
{
    TTraffic t = Make();
    t.Update(4'000, 2'000, 0);
    t.ClearCounters();
    t.Update(4'000, 2'000, 0);
    t.Update(4'000, 2'000, 0);
    EXPECT_EQ(t.AvgInPerSec, 3'000u);
    t.Update(4'500, 2'000, 0);
    EXPECT_EQ(t.AvgInPerSec, 500u);
}

TEST_F(TrafficTest, ClearWhileFrozenLosesNoBytes)
{
    TTraffic t = Make();
    t.Update(2'000, 2'000, 0);
    t.Freeze();
    t.ClearCounters();
    t.Update(3'000, 2'000, 0);
    t.Update(4'000, 2'000, 0);
    t.Unfreeze();
    t.Update(5'000, 2'000, 0);
    EXPECT_EQ(t.InPerSec, 3'000u);
    EXPECT_EQ(t.TotalIn, 3'000u);
    EXPECT_EQ(t.InTrafficTicks, 1u);
    EXPECT_EQ(t.ActiveTicks, 3u);
}

// ---- Texts of the record ----

TEST_F(TrafficTest, StatusTextNamesBothStates)
{
    struct Case {
        bool connected;
        bool running;
        const char* text;
    };
    TTraffic t = Make();
    for (const Case& c : {Case{true, true, "Connected, Running"}, Case{true, false, "Connected, Not running"},
                          Case{false, true, "Not connected, Running"},
                          Case{false, false, "Not connected, Not running"}}) {
        t.Connected = c.connected;
        t.Running = c.running;
        EXPECT_EQ(t.GetStatusText(), c.text);
    }
}

struct ActiveForCase {
    std::uint32_t ticks;
    const char* text;
};

// Test names come from this, so they stay the same from build to build.
void PrintTo(const ActiveForCase& c, std::ostream* os)
{
    *os << c.ticks << " ticks";
}

class ActiveForTextTest : public TrafficTest, public ::testing::WithParamInterface<ActiveForCase> {};

TEST_P(ActiveForTextTest, ShowsHoursMinutesSeconds)
{
    TTraffic t = Make();
    t.ActiveTicks = GetParam().ticks;
    EXPECT_EQ(t.GetActiveForText(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Ticks, ActiveForTextTest,
                         ::testing::Values(ActiveForCase{0, "00:00:00"}, ActiveForCase{59, "00:00:59"},
                                           ActiveForCase{60, "00:01:00"}, ActiveForCase{3599, "00:59:59"},
                                           ActiveForCase{3600, "01:00:00"}, ActiveForCase{3661, "01:01:01"},
                                           ActiveForCase{7199, "01:59:59"}, ActiveForCase{86400, "24:00:00"},
                                           ActiveForCase{360000, "100:00:00"},
                                           ActiveForCase{4294967295u, "1193046:28:15"}));

} // namespace

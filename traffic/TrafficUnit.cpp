#include "traffic/TrafficUnit.h"

#include "ifstats/IPHelper.h"

#include <algorithm>
#include <cstdio>
#include <utility>

TFormatSettings FormatSettings;

namespace {

constexpr std::uint64_t TwoTo32 = std::uint64_t{1} << 32;

// Bytes of code 0 to 32 at either end; interior bytes stay as the driver gave them.
std::string TrimmedDescription(const MIB_IFROW& row)
{
    if (row.dwDescrLen <= 1)
        return {};
    const std::size_t length = std::min<std::size_t>(row.dwDescrLen - 1, MAXLEN_IFDESCR);
    const std::uint8_t* first = row.bDescr;
    const std::uint8_t* last = row.bDescr + length;
    while (first != last && *first <= 32)
        ++first;
    while (last != first && *(last - 1) <= 32)
        --last;
    return std::string(first, last);
}

struct TUnitRow {
    std::uint64_t from; // first value shown in this unit
    std::uint64_t divisor;
    const char* unit;
};

constexpr TUnitRow ByteRows[] = {
    {0, 1, " B"},
    {std::uint64_t{1} << 10, std::uint64_t{1} << 10, " KB"},
    {std::uint64_t{1} << 20, std::uint64_t{1} << 20, " MB"},
    {std::uint64_t{1} << 30, std::uint64_t{1} << 30, " GB"},
    {std::uint64_t{1} << 40, std::uint64_t{1} << 40, " TB"},
};

constexpr TUnitRow RateRows[] = {
    {0, 1, " bps"},
    {1'000, 1'000, " Kbps"},
    {1'000'000, 1'000'000, " Mbps"},
    {1'000'000'000, 1'000'000'000, " Gbps"},
    {1'000'000'000'000, 1'000'000'000'000, " Tbps"},
};

// Integer rounding, half away from zero: a double cannot hold 1.005 exactly.
// Cannot overflow: q is below 2^25 and r below 2^40 in every row.
std::string FormatInUnit(std::uint64_t value, const TUnitRow& row, const TFormatSettings& settings)
{
    const std::uint64_t d = row.divisor;
    const std::uint64_t q = value / d;
    const std::uint64_t r = value % d;
    const std::uint64_t hundredths = q * 100 + (2 * r * 100 + d) / (2 * d);

    const std::string digits = std::to_string(hundredths / 100);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0)
            text += settings.ThousandSeparator;
        text += digits[i];
    }
    const auto fraction = static_cast<unsigned>(hundredths % 100);
    text += settings.DecimalSeparator;
    text += static_cast<char>('0' + fraction / 10);
    text += static_cast<char>('0' + fraction % 10);
    text += row.unit;
    return text;
}

template <std::size_t N>
std::string FormatScaled(std::uint64_t value, const TUnitRow (&rows)[N], const TFormatSettings& settings)
{
    const TUnitRow* row = &rows[0];
    for (const TUnitRow& r : rows)
        if (value >= r.from)
            row = &r;
    return FormatInUnit(value, *row, settings);
}

TMibIPAddrArray ReadAddressTable()
{
    TMibIPAddrArray rows;
    GetIpAddrTableRows(rows);
    return rows;
}

} // namespace

TTraffic::TTraffic(const MIB_IFROW& row, TTrafficEvent OnCreated)
    : TTraffic(row, ReadAddressTable(), std::move(OnCreated))
{
}

TTraffic::TTraffic(const MIB_IFROW& row, const TMibIPAddrArray& addresses, TTrafficEvent OnCreated)
{
    Running = true;
    Connected = true;
    InterfaceIndex = row.dwIndex;
    IpAddress = AddressText(addresses, row.dwIndex);
    // Clamped first: a huge length must not turn negative on its way to an int32.
    const auto physLength = std::min<std::uint32_t>(row.dwPhysAddrLen, MAXLEN_PHYSADDR);
    MacAddress = MacAddrToStr(row.bPhysAddr, static_cast<std::int32_t>(physLength));
    Description = TrimmedDescription(row);
    PrevInOctets = row.dwInOctets;
    PrevOutOctets = row.dwOutOctets;
    StartedAt = std::chrono::system_clock::now();
    Speed = row.dwSpeed;
    if (OnCreated)
        OnCreated(this);
}

std::string TTraffic::AddressText(const TMibIPAddrArray& addresses, std::uint32_t index)
{
    const auto match = std::find_if(addresses.begin(), addresses.end(),
                                    [index](const MIB_IPADDRROW& r) { return r.dwIndex == index; });
    return match == addresses.end() ? "Not found!" : IpAddrToStr(match->dwAddr);
}

std::uint64_t CounterDelta(std::uint64_t previous, std::uint64_t current)
{
    if (current >= previous)
        return current - previous;
    if (previous < TwoTo32 && current < TwoTo32)
        return current + (TwoTo32 - previous);
    return current;
}

namespace {

// One direction of an update: the interval's amount, total, traffic ticks, peak and average.
void CountDirection(std::uint64_t reading, std::uint64_t& previous, std::uint64_t& perSec, std::uint64_t& total,
                    std::uint32_t& trafficTicks, std::uint64_t& peak, std::uint64_t& average)
{
    perSec = CounterDelta(previous, reading);
    total += perSec;
    if (perSec != 0)
        ++trafficTicks;
    peak = std::max(peak, perSec);
    // An average over the intervals that carried traffic: idle ones change nothing.
    if (trafficTicks != 0)
        average = total / trafficTicks;
    previous = reading;
}

} // namespace

void TTraffic::Update(std::uint64_t inOctets, std::uint64_t outOctets, std::uint64_t speed)
{
    ++ActiveTicks;
    if (!Running)
        return;
    Speed = speed;
    CountDirection(inOctets, PrevInOctets, InPerSec, TotalIn, InTrafficTicks, PeakInPerSec, AvgInPerSec);
    CountDirection(outOctets, PrevOutOctets, OutPerSec, TotalOut, OutTrafficTicks, PeakOutPerSec, AvgOutPerSec);
}

// Baselines stay, so the next update counts only what arrived since the last reading.
void TTraffic::ClearCounters()
{
    StartedAt = std::chrono::system_clock::now();
    ActiveTicks = 0;
    InTrafficTicks = 0;
    OutTrafficTicks = 0;
    TotalIn = 0;
    TotalOut = 0;
    InPerSec = 0;
    OutPerSec = 0;
    PeakInPerSec = 0;
    PeakOutPerSec = 0;
}

void TTraffic::Freeze()
{
    Running = false;
    if (OnFreeze)
        OnFreeze(this);
}

void TTraffic::Unfreeze()
{
    Running = true;
    if (OnUnfreeze)
        OnUnfreeze(this);
}

void TTraffic::MarkDisconnected()
{
    Connected = false;
    Running = false;
}

std::string TTraffic::GetStatusText() const
{
    return std::string(Connected ? "Connected" : "Not connected") + (Running ? ", Running" : ", Not running");
}

std::string TTraffic::GetActiveForText() const
{
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", static_cast<unsigned>(ActiveTicks / 3600),
                  static_cast<unsigned>(ActiveTicks % 3600 / 60), static_cast<unsigned>(ActiveTicks % 60));
    return text;
}

std::string BytesToStr(std::uint64_t bytes)
{
    return BytesToStr(bytes, FormatSettings);
}

std::string BytesToStr(std::uint64_t bytes, const TFormatSettings& settings)
{
    return FormatScaled(bytes, ByteRows, settings);
}

std::string BitsPerSecToStr(std::uint64_t bitsPerSec)
{
    return BitsPerSecToStr(bitsPerSec, FormatSettings);
}

std::string BitsPerSecToStr(std::uint64_t bitsPerSec, const TFormatSettings& settings)
{
    return FormatScaled(bitsPerSec, RateRows, settings);
}

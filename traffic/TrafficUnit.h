#pragma once
// The traffic record of one interface and the texts that render its values.
// Byte amounts, totals and speeds are 64-bit; tick counts stay 32-bit.

#include "ifstats/IPHLPAPI.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

class TTraffic;

// An empty callback is skipped.
using TTrafficEvent = std::function<void(TTraffic*)>;

// Per-interface counters, fed once a poll with the interface's octet counters.
class TTraffic {
public:
    // Reads the IPv4 address table for the interface's address.
    TTraffic(const MIB_IFROW& row, TTrafficEvent OnCreated);
    // Takes the address from a table the caller has already read, so a poll that finds
    // many new interfaces reads the table once.
    TTraffic(const MIB_IFROW& row, const TMibIPAddrArray& addresses, TTrafficEvent OnCreated);

    void Update(std::uint64_t inOctets, std::uint64_t outOctets, std::uint64_t speed);
    void ClearCounters();
    void Freeze();
    void Unfreeze();
    void MarkDisconnected();

    std::string GetStatusText() const;
    std::string GetActiveForText() const;

    std::string IpAddress;
    std::string MacAddress;
    std::uint64_t InPerSec = 0;
    std::uint64_t TotalIn = 0;
    std::uint64_t PeakInPerSec = 0;
    std::uint32_t InterfaceIndex = 0;
    std::uint32_t InTrafficTicks = 0;
    std::uint32_t ActiveTicks = 0;
    std::uint64_t PrevInOctets = 0;
    std::string Description;
    std::uint64_t TotalOut = 0;
    std::uint64_t PeakOutPerSec = 0;
    std::uint64_t OutPerSec = 0;
    std::uint64_t PrevOutOctets = 0;
    std::uint32_t OutTrafficTicks = 0;
    std::uint64_t AvgInPerSec = 0;
    std::uint64_t AvgOutPerSec = 0;
    std::chrono::system_clock::time_point StartedAt{};
    bool Running = false;
    TTrafficEvent OnFreeze;
    TTrafficEvent OnUnfreeze;
    bool Connected = false;
    bool SeenInPoll = false;
    std::uint64_t Speed = 0;

private:
    static std::string AddressText(const TMibIPAddrArray& addresses, std::uint32_t index);
};

// Bytes moved between two readings of one counter; see Update.
std::uint64_t CounterDelta(std::uint64_t previous, std::uint64_t current);

struct TFormatSettings {
    std::string ThousandSeparator = ",";
    std::string DecimalSeparator = ".";
};

// The user's separators; start-up fills them from the regional settings.
extern TFormatSettings FormatSettings;

std::string BytesToStr(std::uint64_t bytes);
std::string BytesToStr(std::uint64_t bytes, const TFormatSettings& settings);
std::string BitsPerSecToStr(std::uint64_t bitsPerSec);
std::string BitsPerSecToStr(std::uint64_t bitsPerSec, const TFormatSettings& settings);

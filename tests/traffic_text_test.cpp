#include "traffic/TrafficUnit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::uint64_t U64Max = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint64_t KiB = 1024;
constexpr std::uint64_t MiB = KiB * 1024;
constexpr std::uint64_t GiB = MiB * 1024;
constexpr std::uint64_t TiB = GiB * 1024;

// Every test leaves the process-wide separators as it found them.
class TextTest : public ::testing::Test {
protected:
    void SetUp() override { saved_ = FormatSettings; }
    void TearDown() override { FormatSettings = saved_; }

private:
    TFormatSettings saved_;
};

struct TextCase {
    std::uint64_t value;
    const char* text;
};

void PrintTo(const TextCase& c, std::ostream* os)
{
    *os << c.value;
}

class BytesTextTest : public TextTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(BytesTextTest, DefaultSeparators)
{
    EXPECT_EQ(BytesToStr(GetParam().value, TFormatSettings{}), GetParam().text);
    EXPECT_EQ(BytesToStr(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, BytesTextTest,
    ::testing::Values(TextCase{0, "0.00 B"}, TextCase{1, "1.00 B"}, TextCase{1023, "1,023.00 B"},
                      TextCase{1024, "1.00 KB"}, TextCase{1152, "1.13 KB"}, // 1.125 rounds up
                      TextCase{1536, "1.50 KB"}, TextCase{5000, "4.88 KB"}, TextCase{1048575, "1,024.00 KB"},
                      TextCase{MiB, "1.00 MB"}, TextCase{MiB + MiB / 8, "1.13 MB"},
                      TextCase{52428800, "50.00 MB"}, TextCase{1073741823, "1,024.00 MB"},
                      TextCase{GiB, "1.00 GB"}, TextCase{4 * GiB, "4.00 GB"}, TextCase{6'000'000'000, "5.59 GB"},
                      TextCase{TiB - 1, "1,024.00 GB"}, TextCase{TiB, "1.00 TB"}, TextCase{TiB * 1024, "1,024.00 TB"},
                      TextCase{U64Max, "16,777,216.00 TB"}));

class RateTextTest : public TextTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(RateTextTest, DefaultSeparators)
{
    EXPECT_EQ(BitsPerSecToStr(GetParam().value, TFormatSettings{}), GetParam().text);
    EXPECT_EQ(BitsPerSecToStr(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, RateTextTest,
    ::testing::Values(TextCase{0, "0.00 bps"}, TextCase{1, "1.00 bps"}, TextCase{999, "999.00 bps"},
                      TextCase{1000, "1.00 Kbps"}, TextCase{1004, "1.00 Kbps"}, TextCase{1005, "1.01 Kbps"},
                      TextCase{1015, "1.02 Kbps"}, TextCase{999999, "1,000.00 Kbps"},
                      TextCase{1000000, "1.00 Mbps"}, TextCase{12345678, "12.35 Mbps"},
                      TextCase{54000000, "54.00 Mbps"}, TextCase{100000000, "100.00 Mbps"},
                      TextCase{999999999, "1,000.00 Mbps"}, TextCase{1'000'000'000, "1.00 Gbps"},
                      TextCase{10'000'000'000, "10.00 Gbps"}, TextCase{999'999'999'999, "1,000.00 Gbps"},
                      TextCase{1'000'000'000'000, "1.00 Tbps"}, TextCase{1'000'000'000'000'000, "1,000.00 Tbps"},
                      TextCase{U64Max, "18,446,744.07 Tbps"}));

TEST_F(TextTest, ExplicitSeparatorsAreUsed)
{
    const TFormatSettings german{".", ","};
    const TFormatSettings nbsp{"\u00a0", ","};
    const TFormatSettings narrow{"\u202f", "\u066b"};
    const TFormatSettings none{"", "."};
    struct Case {
        const char* name;
        TFormatSettings settings;
        std::uint64_t value;
        bool rate;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"german bytes", german, 1536, false, "1,50 KB"},
        {"german grouping", german, 1023, false, "1.023,00 B"},
        {"german rate", german, 999999, true, "1.000,00 Kbps"},
        {"no-break space", nbsp, 1023, false, "1\u00a0023,00 B"},
        {"narrow no-break space", narrow, U64Max, false, "16\u202f777\u202f216\u066b00 TB"},
        {"narrow rate", narrow, 999, true, "999\u066b00 bps"},
        {"no grouping", none, 1023, false, "1023.00 B"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.rate ? BitsPerSecToStr(c.value, c.settings) : BytesToStr(c.value, c.settings), c.text);
    }
}

TEST_F(TextTest, OneArgumentFormsFollowTheGlobalSettings)
{
    FormatSettings = {"\u00a0", ","};
    EXPECT_EQ(BytesToStr(1023), "1\u00a0023,00 B");
    EXPECT_EQ(BitsPerSecToStr(999999999), "1\u00a0000,00 Mbps");
    FormatSettings.DecimalSeparator = ".";
    EXPECT_EQ(BytesToStr(1536), "1.50 KB");
}

// Parses "1,234.56 XB" back; the text must have the shape the formatter promises.
bool ParseText(const std::string& text, long double& number, std::string& unit)
{
    const auto space = text.find(' ');
    if (space == std::string::npos)
        return false;
    unit = text.substr(space + 1);
    const std::string num = text.substr(0, space);
    const auto dot = num.find('.');
    if (dot == std::string::npos || dot % 4 == 0 || num.size() - dot != 3)
        return false;
    std::string digits;
    for (std::size_t i = 0; i < dot; ++i) {
        const std::size_t fromDot = dot - i;
        if (fromDot % 4 == 0) {
            if (num[i] != ',')
                return false;
        } else if (num[i] < '0' || num[i] > '9') {
            return false;
        } else {
            digits += num[i];
        }
    }
    number = std::stold(digits + num.substr(dot));
    return true;
}

// Against long double arithmetic, across every magnitude and around each power of two and ten.
TEST_F(TextTest, EveryMagnitudeIsWithinHalfAHundredth)
{
    struct Unit {
        std::uint64_t from;
        std::uint64_t divisor;
        const char* name;
    };
    const std::vector<Unit> byteUnits = {{0, 1, "B"}, {KiB, KiB, "KB"}, {MiB, MiB, "MB"}, {GiB, GiB, "GB"},
                                         {TiB, TiB, "TB"}};
    const std::vector<Unit> rateUnits = {{0, 1, "bps"},
                                         {1'000, 1'000, "Kbps"},
                                         {1'000'000, 1'000'000, "Mbps"},
                                         {1'000'000'000, 1'000'000'000, "Gbps"},
                                         {1'000'000'000'000, 1'000'000'000'000, "Tbps"}};

    std::vector<std::uint64_t> values;
    std::uint64_t ten = 1;
    for (int shift = 0; shift < 64; ++shift) {
        for (std::uint64_t base : {std::uint64_t{1} << shift, ten}) {
            for (std::uint64_t offset : {0ull, 1ull, 7ull, 12345ull})
                values.insert(values.end(), {base + offset, base - offset, base * 3 + offset});
        }
        if (ten <= U64Max / 10)
            ten *= 10;
    }
    values.push_back(U64Max);
    values.push_back(U64Max - 1'000'000);

    using Formatter = std::string (*)(std::uint64_t, const TFormatSettings&);
    const std::pair<const std::vector<Unit>*, Formatter> kinds[] = {{&byteUnits, &BytesToStr},
                                                                    {&rateUnits, &BitsPerSecToStr}};
    for (const auto& [units, format] : kinds) {
        for (std::uint64_t v : values) {
            const Unit* unit = &units->front();
            for (const Unit& u : *units)
                if (v >= u.from)
                    unit = &u;
            const std::string text = format(v, TFormatSettings{});
            SCOPED_TRACE(std::to_string(v) + " -> " + text);
            long double number = 0;
            std::string name;
            ASSERT_TRUE(ParseText(text, number, name));
            EXPECT_EQ(name, unit->name);
            const long double exact = static_cast<long double>(v) / static_cast<long double>(unit->divisor);
            EXPECT_LE(std::fabs(number - exact), 0.005L + exact * 1e-15L);
        }
    }
}

} // namespace

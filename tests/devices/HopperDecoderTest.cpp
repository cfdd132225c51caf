// The hoppers' reply into txt14 ... txt17, and the end of the hoppers' turn.
#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace cmbvhp::test;

namespace {
// A hopper reply with these four counts, addressed to the hoppers.
std::string hopper(const char* counts, const char* rest = "16 01 02 03 04 17 05 06 07 08 18 12 34")
{
    return std::string("curDevice=4; in 33 00 15 ") + counts + " " + rest;
}
} // namespace

TEST(HopperDecoder, RecordsAndTheEndOfTheTurn)
{
    runCases({
        {hopper("00 03 1A FF"), "txt14=00 03 1A FF ; txt15=01 02 03 04 ; txt16=05 06 07 08 ; txt17=12 34 ; curDevice=4"},
        {hopper("00 00 00 00"), "curDevice=0"},
        {"hpCount1=5; " + hopper("00 03 00 00"), "curDevice=4; txt14=00 03 00 00 "},
        {"hpCount1=5; " + hopper("00 05 00 00"), "curDevice=0"},
        {"hpCount3=5; " + hopper("00 00 00 00"), "curDevice=4"},
        {"hpCount3=5; " + hopper("00 00 00 05"), "curDevice=0"},
        // Hopper-only mode needs the bill validator cleared and "No Selector" both.
        {"checkBv=0; coin=none; " + hopper("00 00 00 00"), "curDevice=4"},
        {"checkBv=0; " + hopper("00 00 00 00"), "curDevice=0"},
        {"coin=none; " + hopper("00 00 00 00"), "curDevice=0"},
        // Each record needs its code at its place.
        {"curDevice=4; in 33 00 99 00 00 00 00 16 01 02 03 04 17 05 06 07 08 00 12 34", "txt14=; txt15=01 02 03 04 ; txt17=; curDevice=4"},
        {hopper("00 00 00 00", "16 01 02 03 04 99 05 06 07 08 18 12 34"), "txt16=; txt15=01 02 03 04 "},
        {hopper("00 00 00 00", "99 01 02 03 04 17 05 06 07 08 18 12 34"), "txt15=; txt16=05 06 07 08 "},
        {hopper("00 00 00 00") + "; tick*2", "wire=5A A5 / 62 9D"},
        {"tick; hpCount1=5; hp 1; tick; " + hopper("00 01 00 00") + "; tick", "wire=5A A5 / 73 8C 05 00 00 05 00 00 00 / 72 8D"},
    });
}

TEST(HopperDecoder, CountsCompareAsNumbers)
{
    const std::pair<const char*, const char*> cases[] = {{"05", "0"},  {" 5 ", "0"}, {"5.0", "0"}, {"+5", "0"},
                                                         {"4.6", "4"}, {"", "4"},    {"abc", "4"}, {"261", "4"}};
    for (const auto& [text, device] : cases)
        runCases({{std::string("hpCount0=") + text + "; " + hopper("05 00 00 00"), std::string("curDevice=") + device}});
}

#include "amp/descriptor_text.h"

#include <gtest/gtest.h>

namespace {

TEST(DescriptorText, EncodesOneTwoThreeAndFourByteCharactersAndStopsAtZero)
{
    // "A", e acute, euro sign, U+1F600 as a surrogate pair, then a 0 and text that must not show.
    const WCHAR units[] = {0x0041, 0x00E9, 0x20AC, 0xD83D, 0xDE00, 0x0000, 0x0042};
    EXPECT_EQ(DescriptorText(units, 7), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST(DescriptorText, LoneSurrogateHalvesShowAsReplacementCharacters)
{
    const WCHAR lowFirst[] = {0xDE00, 0x0041};
    EXPECT_EQ(DescriptorText(lowFirst, 2), "\xEF\xBF\xBD"
                                           "A");
    const WCHAR highThenLetter[] = {0xD83D, 0x0041};
    EXPECT_EQ(DescriptorText(highThenLetter, 2), "\xEF\xBF\xBD"
                                                 "A");
    // A high half in the last unit the count allows has no partner to read.
    const WCHAR highAtEnd[] = {0x0041, 0xD83D, 0xDE00};
    EXPECT_EQ(DescriptorText(highAtEnd, 2), "A\xEF\xBF\xBD");
}

TEST(DescriptorText, ReadsNoFurtherThanTheCount)
{
    const WCHAR units[] = {0x0051, 0x0075, 0x006F};
    EXPECT_EQ(DescriptorText(units, 2), "Qu");
    EXPECT_EQ(DescriptorText(units, 0), "");
}

}  // namespace

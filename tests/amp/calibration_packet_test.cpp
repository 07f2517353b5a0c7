#include "amp/packets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

std::vector<BYTE> Bytes(const CalibrationPacket& p)
{
    return {p.bytes, p.bytes + CALIBRATION_PACKET_LENGTH};
}

TEST(CalibrationPacket, DefaultsGiveTheStartUpPacket)
{
    EXPECT_EQ(Bytes(CalibrationPacket::Build(10.0, 6)),
              (std::vector<BYTE>{0x09, 0x30, 0xF1, 0x21, 0x29, 0x32, 0x00, 0x23, 0x00, 0x7E}));
}

TEST(CalibrationPacket, HighestFrequencyFillsThreeWordBytes)
{
    EXPECT_EQ(CalibrationPacket::TuningWord(999.99), 1073731u);
    CalibrationPacket p = CalibrationPacket::Build(999.99, 8);
    EXPECT_EQ(p.bytes[2], 0x43);
    EXPECT_EQ(p.bytes[4], 0x62);
    EXPECT_EQ(p.bytes[6], 0x10);
    EXPECT_EQ(p.bytes[8], 0x00);
    EXPECT_EQ(p.bytes[9], 255);
}

TEST(CalibrationPacket, TuningWordIsTruncatedNotRounded)
{
    EXPECT_EQ(CalibrationPacket::TuningWord(0.01), 10u);
    EXPECT_EQ(CalibrationPacket::TuningWord(2.0), 2147u);  // 2147.48...
    EXPECT_EQ(CalibrationPacket::TuningWord(10.0), 10737u);
}

TEST(CalibrationPacket, PrefixesStayWhateverTheWord)
{
    CalibrationPacket p = CalibrationPacket::Build(0.01, 0);
    EXPECT_EQ(p.bytes[0], 9);
    EXPECT_EQ(p.bytes[1], 0x30);
    EXPECT_EQ(p.bytes[3], 0x21);
    EXPECT_EQ(p.bytes[5], 0x32);
    EXPECT_EQ(p.bytes[7], 0x23);
}

TEST(CalibrationPacket, FrequenciesNoPanelCanSetDoNotOverflow)
{
    EXPECT_EQ(CalibrationPacket::TuningWord(-1.0), DWORD(-1073));
    EXPECT_EQ(CalibrationPacket::TuningWord(1e300), 0u);
    EXPECT_EQ(CalibrationPacket::TuningWord(std::nan("")), 0u);
}

struct StepCase {
    unsigned index;
    const char* text;
    BYTE code;
};

TEST(AmplitudeSteps, EachIndexHasItsReadOutAndCode)
{
    const StepCase cases[] = {
        {0, "0", 0},    {1, "5", 13},   {2, "10", 25},   {3, "15", 38}, {4, "20", 50}, {5, "25", 63},
        {6, "50", 126}, {7, "75", 193}, {8, "100", 255}, {9, "0", 0},   {255, "0", 0},  // past the table: no signal
    };
    for (const StepCase& c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(std::string(AmplitudeStepAt(c.index).text), c.text);
        EXPECT_EQ(AmplitudeStepAt(c.index).code, c.code);
        EXPECT_EQ(CalibrationPacket::Build(10.0, c.index).bytes[9], c.code);
    }
}

}  // namespace

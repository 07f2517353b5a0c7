#include "acquisition/capture_settings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NameCase {
    bool (*parse)(std::string_view, BYTE&);
    const char* name;
    int code;  // -1: refused
};

class SettingName : public testing::TestWithParam<NameCase> {};

TEST_P(SettingName, GivesThePanelsCode)
{
    BYTE code = 0xEE;
    bool known = GetParam().parse(GetParam().name, code);
    if (GetParam().code < 0) {
        EXPECT_FALSE(known);
        EXPECT_EQ(code, 0xEE);
    } else {
        EXPECT_TRUE(known);
        EXPECT_EQ(code, GetParam().code);
    }
}

INSTANTIATE_TEST_SUITE_P(CommandLineNames, SettingName,
                         testing::Values(NameCase{ParseModeName, "cal", 4}, NameCase{ParseModeName, "test", 4},
                                         NameCase{ParseModeName, "eeg", 3}, NameCase{ParseModeName, "ztest", 5},
                                         NameCase{ParseModeName, "EEG", -1}, NameCase{ParseRangeName, "50", 6},
                                         NameCase{ParseRangeName, "100", 7}, NameCase{ParseRangeName, "500", 8},
                                         NameCase{ParseRangeName, "200", -1}, NameCase{ParseChannelsName, "4", 12},
                                         NameCase{ParseChannelsName, "2", 13}, NameCase{ParseChannelsName, "8", -1},
                                         NameCase{ParseAuxName, "on", 14}, NameCase{ParseAuxName, "off", 15},
                                         NameCase{ParseReferenceName, "link", 16},
                                         NameCase{ParseReferenceName, "unlink", 17}, NameCase{ParseNotchName, "60", 18},
                                         NameCase{ParseNotchName, "50", 19}, NameCase{ParseNotchName, "off", 20},
                                         NameCase{ParseNotchName, "", -1}));

TEST(CalibrationFrequency, TakesWhatTheDialCanShow)
{
    for (auto [text, hz] : {std::pair{"0.01", 0.01}, {"999.99", 999.99}, {"10", 10.0}, {"2.5", 2.5}, {".5", 0.5}}) {
        double value = 0;
        EXPECT_TRUE(ParseCalFrequency(text, value)) << text;
        EXPECT_EQ(value, hz) << text;
    }
}

TEST(CalibrationFrequency, RefusesWhatTheDialCannotShow)
{
    for (const char* text :
         {"0", "0.00", "0.009", "1000", "999.995", "10.005", "-5", "+5", "1e2", "10.", ".", "", "ten", "1,5"}) {
        double value = 7.0;
        EXPECT_FALSE(ParseCalFrequency(text, value)) << text;
        EXPECT_EQ(value, 7.0) << text;
    }
}

TEST(CalibrationAmplitude, IsOneOfTheNineSteps)
{
    const std::pair<const char*, int> steps[] = {{"0", 0},  {"5", 1},  {"10", 2}, {"15", 3}, {"20", 4},
                                                 {"25", 5}, {"50", 6}, {"75", 7}, {"100", 8}};
    for (auto [text, index] : steps) {
        int value = -1;
        EXPECT_TRUE(ParseCalAmplitude(text, value)) << text;
        EXPECT_EQ(value, index) << text;
    }
    int value = -1;
    for (const char* text : {"30", "100.0", "", "-5"}) EXPECT_FALSE(ParseCalAmplitude(text, value)) << text;
}

TEST(SettingCaptions, FitAnAnnotationAndNameTheModelsOwnCalPosition)
{
    EXPECT_EQ(SettingCaption(4, QUORVEX_MODEL), "Mode CAL");
    EXPECT_EQ(SettingCaption(4, PELLION_MODEL), "Mode Test");
    EXPECT_EQ(SettingCaption(21, QUORVEX_MODEL), "");
    EXPECT_EQ(CalibrationCaption(999.99, 8), "Calibration 999.99 Hz 100 uV");
    EXPECT_LE(CalibrationCaption(999.99, 8).size(), 40u);
}

}  // namespace

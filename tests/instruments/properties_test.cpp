// Initial properties as the dialog templates store them.
#include "tests/instruments/instrument_fixture.h"

#include "platform/instruments/bag.h"

namespace platform::instruments::test {
namespace {

TEST(BagValues, FlagsNumbersAndColoursInTheirStoredForms)
{
    const com::PropertyBag bag = {{"a", std::string("False")}, {"b", true},
                                  {"c", int32_t(0)},           {"d", std::string("1.5")},
                                  {"e", int32_t(11829830)},    {"f", std::string("clRed")},
                                  {"g", std::string("x1")},    {"d", 2.5}};
    EXPECT_EQ(BagBool(bag, "a"), false);
    EXPECT_EQ(BagBool(bag, "b"), true);
    EXPECT_EQ(BagBool(bag, "c"), false);
    EXPECT_EQ(BagDouble(bag, "d"), 2.5);  // the later entry wins
    EXPECT_EQ(BagDouble(bag, "g"), std::nullopt);
    EXPECT_EQ(BagColor(bag, "e"), QColor(0x46, 0x82, 0xB4));
    EXPECT_EQ(BagColor(bag, "f"), QColor(255, 0, 0));
    EXPECT_EQ(BagInt(bag, "missing"), std::nullopt);
}

TEST(InitialProperties, RotaryTakesLabelsAndPositionAndClampsABadOne)
{
    Hosted<RotarySwitch> range(
        {{"PositionLabels", std::string("0, 5, 10, 15, 20, 25, 50, 75, 100")}, {"Position", int32_t(6)}});
    EXPECT_EQ(range.widget->PositionCount(), 9);
    EXPECT_EQ(range.widget->CurrentLabel(), "50");
    com::Variant labels;
    EXPECT_EQ(range.dispatch->Invoke(11, DISPATCH_PROPERTYGET, {}, &labels), S_OK);
    EXPECT_EQ(labels, com::Variant(std::string("0, 5, 10, 15, 20, 25, 50, 75, 100")));

    Hosted<RotarySwitch> odd({{"PositionLabels", std::string("CAL, EEG, Ztest")}, {"Position", int32_t(7)}});
    EXPECT_EQ(odd.widget->Position(), 2);
}

TEST(InitialProperties, LabelAlignmentAndLook)
{
    Hosted<PanelLabel> right(
        {{"Caption", std::string("USB Driver Version: ")}, {"Alignment", std::string("taRightJustify")}});
    EXPECT_EQ(right.widget->Caption(), "USB Driver Version: ");
    EXPECT_TRUE(right.widget->Alignment() & Qt::AlignRight);
    Hosted<PanelLabel> model({{"Caption", std::string("Pellion")}, {"Raised", true}, {"FontColor", int32_t(0xFF0000)}});
    EXPECT_TRUE(model.widget->Raised());
}

TEST(InitialProperties, ChartSetUpAndChannels)
{
    const com::PropertyBag bag = {
        {"XAxisMax", 1024.0},
        {"YAxisMax", 270000.0},
        {"XAxisShow", std::string("False")},
        {"AutoScrollType", std::string("scrollPage")},
        {"AutoScrollStepSize", 128.0},
        {"GridLineStyle", std::string("lineDot")},
        {"BackGroundColor", int32_t(7346457)},
        {"Channels", std::string("ch1,64,0,1;ch2,0,0,1;ch3,0,0,1;ch4,0,0,1;ch5,255,0,0;ch6,16711680,0,0;"
                                 "ch7,16711680,0,0;ch8,16711680,0,0")},
    };
    Hosted<StripChart> chart(bag, QSize(400, 200));
    EXPECT_EQ(chart.widget->XAxisMax(), 1024.0);
    EXPECT_EQ(chart.widget->YAxisMax(), 270000.0);
    EXPECT_EQ(chart.widget->ScrollStep(), 128.0);
    EXPECT_TRUE(chart.widget->PageScroll());
    EXPECT_EQ(chart.widget->ChannelAt(0).name, "ch1");
    EXPECT_EQ(chart.widget->ChannelAt(0).color, QColor(64, 0, 0));
    EXPECT_EQ(chart.widget->ChannelAt(0).stored, (std::array<double, 2>{0, 1}));
    EXPECT_EQ(chart.widget->ChannelAt(4).color, QColor(255, 0, 0));
    EXPECT_EQ(chart.widget->ChannelAt(7).color, QColor(0, 0, 255));
    EXPECT_EQ(chart.widget->ChannelAt(7).stored, (std::array<double, 2>{0, 0}));
}

TEST(InitialProperties, UnknownNamesAreIgnored)
{
    Hosted<ToggleSwitch> toggle({{"Nonsense", 1.0}, {"Active", std::string("True")}});
    EXPECT_TRUE(toggle.widget->Active());
}

}  // namespace
}  // namespace platform::instruments::test

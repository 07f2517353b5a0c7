// LED bar levels and seven-segment read-outs.
#include "tests/instruments/instrument_fixture.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

namespace platform::instruments::test {
namespace {

const com::PropertyBag kImpedanceBar = {
    {"PositionMax", 30.0},
    {"SectionCount", int32_t(4)},
    {"SectionEnd1", 10.0},
    {"SectionEnd2", 15.0},
    {"SectionEnd3", 20.0},
    {"SectionColor1", std::string("default")},
    {"SectionColor2", int32_t(3145645)},
    {"SectionColor3", std::string("clYellow")},
    {"SectionColor4", std::string("clRed")},
    {"SegmentSize", int32_t(3)},
    {"SegmentSpacing", int32_t(1)},
};

TEST(LedBarLevel, ZeroEmptiesPositionMaxFillsAboveStaysFull)
{
    Hosted<LedBar> bar(kImpedanceBar, QSize(15, 88));
    const int n = bar.widget->SegmentCount();
    EXPECT_EQ(n, 21);  // (88 - 4 + 1) / 4
    EXPECT_EQ(bar.Put(19, 30.0), S_OK);
    EXPECT_EQ(bar.widget->LitSegments(), n);
    EXPECT_EQ(bar.Put(19, 0.0), S_OK);
    EXPECT_EQ(bar.widget->LitSegments(), 0);
    EXPECT_EQ(bar.Put(19, 15.0), S_OK);
    EXPECT_EQ(bar.widget->LitSegments(), (n + 1) / 2);
    EXPECT_EQ(bar.Put(19, 45.0), S_OK);  // passed on unchanged, drawn full
    EXPECT_EQ(bar.Get(19), com::Variant(45.0));
    EXPECT_EQ(bar.widget->LitSegments(), n);
    EXPECT_EQ(bar.Put(19, -3.0), S_OK);
    EXPECT_EQ(bar.widget->LitSegments(), 0);
}

TEST(LedBarLevel, SectionsColourTheSegmentsBelowTheirEnds)
{
    Hosted<LedBar> bar(kImpedanceBar, QSize(15, 88));
    ASSERT_EQ(bar.widget->Sections().size(), 4u);
    EXPECT_EQ(bar.widget->Sections().back().end, 30.0);
    const int n = bar.widget->SegmentCount();
    EXPECT_EQ(bar.widget->SegmentColor(0), bar.widget->Sections()[0].color);
    EXPECT_EQ(bar.widget->SegmentColor(n * 12 / 30), QColor(0xAD, 0xFF, 0x2F));  // 3145645 is 0x2FFFAD
    EXPECT_EQ(bar.widget->SegmentColor(n * 17 / 30), QColor(Qt::yellow));
    EXPECT_EQ(bar.widget->SegmentColor(n - 1), QColor(Qt::red));
}

TEST(LedBarLevel, TheScreenFollowsEveryLevelThatLightsAnotherSegment)
{
    Hosted<LedBar> bar(kImpedanceBar, QSize(21, 94));
    bar.widget->show();
    auto screen = [&] {
        for (int pass = 0; pass < 2; ++pass) QCoreApplication::processEvents();
        return QGuiApplication::primaryScreen()
            ->grabWindow(bar.widget->winId())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    auto fresh = [&] { return bar.widget->grab().toImage().convertToFormat(QImage::Format_RGB32); };
    const QImage empty = screen();
    // 30.0 over 22 segments: each is about 1.36 wide.
    for (double level : {12.0, 12.3, 26.0, 3.0, 3.2, 0.0}) {
        EXPECT_EQ(bar.Put(19, level), S_OK);
        EXPECT_EQ(screen(), fresh()) << "level " << level;
    }
    EXPECT_EQ(screen(), empty);
}

struct Shown {
    double value;
    int digits;
    bool sign;
    const char* text;
};

TEST(SevenSegmentText, ShowsTwoDecimalsBlankingLeadingZeros)
{
    const Shown cases[] = {
        {10.0, 5, false, " 10.00"},  {0.01, 5, false, "  0.01"},  {999.99, 5, false, "999.99"},
        {1000.0, 5, false, "-----"}, {-5.5, 5, false, " -5.50"},  {-5.5, 5, true, "-  5.50"},
        {5.5, 5, true, "   5.50"},   {12.346, 4, false, "12.35"}, {-0.001, 5, false, "  0.00"},
    };
    for (const Shown& c : cases) {
        Hosted<SevenSegment> display({{"DigitCount", int32_t(c.digits)}, {"ShowSign", c.sign}, {"Value", c.value}});
        EXPECT_EQ(display.widget->Text().toStdString(), c.text) << c.value << " on " << c.digits << " digits";
    }
}

TEST(SevenSegmentText, ValuePutChangesTheReadout)
{
    Hosted<SevenSegment> display({{"DigitCount", int32_t(5)}, {"Value", 10.0}, {"ShowSign", std::string("False")}});
    EXPECT_EQ(display.Put(2, 123.4), S_OK);
    EXPECT_EQ(display.widget->Text(), "123.40");
}

}  // namespace
}  // namespace platform::instruments::test

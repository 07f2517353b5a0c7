// Renders one of each kind offscreen into the build folder and fails on a blank picture.
#include "tests/instruments/instrument_fixture.h"

#include <QDir>
#include <QImage>

#include <set>

namespace platform::instruments::test {
namespace {

int DistinctColours(const QImage& img)
{
    std::set<QRgb> colours;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) colours.insert(img.pixel(x, y));
    return int(colours.size());
}

template <class W>
void RenderAndCheck(const char* name, const com::PropertyBag& bag, QSize size,
                    std::function<void(Hosted<W>&)> drive = {})
{
    Hosted<W> host(bag, size);
    if (drive) drive(host);
    QImage img(size, QImage::Format_ARGB32);
    img.fill(QColor(212, 208, 200));  // the dialog's face colour behind transparent parts
    host.widget->render(&img);
    const QString path = QDir(AMP_RENDER_DIR).filePath(QString("instrument_%1.png").arg(name));
    EXPECT_TRUE(img.save(path)) << path.toStdString();
    EXPECT_GE(DistinctColours(img), 3) << name << " rendered blank";
}

TEST(OffscreenRendering, EveryKindDrawsSomething)
{
    RenderAndCheck<PanelLabel>(
        "label",
        {{"Caption", std::string("Pellion")}, {"Raised", true}, {"FontColor", int32_t(0xFF0000)}, {"FontSize", 16.0}},
        QSize(140, 37));
    RenderAndCheck<LedSwitch>("led_switch", {{"Caption", std::string("POWER")}}, QSize(90, 28),
                              [](auto& h) { h.Call(14, {true}); });
    RenderAndCheck<RotarySwitch>(
        "rotary_switch", {{"PositionLabels", std::string("50, 100, 500")}, {"Position", int32_t(1)}}, QSize(102, 104));
    RenderAndCheck<RotarySwitch>(
        "rotary_switch_nine",
        {{"PositionLabels", std::string("0, 5, 10, 15, 20, 25, 50, 75, 100")}, {"Position", int32_t(6)}},
        QSize(183, 123));
    RenderAndCheck<ToggleSwitch>("toggle_switch", {{"Active", true}}, QSize(21, 40));
    RenderAndCheck<LedBar>("led_bar",
                           {{"PositionMax", 30.0},
                            {"SectionCount", int32_t(4)},
                            {"SectionEnd1", 10.0},
                            {"SectionEnd2", 15.0},
                            {"SectionEnd3", 20.0},
                            {"SectionColor2", int32_t(3145645)},
                            {"SectionColor3", std::string("clYellow")},
                            {"SectionColor4", std::string("clRed")},
                            {"Level", 22.0}},
                           QSize(15, 88));
    RenderAndCheck<SevenSegment>("seven_segment", {{"DigitCount", int32_t(5)}, {"Value", 10.0}}, QSize(230, 75));
    RenderAndCheck<StripChart>("strip_chart",
                               {{"XAxisMax", 256.0}, {"YAxisMax", 100.0}, {"Channels", std::string("a,255")}},
                               QSize(300, 120), [](auto& h) {
                                   auto* chart = static_cast<StripChart*>(h.widget);
                                   for (int i = 0; i < 200; ++i)
                                       chart->SetChannelValue(0, chart->AddColumn(i), 50 + 40 * std::sin(i / 10.0));
                               });
    RenderAndCheck<StripChart>("strip_chart_axes",
                               {{"XAxisMax", 100.0},
                                {"YAxisMax", 10.0},
                                {"XAxisShow", true},
                                {"YAxisShow", true},
                                {"ShowLegend", true},
                                {"GridLineStyle", std::string("lineSolid")},
                                {"XAxisTickMajorCount", int32_t(5)},
                                {"YAxisTickMajorCount", int32_t(3)}},
                               QSize(360, 160), [](auto& h) {
                                   for (int i = 0; i < 150; ++i)
                                       h.widget->SetChannelValue(i % 8, h.widget->AddColumn(i), i % 10);
                               });
}

TEST(StaticArt, DrawnOncePerSize)
{
    Hosted<RotarySwitch> rotary({{"PositionLabels", std::string("CAL, EEG, Ztest")}}, QSize(106, 104));
    QImage img(rotary.widget->size(), QImage::Format_ARGB32);
    rotary.widget->render(&img);
    rotary.Call(28, {int32_t(2)});
    rotary.widget->render(&img);
    EXPECT_EQ(rotary.widget->ArtRenderCount(), 1) << "turning the pointer leaves the dial alone";
    rotary.widget->resize(150, 120);
    QImage bigger(rotary.widget->size(), QImage::Format_ARGB32);
    rotary.widget->render(&bigger);
    EXPECT_EQ(rotary.widget->ArtRenderCount(), 2);
}

}  // namespace
}  // namespace platform::instruments::test

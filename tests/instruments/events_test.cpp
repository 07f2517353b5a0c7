#include "tests/instruments/instrument_fixture.h"

#include <QTest>

namespace platform::instruments::test {
namespace {

using Events = std::vector<DISPID>;

TEST(LedSwitchEvents, ClickOnReleaseInsideOrSpace)
{
    Hosted<LedSwitch> led({{"Caption", std::string("POWER")}}, QSize(90, 28));
    QTest::mouseClick(led.widget, Qt::LeftButton, {}, QPoint(45, 14));
    EXPECT_EQ(led.events, Events{kLedSwitchClick});

    // Pressed inside, released outside: the operator changed their mind.
    QTest::mousePress(led.widget, Qt::LeftButton, {}, QPoint(45, 14));
    QTest::mouseRelease(led.widget, Qt::LeftButton, {}, QPoint(200, 14));
    EXPECT_EQ(led.events.size(), 1u);

    QTest::keyClick(led.widget, Qt::Key_Space);
    EXPECT_EQ(led.events, (Events{kLedSwitchClick, kLedSwitchClick}));
}

TEST(LedSwitchEvents, SetLedStateRaisesNoClick)
{
    Hosted<LedSwitch> led;
    EXPECT_EQ(led.Call(14, {true}), S_OK);
    EXPECT_TRUE(led.widget->LedState());
    EXPECT_EQ(led.Call(14, {false}), S_OK);
    EXPECT_FALSE(led.widget->LedState());
    EXPECT_EQ(led.Put(DISPID_CAPTION, std::string(" STOP")), S_OK);
    EXPECT_TRUE(led.events.empty());
}

TEST(LedSwitchEvents, LatchingSwitchTurnsItsLedOverOnEachPressOnly)
{
    Hosted<LedSwitch> power({{"Caption", std::string("POWER")}, {"Latching", true}}, QSize(90, 28));
    Hosted<LedSwitch> scroll({{"Caption", std::string("SCROLL")}, {"LedState", true}}, QSize(90, 28));
    QTest::mouseClick(power.widget, Qt::LeftButton, {}, QPoint(45, 14));
    QTest::mouseClick(scroll.widget, Qt::LeftButton, {}, QPoint(45, 14));
    EXPECT_TRUE(power.widget->LedState());
    EXPECT_TRUE(scroll.widget->LedState()) << "a plain switch leaves its LED to the program";
    QTest::keyClick(power.widget, Qt::Key_Space);
    EXPECT_FALSE(power.widget->LedState());
    EXPECT_EQ(power.events, (Events{kLedSwitchClick, kLedSwitchClick}));

    // The handler has the last word, and setting the LED still raises nothing.
    EXPECT_EQ(power.Call(14, {true}), S_OK);
    EXPECT_TRUE(power.widget->LedState());
    EXPECT_EQ(power.events.size(), 2u);
}

class RotaryEvents : public ::testing::Test {
protected:
    Hosted<RotarySwitch> rotary{{{"PositionLabels", std::string("50, 100, 500")}, {"Position", int32_t(1)}},
                                QSize(102, 104)};
};

TEST_F(RotaryEvents, PositionCountsFromZero)
{
    EXPECT_EQ(rotary.Get(10), com::Variant(int32_t(1)));
    EXPECT_EQ(rotary.widget->CurrentLabel(), "100");
    EXPECT_EQ(rotary.widget->PositionCount(), 3);
}

TEST_F(RotaryEvents, ClickOnALabelTurnsAndRaisesPositionChangeThenChange)
{
    QTest::mouseClick(rotary.widget, Qt::LeftButton, {}, rotary.widget->LabelRect(2).center().toPoint());
    EXPECT_EQ(rotary.widget->Position(), 2);
    EXPECT_EQ(rotary.events, (Events{kRotaryPositionChange, kRotaryChange}));

    // The label it already points at: no turn, no event.
    QTest::mouseClick(rotary.widget, Qt::LeftButton, {}, rotary.widget->LabelRect(2).center().toPoint());
    EXPECT_EQ(rotary.events.size(), 2u);
}

TEST_F(RotaryEvents, DragTurnsToTheNearestPosition)
{
    const QPoint centre = rotary.widget->Centre().toPoint();
    QTest::mousePress(rotary.widget, Qt::LeftButton, {}, centre);
    const QPoint towardsFirst = rotary.widget->LabelRect(0).center().toPoint();
    QMouseEvent move(QEvent::MouseMove, towardsFirst, rotary.widget->mapToGlobal(towardsFirst), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(rotary.widget, &move);
    QTest::mouseRelease(rotary.widget, Qt::LeftButton, {}, towardsFirst);
    EXPECT_EQ(rotary.widget->Position(), 0);
    EXPECT_EQ(rotary.events, (Events{kRotaryPositionChange, kRotaryChange}));

    // A click on the knob without moving does not turn it.
    QTest::mouseClick(rotary.widget, Qt::LeftButton, {}, centre + QPoint(3, 0));
    EXPECT_EQ(rotary.widget->Position(), 0);
}

TEST_F(RotaryEvents, ArrowKeysTurnOneStepAndStopAtTheEnds)
{
    QTest::keyClick(rotary.widget, Qt::Key_Right);
    QTest::keyClick(rotary.widget, Qt::Key_Right);  // already at the last position
    EXPECT_EQ(rotary.widget->Position(), 2);
    QTest::keyClick(rotary.widget, Qt::Key_Left);
    EXPECT_EQ(rotary.widget->Position(), 1);
    EXPECT_EQ(rotary.events.size(), 4u);
}

TEST_F(RotaryEvents, SetPointerPositionAndPutRaiseNothing)
{
    EXPECT_EQ(rotary.Call(28, {int32_t(0)}), S_OK);
    EXPECT_EQ(rotary.Get(10), com::Variant(int32_t(0)));
    EXPECT_EQ(rotary.Put(10, int32_t(2)), S_OK);
    EXPECT_EQ(rotary.Call(30), S_OK);
    EXPECT_TRUE(rotary.events.empty());
}

TEST(ToggleEvents, ClickFlipsAndRaisesChangePutDoesNot)
{
    Hosted<ToggleSwitch> toggle({}, QSize(21, 40));
    QTest::mouseClick(toggle.widget, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(toggle.Get(1), com::Variant(true));
    QTest::keyClick(toggle.widget, Qt::Key_Space);
    EXPECT_EQ(toggle.Get(1), com::Variant(false));
    EXPECT_EQ(toggle.events, (Events{kToggleChange, kToggleChange}));

    EXPECT_EQ(toggle.Put(1, true), S_OK);
    EXPECT_EQ(toggle.events.size(), 2u);
}

TEST(EventSink, NoSinkAdvisedIsHarmless)
{
    EnsureApplication();
    LedSwitch led;
    led.resize(60, 20);
    QTest::mouseClick(&led, Qt::LeftButton, {}, QPoint(30, 10));
    EXPECT_FALSE(led.IsPressed()) << "the button comes back up";
    EXPECT_FALSE(led.LedState());

    // A latching switch still turns its LED over, by mouse and by key, and the events go nowhere.
    LedSwitch power;
    power.resize(60, 20);
    power.LoadProperties({{"Latching", true}});
    QTest::mouseClick(&power, Qt::LeftButton, {}, QPoint(30, 10));
    EXPECT_TRUE(power.LedState());
    QTest::keyClick(&power, Qt::Key_Space);
    EXPECT_FALSE(power.LedState());
    EXPECT_FALSE(power.IsPressed());

    // A sink advised later gets the next click.
    Events raised;
    power.SetSink([&](DISPID id) { raised.push_back(id); });
    QTest::mouseClick(&power, Qt::LeftButton, {}, QPoint(30, 10));
    EXPECT_EQ(raised, Events{kLedSwitchClick});
}

}  // namespace
}  // namespace platform::instruments::test

// A second program never takes an amplifier that another one holds: it is refused as busy, shows
// that it cannot open it, and sends it nothing, least of all power-off.
#include "pellion_fixture.h"

#include "amp/commands.h"
#include "amp/link.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The first program: it holds the amplifier open and has powered it on.
class FirstProgram {
public:
    FirstProgram() : m_device(nullptr, AMP_INTERFACE_GUID, true) {}
    bool Holds() const { return m_device.driverHandle != INVALID_HANDLE_VALUE; }
    void PowerOn()
    {
        BYTE code = CMD_POWER_ON;
        LONG length = 1;
        m_device.bulkOutEndPoint->TransferData(&code, length);
    }
    void Close() { m_device.Close(); }

private:
    CUsbDevice m_device;
};

class TwoPrograms : public PanelTest {};

TEST_F(TwoPrograms, QuorvexOnAHeldAmplifierShowsItCannotOpenItAndSendsNothing)
{
    PlugAmplifier();
    FirstProgram first;
    ASSERT_TRUE(first.Holds());
    first.PowerOn();

    m_dlg = std::make_unique<CQuorvexDlg>();
    EXPECT_EQ(m_dlg->DoModal(), IDOK);
    EXPECT_EQ(m_boxes->texts(),
              std::vector<std::string>{"USB Driver failed to open.\n\nPlease verify Quorvex is connected."});
    EXPECT_EQ(Commands(), std::vector<Bytes>{{0x01}});
    EXPECT_TRUE(m_amplifier->state().powered);
    EXPECT_TRUE(first.Holds());
}

class TwoPellions : public PellionTest {};

TEST_F(TwoPellions, APellionOnAHeldAmplifierWaitsUntilTheFirstHasClosedIt)
{
    PlugPellion();
    auto first = std::make_unique<FirstProgram>();
    first->PowerOn();
    OpenPellion();
    Click(IDC_POWER);
    EXPECT_EQ(m_boxes->texts(),
              (std::vector<std::string>{"USB Driver failed to open.\n\nPlease verify Pellion is connected.",
                                        "USB Driver failed to open.\n\nPlease verify Pellion is connected."}));
    EXPECT_EQ(Sequence(), "1");
    EXPECT_FALSE(LedState(m_pellion->m_powerSwitch));

    first->Close();
    ClearLog();
    Click(IDC_POWER);
    EXPECT_EQ(Sequence(), "1; wait 250; 4; 21");
    EXPECT_EQ(m_pellion->m_bPowerOn, 1);
}

}  // namespace

// Drives the real Pellion main window offscreen with the panel fixture's seams: a simulated
// Pellion plugged into this process, the recording clock, recorded message boxes.
#pragma once

#include "panel_fixture.h"
#include "ui/pellion_dlg.h"

class PellionTest : public PanelTest {
protected:
    void SetUp() override;
    void TearDown() override;
    CPanelDlg* Window() override { return m_pellion.get(); }

    sim::Amplifier& PlugPellion(sim::AmplifierOptions options = {});
    // A Pellion that sends only what the test queues; nothing is queued yet.
    sim::UsbDevice& PlugScriptedPellion();
    // Builds the window (OnInitDialog runs) and puts a recording chart in place of the real one.
    CPellionDlg& OpenPellion();

    std::unique_ptr<CPellionDlg> m_pellion;
};

// 68-byte replies to a version query: a valid one with its four values, and one that QueryVersion
// must refuse.
std::vector<uint8_t> VersionReplyBytes(uint8_t usbDriver, uint8_t firmware, uint8_t serialLow, uint8_t serialHigh);
std::vector<uint8_t> BadVersionReply();

// Where the acceptance test's samples come from: anything that can put the amplifier into a
// step's settings and stream that step's packets (the capture engine on a real or simulated
// amplifier; a synthetic amplifier in the tests).
#pragma once

#include "tools/ampcheck/plan.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ampcheck {

struct Packet {
    std::array<uint16_t, 32> values{};  // four frames of eight channels: frame f, channel c at 8f + c
    double arrivalS = 0;                // when the host had it, seconds on a steady clock
};

struct Capture {
    std::vector<Packet> packets;
    int shortReads = 0;  // reads during the capture that did not bring exactly 68 bytes
    // Packets the stream lost (the amplifier's FIFO overflowed or it stalled), as far as the
    // source can tell: from the packets' sequence numbers or a gap detector on the arrivals.
    int lostPackets = 0;
};

class CaptureSource {
public:
    virtual ~CaptureSource() = default;
    // Applies every setting the step has (an unset optional is a switch the model lacks), then
    // streams until step.packets packets have arrived and stops the stream. False, with `error`
    // for the technician, when the amplifier could not be driven or stopped answering.
    virtual bool capture(const Step& step, Capture& capture, std::string& error) = 0;
    // After the last capture: stops the amplifier and completes what the source keeps beside the
    // captures (a recording). False, with `error`, when that could not be completed.
    virtual bool finish(std::string& error) { return true; }
};

// What identifies the amplifier under test in the report.
struct Identity {
    Model model = Model::quorvex;
    std::string product;      // the USB product string
    bool versionRead = true;  // a version reply came; the three below are from it
    int serial = 0;
    int firmware = 0;
    int usbDriver = 0;
};

}  // namespace ampcheck

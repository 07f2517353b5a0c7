// The simulated amplifier, both models: a UsbDevice that powers up, switches mode, range and
// filters on the commands it receives, answers version queries and streams 68-byte sample
// packets paced by platform::win32::clock(), with fault knobs for the host's error paths and
// defects of the front end for the acceptance checks (docs/signals.md).
#pragma once

#include "sim/signal.h"
#include "sim/usb_device.h"

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace sim {

struct AmplifierOptions {
    Model model = Model::quorvex;
    std::optional<std::string> product{};  // UTF-8; default "QRVX-4 EEG Amplifier" / "PLLN-2 EEG Amplifier"
    uint16_t serial = 1234;
    uint8_t firmware = 23;   // version reply byte 2
    uint8_t usbDriver = 11;  // version reply byte 1
    double rate = 256.0;     // samples per second per channel (4 per packet)
    int mainsHz = 50;        // mains interference, 50 or 60
    std::string location{};  // default "<model>-<serial>", e.g. "quorvex-1234"
    std::string backend = "local";
    std::optional<uint32_t> seed{};  // of the signal's noise; default 0x5EED0000 + serial
};

enum class Fault : uint8_t {
    no_answer,      // IN reads never complete until cancelled
    short_packets,  // packets cut to short_length() bytes (40 unless set)
    garbled,        // first byte complemented, the rest random
    status,         // transfers complete with Status::error
    detach,         // request_detach() after detach_after() stream packets (3 unless set)
    wrong_product,  // product string "Generic USB Device"
    old_driver,     // driver_version() 0x01050400
};

// "no-answer", "short", "garbled", "status", "detach", "wrong-product", "old-driver".
std::string_view fault_name(Fault fault);
std::optional<Fault> parse_fault(std::string_view name);

// A snapshot of what the amplifier has been told.
struct AmplifierState {
    bool powered = false;
    bool streaming = false;
    SignalSettings signal;
    uint64_t packetsSent = 0;  // sample packets of the current (or last) stream
};

class Amplifier : public UsbDevice {
public:
    explicit Amplifier(AmplifierOptions options = {});
    ~Amplifier() override;

    Model model() const { return m_options.model; }
    const AmplifierOptions& options() const { return m_options; }
    AmplifierState state() const;

    void set_fault(Fault fault, bool on);
    bool fault(Fault fault) const;
    void set_short_length(uint32_t bytes);
    void set_detach_after(uint32_t packets);
    // The impedance of electrode `channel` (0 to 4 on the Quorvex, 0 to 3 on the Pellion) is
    // `kohm` (0 to 999) and drifts around it from now on; false if out of range.
    bool set_impedance(int channel, int kohm);

    // Defects of the front end. `ch` is the chart's channel, 1 to 8 (packet channel ch - 1).
    // Each returns false, changing nothing, for an argument out of range.
    bool defect_gain(int ch, double factor);  // 0 to 100
    bool defect_dead(int ch);
    bool defect_noise(int ch, double uv);          // extra white noise, µV rms, 0 to 10000
    bool defect_stuck(int ch, int count = 32768);  // 0 to 65535
    bool defect_mains(double uv);                  // extra mains pick-up, µV peak, 0 to 100000
    bool defect_rate(double percent);              // sample clock off by -50 to 50 %
    bool defect_stall(uint32_t ms);                // once a second the next packet is late, 0 to 10000
    void defects_off();
    // The text form of ampsim's standard input, without "defect": "gain 3 0.9", "dead 2",
    // "noise 4 5", "stuck 2", "stuck 2 100", "mains 100", "rate 1.5", "stall 300", "off".
    // Empty when applied, otherwise why not.
    std::string defect(std::string_view command);
    SignalDefects signal_defects() const;
    double defect_rate_percent() const;
    uint32_t defect_stall_ms() const;
    void set_product(std::string product);  // the product string from the next read on
    // After the detach fault fired the device answers no_device until reattached (or the
    // fault is switched off); the fault then fires again on the next stream.
    bool detached() const;
    void reattach();

    // The 68-byte version reply this amplifier sends.
    std::vector<uint8_t> version_reply() const;

protected:
    platform::bus::Status out_status(uint8_t endpoint) override;
    void on_out(uint8_t endpoint, std::span<const uint8_t> packet) override;
    void service(uint8_t endpoint) override;

private:
    void command(std::span<const uint8_t> packet);  // with m_mutex held
    void stream_loop();
    std::vector<uint8_t> next_sample_packet();        // with m_mutex held
    void apply_faults(std::vector<uint8_t>& packet);  // with m_mutex held
    void refresh_descriptors();
    std::chrono::nanoseconds packet_period() const;  // with m_mutex held

    AmplifierOptions m_options;
    std::string m_product;
    bool m_faults[7] = {};
    uint32_t m_shortLength = 40;
    uint32_t m_detachAfter = 3;
    bool m_detached = false;
    bool m_powered = false;
    bool m_streaming = false;
    std::chrono::nanoseconds m_streamStart{0};
    uint64_t m_packetIndex = 0;
    uint64_t m_packetsSent = 0;
    SignalGenerator m_signal;
    double m_ratePercent = 0;
    uint32_t m_stallMs = 0;
    uint32_t m_rng = 0x2545F491u;
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace sim

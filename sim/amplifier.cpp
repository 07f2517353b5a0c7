#include "sim/amplifier.h"

#include "platform/win32/clock.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace sim {

using platform::bus::Status;
using namespace std::chrono;

namespace {
constexpr uint8_t kBulkIn = 0x81, kBulkOut = 0x01;
// Packets the amplifier holds for a host that stopped reading; older ones are lost.
constexpr uint64_t kFifoPackets = 64;

constexpr std::array<std::string_view, 7> kFaultNames{"no-answer", "short",         "garbled",   "status",
                                                      "detach",    "wrong-product", "old-driver"};

std::string default_product(Model m)
{
    return m == Model::quorvex ? "QRVX-4 EEG Amplifier" : "PLLN-2 EEG Amplifier";
}

std::string model_name(Model m)
{
    return m == Model::quorvex ? "quorvex" : "pellion";
}

std::string serial_text(Model m, uint16_t serial)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%s%05u", m == Model::quorvex ? "QX" : "PL", unsigned(serial));
    return buf;
}

uint16_t product_id(Model m)
{
    return m == Model::quorvex ? 0xA404 : 0xA402;
}

bool chart_channel(int ch)
{
    return ch >= 1 && ch <= 8;
}
bool within(double v, double lo, double hi)
{
    return std::isfinite(v) && v >= lo && v <= hi;
}

AmplifierOptions with_defaults(AmplifierOptions o)
{
    if (o.location.empty()) o.location = model_name(o.model) + "-" + std::to_string(o.serial);
    if (!o.product) o.product = default_product(o.model);
    return o;
}
}  // namespace

std::string_view fault_name(Fault fault)
{
    return kFaultNames[size_t(fault)];
}

std::optional<Fault> parse_fault(std::string_view name)
{
    for (size_t i = 0; i < kFaultNames.size(); ++i)
        if (kFaultNames[i] == name) return Fault(i);
    return std::nullopt;
}

Amplifier::Amplifier(AmplifierOptions options)
    : UsbDevice(amplifier_descriptors(product_id(options.model), with_defaults(options).product.value(),
                                      serial_text(options.model, options.serial)),
                with_defaults(options).location, options.backend),
      m_options(with_defaults(std::move(options))), m_product(*m_options.product),
      m_signal(m_options.model, m_options.rate, m_options.mainsHz,
               m_options.seed.value_or(0x5EED0000u + m_options.serial))
{
    m_thread = std::thread([this] { stream_loop(); });
}

Amplifier::~Amplifier()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_changed.notify_all();
    }
    m_thread.join();
}

AmplifierState Amplifier::state() const
{
    std::lock_guard lock(m_mutex);
    return {m_powered, m_streaming, m_signal.settings(), m_packetsSent};
}

void Amplifier::set_fault(Fault f, bool on)
{
    bool rejoin = false;
    {
        std::lock_guard lock(m_mutex);
        m_faults[size_t(f)] = on;
        if (f == Fault::detach && !on && m_detached) {
            m_detached = false;
            rejoin = true;
        }
        m_changed.notify_all();
    }
    if (rejoin) set_gone(false);
    if (f == Fault::wrong_product) refresh_descriptors();
    if (f == Fault::old_driver) set_driver_version(on ? 0x01050400 : 0);
    service(kBulkIn);
}

bool Amplifier::fault(Fault f) const
{
    std::lock_guard lock(m_mutex);
    return m_faults[size_t(f)];
}

void Amplifier::set_short_length(uint32_t bytes)
{
    std::lock_guard lock(m_mutex);
    m_shortLength = bytes;
}

void Amplifier::set_detach_after(uint32_t packets)
{
    std::lock_guard lock(m_mutex);
    m_detachAfter = packets;
}

bool Amplifier::set_impedance(int channel, int kohm)
{
    std::lock_guard lock(m_mutex);
    return m_signal.set_impedance(channel, kohm);
}

nanoseconds Amplifier::packet_period() const
{
    return nanoseconds(int64_t(4e9 / (m_options.rate * (1 + m_ratePercent / 100))));
}

bool Amplifier::defect_gain(int ch, double factor)
{
    if (!chart_channel(ch) || !within(factor, 0, 100)) return false;
    std::lock_guard lock(m_mutex);
    m_signal.defects().gain[size_t(ch - 1)] = factor;
    return true;
}

bool Amplifier::defect_dead(int ch)
{
    if (!chart_channel(ch)) return false;
    std::lock_guard lock(m_mutex);
    m_signal.defects().dead[size_t(ch - 1)] = true;
    return true;
}

bool Amplifier::defect_noise(int ch, double uv)
{
    if (!chart_channel(ch) || !within(uv, 0, 10000)) return false;
    std::lock_guard lock(m_mutex);
    m_signal.defects().noiseUv[size_t(ch - 1)] = uv;
    return true;
}

bool Amplifier::defect_stuck(int ch, int count)
{
    if (!chart_channel(ch) || count < 0 || count > 65535) return false;
    std::lock_guard lock(m_mutex);
    m_signal.defects().stuck[size_t(ch - 1)] = count;
    return true;
}

bool Amplifier::defect_mains(double uv)
{
    if (!within(uv, 0, 100000)) return false;
    std::lock_guard lock(m_mutex);
    m_signal.defects().mainsUv = uv;
    return true;
}

bool Amplifier::defect_rate(double percent)
{
    if (!within(percent, -50, 50)) return false;
    std::lock_guard lock(m_mutex);
    // The packets already sent keep their times; the next ones follow at the new pace.
    nanoseconds before = packet_period();
    m_ratePercent = percent;
    m_streamStart += (before - packet_period()) * int64_t(m_packetIndex);
    m_changed.notify_all();
    return true;
}

bool Amplifier::defect_stall(uint32_t ms)
{
    if (ms > 10000) return false;
    std::lock_guard lock(m_mutex);
    m_stallMs = ms;
    return true;
}

void Amplifier::defects_off()
{
    {
        std::lock_guard lock(m_mutex);
        m_signal.defects() = SignalDefects{};
    }
    defect_rate(0);
    defect_stall(0);
}

SignalDefects Amplifier::signal_defects() const
{
    std::lock_guard lock(m_mutex);
    return m_signal.defects();
}

double Amplifier::defect_rate_percent() const
{
    std::lock_guard lock(m_mutex);
    return m_ratePercent;
}

uint32_t Amplifier::defect_stall_ms() const
{
    std::lock_guard lock(m_mutex);
    return m_stallMs;
}

std::string Amplifier::defect(std::string_view command)
{
    std::istringstream in{std::string(command)};
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    auto number = [&](size_t at, double& v) {
        const std::string& w = words[at];
        auto [end, error] = std::from_chars(w.data(), w.data() + w.size(), v);
        return error == std::errc() && end == w.data() + w.size() && std::isfinite(v);
    };
    auto whole = [&](size_t at, int& v) {
        double d = 0;
        if (!number(at, d) || d != std::floor(d) || std::abs(d) > 1e9) return false;
        v = int(d);
        return true;
    };
    struct Form {
        std::string_view name;
        size_t minArgs, maxArgs;
        const char* usage;
    };
    static constexpr Form kForms[] = {
        {"gain", 2, 2, "gain CH FACTOR (CH 1 to 8, FACTOR 0 to 100)"},
        {"dead", 1, 1, "dead CH (CH 1 to 8)"},
        {"noise", 2, 2, "noise CH UV (CH 1 to 8, UV 0 to 10000)"},
        {"stuck", 1, 2, "stuck CH [COUNT] (CH 1 to 8, COUNT 0 to 65535)"},
        {"mains", 1, 1, "mains UV (UV 0 to 100000)"},
        {"rate", 1, 1, "rate PERCENT (PERCENT -50 to 50)"},
        {"stall", 1, 1, "stall MS (MS 0 to 10000)"},
        {"off", 0, 0, "off"},
    };
    std::string name = words.empty() ? "" : words[0];
    auto form = std::find_if(std::begin(kForms), std::end(kForms), [&](const Form& f) { return f.name == name; });
    if (form == std::end(kForms))
        return "unknown defect '" + name + "': gain, dead, noise, stuck, mains, rate, stall or off";
    const std::string usage = std::string("usage: defect ") + form->usage;
    size_t args = words.size() - 1;
    if (args < form->minArgs || args > form->maxArgs) return usage;

    int ch = 0, count = 32768;
    double value = 0;
    bool perChannel = name == "gain" || name == "dead" || name == "noise" || name == "stuck";
    if (perChannel && !whole(1, ch)) return usage;
    if ((name == "gain" || name == "noise") && !number(2, value)) return usage;
    if (name == "stuck" && args == 2 && !whole(2, count)) return usage;
    if ((name == "mains" || name == "rate" || name == "stall") && !number(1, value)) return usage;

    bool applied = true;
    if (name == "gain") applied = defect_gain(ch, value);
    else if (name == "dead") applied = defect_dead(ch);
    else if (name == "noise") applied = defect_noise(ch, value);
    else if (name == "stuck") applied = defect_stuck(ch, count);
    else if (name == "mains") applied = defect_mains(value);
    else if (name == "rate") applied = defect_rate(value);
    else if (name == "stall")
        applied = value == std::floor(value) && within(value, 0, 10000) && defect_stall(uint32_t(value));
    else defects_off();
    return applied ? std::string() : "out of range: defect " + std::string(form->usage);
}

void Amplifier::set_product(std::string product)
{
    {
        std::lock_guard lock(m_mutex);
        m_product = std::move(product);
    }
    refresh_descriptors();
}

bool Amplifier::detached() const
{
    std::lock_guard lock(m_mutex);
    return m_detached;
}

void Amplifier::reattach()
{
    {
        std::lock_guard lock(m_mutex);
        m_detached = false;
        m_changed.notify_all();
    }
    set_gone(false);
}

void Amplifier::refresh_descriptors()
{
    std::string product;
    {
        std::lock_guard lock(m_mutex);
        product = m_faults[size_t(Fault::wrong_product)] ? "Generic USB Device" : m_product;
    }
    DescriptorSet set = descriptors();
    set.strings[2] = text_descriptor(product);
    set_descriptors(std::move(set));
}

std::vector<uint8_t> Amplifier::version_reply() const
{
    std::vector<uint8_t> reply(68, 0);
    reply[0] = 0x63;
    reply[1] = m_options.usbDriver;
    reply[2] = m_options.firmware;
    reply[3] = uint8_t(m_options.serial & 0xFF);
    reply[4] = uint8_t(m_options.serial >> 8);
    return reply;
}

Status Amplifier::out_status(uint8_t endpoint)
{
    std::lock_guard lock(m_mutex);
    return m_faults[size_t(Fault::status)] ? Status::error : Status::ok;
}

void Amplifier::on_out(uint8_t endpoint, std::span<const uint8_t> packet)
{
    if (endpoint != kBulkOut) return;
    std::lock_guard lock(m_mutex);
    command(packet);
    m_changed.notify_all();
}

void Amplifier::command(std::span<const uint8_t> packet)
{
    if (packet.empty()) {
        log().note("empty packet");
        return;
    }
    uint8_t code = packet[0];
    bool pellion = m_options.model == Model::pellion;
    bool known = code >= 1 && code <= 21 &&
                 !(pellion && (code == 9 || code == 12 || code == 13 || code == 16 || code == 17)) &&
                 !(!pellion && code == 20);
    if (!known) {
        log().note("unknown command " + std::to_string(code));
        return;
    }
    if (!m_powered && code != 1) {
        log().note("powered off: command " + std::to_string(code) + " ignored");
        return;
    }
    SignalSettings s = m_signal.settings();
    switch (code) {
    case 1:
        // The panels move Mode and Range back at power-on without sending them; every other
        // switch keeps what it shows, and so does the amplifier.
        if (!m_powered) {
            s.mode = SignalSettings{}.mode;
            s.range = SignalSettings{}.range;
        }
        m_powered = true;
        break;
    case 2:
        m_powered = false;
        m_streaming = false;
        m_queued[kBulkIn].clear();
        break;
    case 3:
    case 4:
    case 5: s.mode = code; break;
    case 6:
    case 7:
    case 8: s.range = code; break;
    case 9:
        if (packet.size() != 10 || packet[1] != 0x30 || packet[3] != 0x21 || packet[5] != 0x32 || packet[7] != 0x23) {
            log().note("malformed calibration packet");
            return;
        }
        s.calWord = uint32_t(packet[2]) | uint32_t(packet[4]) << 8 | uint32_t(packet[6]) << 16 |
                    uint32_t(packet[8]) << 24;
        s.calAmplitude = packet[9];
        break;
    case 10:
        if (!m_streaming) {  // a second start joins the running stream
            m_streaming = true;
            m_streamStart = platform::win32::clock().now();
            m_packetIndex = 0;
            m_packetsSent = 0;
            m_signal.restart();
        }
        break;
    case 11: m_streaming = false; break;
    case 12: s.channels = 4; break;
    case 13: s.channels = 2; break;
    case 14: s.aux = true; break;
    case 15: s.aux = false; break;
    case 16: s.refLinked = true; break;
    case 17: s.refLinked = false; break;
    case 18: s.notchHz = 60; break;
    case 19: s.notchHz = 50; break;
    case 20: s.notchHz = 0; break;
    case 21:
        // Queued ahead of the next sample packet when the stream runs.
        m_queued[kBulkIn].push_back(version_reply());
        break;
    }
    m_signal.set(s);
}

void Amplifier::apply_faults(std::vector<uint8_t>& packet)
{
    auto random = [this] {
        m_rng ^= m_rng << 13;
        m_rng ^= m_rng >> 17;
        m_rng ^= m_rng << 5;
        return uint8_t(m_rng);
    };
    if (m_faults[size_t(Fault::garbled)] && !packet.empty()) {
        packet[0] = uint8_t(~packet[0]);
        for (size_t i = 1; i < packet.size(); ++i) packet[i] = random();
    }
    if (m_faults[size_t(Fault::short_packets)] && packet.size() > m_shortLength) packet.resize(m_shortLength);
}

std::vector<uint8_t> Amplifier::next_sample_packet()
{
    const SignalSettings& s = m_signal.settings();
    std::vector<uint8_t> packet(68, 0);
    packet[0] = 0x53;                    // 'S': never the version reply's 'c'
    packet[1] = uint8_t(m_packetIndex);  // counts lost packets too, so a gap shows
    packet[2] = s.mode;
    packet[3] = s.range;
    for (int f = 0; f < 4; ++f) {
        std::array<uint16_t, 8> frame = m_signal.next();
        for (int c = 0; c < 8; ++c) {
            size_t at = 4 + 2 * size_t(8 * f + c);
            packet[at] = uint8_t(frame[c] & 0xFF);
            packet[at + 1] = uint8_t(frame[c] >> 8);
        }
    }
    ++m_packetIndex;
    return packet;
}

void Amplifier::service(uint8_t endpoint)
{
    if (endpoint != kBulkIn) {
        UsbDevice::service(endpoint);
        return;
    }
    for (;;) {
        Read read;
        std::vector<uint8_t> packet;
        Status status = Status::ok;
        {
            std::lock_guard lock(m_mutex);
            auto& reads = m_reads[kBulkIn];
            auto& queued = m_queued[kBulkIn];
            if (reads.empty() || m_faults[size_t(Fault::no_answer)]) return;
            if (!queued.empty()) {
                packet = std::move(queued.front());
                queued.pop_front();
                apply_faults(packet);
                if (m_faults[size_t(Fault::status)]) status = Status::error;
            } else if (m_faults[size_t(Fault::status)] && !m_streaming) {
                status = Status::error;  // a failing endpoint: nothing to wait for
            } else {
                m_changed.notify_all();  // the stream thread answers it, if anything does
                return;
            }
            read = std::move(reads.front());
            reads.pop_front();
        }
        complete(kBulkIn, read, packet, status);
    }
}

void Amplifier::stream_loop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        auto ready = [this] {
            return m_stop || (m_streaming && m_powered && !m_detached && !m_faults[size_t(Fault::no_answer)] &&
                              !m_reads[kBulkIn].empty() && m_queued[kBulkIn].empty());
        };
        m_changed.wait(lock, ready);
        if (m_stop) return;

        const nanoseconds period = packet_period();
        nanoseconds start = m_streamStart;
        nanoseconds now = platform::win32::clock().now();
        // A host far behind finds only the newest packets: the rest overflowed the FIFO.
        if (now > start + period * int64_t(m_packetIndex + kFifoPackets)) {
            uint64_t behind = uint64_t((now - start) / period) - m_packetIndex - kFifoPackets;
            m_packetIndex += behind;
            m_signal.skip(4 * behind);
        }
        nanoseconds deadline = start + period * int64_t(m_packetIndex + 1);
        // A stalled link: once a second the packet is late, and those due meanwhile follow it.
        uint64_t perSecond = std::max<uint64_t>(1, uint64_t(std::llround(m_options.rate / 4)));
        if (m_stallMs > 0 && m_packetIndex > 0 && m_packetIndex % perSecond == 0) deadline += milliseconds(m_stallMs);
        lock.unlock();
        platform::win32::clock().pace_until(deadline);
        lock.lock();
        if (!ready() || m_stop || m_streamStart != start) continue;

        std::vector<uint8_t> packet = next_sample_packet();
        apply_faults(packet);
        Status status = m_faults[size_t(Fault::status)] ? Status::error : Status::ok;
        Read read = std::move(m_reads[kBulkIn].front());
        m_reads[kBulkIn].pop_front();
        ++m_packetsSent;
        bool detach = m_faults[size_t(Fault::detach)] && m_packetsSent >= m_detachAfter;
        if (detach) m_detached = true;
        lock.unlock();
        complete(kBulkIn, read, packet, status);
        if (detach) {
            // Unplugged first, so that the host learns of it before its reads fail.
            request_detach();
            set_gone(true);
        }
        lock.lock();
    }
}

}  // namespace sim

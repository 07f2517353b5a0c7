// sim_signal_plot DIR: streams each mode from a simulated amplifier under virtual time and
// draws what came over the wire into DIR/signal-<mode>.png, for the signal notes.
#include "platform/win32/clock.h"
#include "sim/amplifier.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <future>
#include <iostream>

namespace {

using Frames = std::vector<std::array<uint16_t, 8>>;

Frames stream(std::vector<std::vector<uint8_t>> commands, int packets)
{
    sim::Amplifier amp;
    auto send = [&](std::vector<uint8_t> bytes) { amp.submit(0x01, bytes, [](auto) {}); };
    send({1});
    for (auto& c : commands) send(c);
    send({10});
    Frames frames;
    std::vector<uint8_t> buffer(68);
    for (int p = 0; p < packets; ++p) {
        std::promise<platform::bus::Result> done;
        amp.submit(0x81, buffer, [&](platform::bus::Result r) { done.set_value(r); });
        if (done.get_future().get().bytes != 68) continue;
        for (int f = 0; f < 4; ++f) {
            std::array<uint16_t, 8> frame;
            for (int c = 0; c < 8; ++c)
                frame[c] = uint16_t(buffer[4 + 2 * (8 * f + c)] | buffer[5 + 2 * (8 * f + c)] << 8);
            frames.push_back(frame);
        }
    }
    return frames;
}

// One lane per channel; `lo`..`hi` counts fill a lane.
void plot(const Frames& frames, std::vector<int> channels, double lo, double hi, const QString& title,
          const QString& xLabel, const QString& path)
{
    const int width = 900, lane = 90, top = 30, left = 60;
    QImage image(width, top + lane * int(channels.size()) + 30, QImage::Format_RGB32);
    image.fill(QColor(250, 250, 246));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.drawText(left, 20, title);
    for (size_t k = 0; k < channels.size(); ++k) {
        int y0 = top + lane * int(k);
        p.setPen(QColor(210, 210, 200));
        p.drawRect(left, y0 + 4, width - left - 10, lane - 8);
        p.setPen(Qt::black);
        p.drawText(8, y0 + lane / 2 + 4, QString("ch%1").arg(channels[k] + 1));  // the chart's name
        QPainterPath path;
        for (size_t i = 0; i < frames.size(); ++i) {
            double x = left + double(i) * (width - left - 10) / double(frames.size() - 1);
            double v = (frames[i][channels[k]] - lo) / (hi - lo);
            double y = y0 + lane - 6 - v * (lane - 12);
            if (i == 0) path.moveTo(x, y);
            else path.lineTo(x, y);
        }
        p.setPen(QPen(QColor(20, 60, 160), 1.2));
        p.drawPath(path);
    }
    p.setPen(Qt::black);
    p.drawText(left, image.height() - 10, xLabel);
    p.end();
    if (!image.save(path)) std::cerr << "sim_signal_plot: cannot write " << path.toStdString() << "\n";
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: sim_signal_plot DIR\n";
        return 2;
    }
    QGuiApplication app(argc, argv);
    platform::win32::RecordingClock clock;
    platform::win32::ScopedClock scoped(clock);
    QString dir = argv[1];
    const double cpu100 = 327.68;  // counts per µV at range 100
    // 10 Hz at 100 µV p-p, calibration word 10737; "4 Ch.".
    plot(stream({{12}, {9, 0x30, 0xF1, 0x21, 0x29, 0x32, 0x00, 0x23, 0x00, 0xFF}}, 128), {0, 1, 2, 3},
         32768 - 60 * cpu100, 32768 + 60 * cpu100,
         "CAL: 10 Hz square wave, amplitude code 255 (100 uV p-p), range 100, 0.5 uV rms noise", "2 s",
         dir + "/signal-cal.png");
    plot(stream({{3}, {12}}, 128), {0, 1, 2, 3}, 32768 - 80 * cpu100, 32768 + 80 * cpu100,
         "EEG, notch at 60 Hz (power-on): alpha, background and 12 uV of 50 Hz mains, range 100 (lane: +-80 uV)", "2 s",
         dir + "/signal-eeg.png");
    plot(stream({{3}, {12}, {19}, {14}}, 128), {0, 1, 2, 3, 5}, 32768 - 80 * cpu100, 32768 + 80 * cpu100,
         "EEG, 50 Hz notch (mains 60 dB down), aux on (ch6: pulse sensor), range 100", "2 s",
         dir + "/signal-eeg-notch.png");
    plot(stream({{5}}, 64 * 60), {0, 1, 2, 3, 4}, 0, 30,
         "Ztest: electrode impedances in kilohms, ch5 the reference (lane: 0 to 30 k)", "60 s",
         dir + "/signal-impedance.png");
    return 0;
}

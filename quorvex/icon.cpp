// Icon 128: a small instrument face, a dark bezel round a pale screen with a green trace and a
// red power lamp, so the program is recognisable on the task bar.
#include "quorvex/resources.h"

#include <array>
#include <cmath>

namespace {

constexpr int N = QUORVEX_ICON_SIZE;

constexpr uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b)
{
    return a << 24 | r << 16 | g << 8 | b;
}

std::array<uint32_t, N * N> DrawIcon()
{
    std::array<uint32_t, N * N> px{};
    auto inBezel = [](int x, int y) {
        // Rounded square with a corner radius of 5 pixels.
        const int r = 5;
        int cx = x < r ? r : x > N - 1 - r ? N - 1 - r : x;
        int cy = y < r ? r : y > N - 1 - r ? N - 1 - r : y;
        int dx = x - cx, dy = y - cy;
        return dx * dx + dy * dy <= r * r;
    };
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
            uint32_t c = 0;
            if (inBezel(x, y)) c = (x == 0 || y == 0) ? Argb(255, 92, 104, 128) : Argb(255, 34, 40, 58);
            if (x >= 4 && x <= 27 && y >= 5 && y <= 21) c = Argb(255, 214, 222, 214);  // screen
            px[size_t(y * N + x)] = c;
        }
    // The trace: a burst of waves across the screen.
    int lastY = -1;
    for (int x = 5; x <= 26; ++x) {
        double t = (x - 5) / 21.0;
        double envelope = std::sin(t * 3.14159);
        int y = 13 + int(std::lround(6.0 * envelope * std::sin(t * 6.28318 * 3.0)));
        int from = lastY < 0 ? y : std::min(lastY, y), to = lastY < 0 ? y : std::max(lastY, y);
        for (int yy = from; yy <= to; ++yy) px[size_t(yy * N + x)] = Argb(255, 16, 140, 40);
        lastY = y;
    }
    // The power lamp and two knobs under the screen.
    for (int y = 23; y <= 28; ++y)
        for (int x = 0; x < N; ++x) {
            auto disc = [&](int cx, int cy, int r) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; };
            if (disc(8, 25, 2)) px[size_t(y * N + x)] = Argb(255, 230, 40, 30);
            if (disc(17, 25, 2) || disc(24, 25, 2)) px[size_t(y * N + x)] = Argb(255, 190, 190, 196);
        }
    return px;
}

}  // namespace

const uint32_t* QuorvexIconPixels()
{
    static const auto pixels = DrawIcon();
    return pixels.data();
}

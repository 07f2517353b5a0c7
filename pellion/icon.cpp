// Icon 128: a round blue dial with a white trace across it, so the Pellion tells itself apart
// from the Quorvex on the task bar.
#include "pellion/resources.h"

#include <array>
#include <cmath>

namespace {

constexpr int N = PELLION_ICON_SIZE;

uint32_t Pixel(int x, int y)
{
    double dx = x - 15.5, dy = y - 15.5;
    double r = std::sqrt(dx * dx + dy * dy);
    if (r > 15.5) return 0;
    if (r > 13.5) return 0xFF1C2A4Au;  // rim
    double trace = 15.5 - 6.0 * std::sin((x - 2) * 0.55);
    if (std::abs(y - trace) < 1.2 && x > 3 && x < 28) return 0xFFFFFFFFu;
    return 0xFF2F6FD0u;
}

std::array<uint32_t, N * N> DrawIcon()
{
    std::array<uint32_t, N * N> px{};
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) px[size_t(y * N + x)] = Pixel(x, y);
    return px;
}

}  // namespace

const uint32_t* PellionIconPixels()
{
    static const auto px = DrawIcon();
    return px.data();
}

#include "acquisition/chart_feed.h"

double g_chartX = 0.0;
int g_impedanceSkip = 0;

namespace {

bool SetFrame(IStripChart* chart, LONG column, const SampleSlot& slot, int frame,
              const double offsets[SAMPLE_CHANNEL_COUNT], ChartChannels traces)
{
    for (int i = 0; i < traces.count; ++i) {
        int c = traces.channels[i];
        double value = double(DWORD(slot.v[SAMPLE_CHANNEL_COUNT * frame + c])) + offsets[c];
        if (FAILED(chart->SetChannelValue(c, column, value))) return false;
    }
    return true;
}

}  // namespace

bool DrawSlot(IStripChart* chart, const SampleSlot& slot, const double offsets[SAMPLE_CHANNEL_COUNT],
              ChartChannels traces)
{
    if (chart == nullptr) return false;
    LONG column = 0;
    if (FAILED(chart->AddColumn(g_chartX, &column))) return false;
    if (FAILED(chart->BeginUpdate())) return false;
    for (int f = 0; f < SAMPLE_FRAME_COUNT; ++f) {
        if (f > 0) {
            g_chartX += 1.0;
            column = 0;
            if (FAILED(chart->AddColumn(g_chartX, &column))) return false;
        }
        if (!SetFrame(chart, column, slot, f, offsets, traces)) return false;
    }
    g_chartX += 1.0;
    return SUCCEEDED(chart->EndUpdate());
}

bool ImpedanceRefreshDue()
{
    if (g_impedanceSkip < 20) {
        ++g_impedanceSkip;
        return false;
    }
    g_impedanceSkip = 1;
    return true;
}

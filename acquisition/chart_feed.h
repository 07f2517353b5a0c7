// What the window does with one ring slot: four chart columns at the running x, a value for each
// drawn channel of each frame, and the schedule on which impedance bars are refreshed.
#pragma once

#include "acquisition/sample_ring.h"
#include "platform/com/stripchart.h"

extern double g_chartX;      // x of the next column; never reset, so a new stream continues the chart
extern int g_impedanceSkip;  // chart updates in impedance mode since the bars last changed

// A model's traces: which channels are drawn, in the order the chart is given them.
struct ChartChannels {
    const int* channels;
    int count;
};

// One bracketed batch: AddColumn, BeginUpdate, the values of frame 0, then for frames 1 to 3 a
// new column and its values, EndUpdate. False at the first failed chart call (or without a
// chart): the rest of the update is skipped.
bool DrawSlot(IStripChart* chart, const SampleSlot& slot, const double offsets[SAMPLE_CHANNEL_COUNT],
              ChartChannels traces);

// Called once per chart update in impedance mode: true on the 21st such update since the program
// started and then on every 20th.
bool ImpedanceRefreshDue();

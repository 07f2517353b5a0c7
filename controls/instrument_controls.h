// All six instrument control wrappers, for a window that holds several kinds.
#pragma once

#include "controls/label_ctrl.h"
#include "controls/led_bar_ctrl.h"
#include "controls/led_switch_ctrl.h"
#include "controls/rotary_switch_ctrl.h"
#include "controls/seven_segment_ctrl.h"
#include "controls/toggle_switch_ctrl.h"

// What the device library's string buffers hold (raw UTF-16 units, as the descriptors carry
// them), as the UTF-8 the programs print and store.
#pragma once

#include "platform/win32/windows.h"

#include <string>

// The units up to the first 0 or `count`, whichever comes first. A surrogate pair is one code
// point; a lone surrogate half shows as U+FFFD.
std::string DescriptorText(const WCHAR* units, int count);

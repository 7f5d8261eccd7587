// The monitor profile for the colour transforms (Ui_ICC_SetMonitorProfileHook):
// on X11, the root window's _ICC_PROFILE property of the default screen, read
// through Qt's native X11 interface and xcb; elsewhere, or when the property
// is missing, no profile (the monitor is then taken to be sRGB). A property
// larger than kMonitorProfileMax bytes is refused as a failure.
#pragma once

#include <cstdint>
#include <vector>

#include "base/status.h"

constexpr uint32_t kMonitorProfileMax = 16u << 20;

// Fills `profile` (empty when there is none); kSysErr when the X server
// cannot be asked or answers nonsense. Needs the application object.
Status Ui_ReadMonitorProfile(std::vector<uint8_t>& profile);
// Installs Ui_ReadMonitorProfile as the colour transforms' monitor hook.
void Ui_InstallMonitorProfileHook();

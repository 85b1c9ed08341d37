// A bare window and unpaced device parameters for the device's benchmarks:
// they need the real window layer and device, but none of the viewer's
// start-up.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "platform/win32/win32.h"

// A window of width x height client pixels, of a class with default
// processing only, left hidden; null when the window layer cannot make one.
HWND OpenPlainWindow(int width, int height, const char* title = "tavenor test window");

// Windowed, discarding, 16-bit depth, client-sized back buffer, presents
// unpaced (D3DPRESENT_INTERVAL_IMMEDIATE) so measurements are not held to the
// display's refresh.
D3DPRESENT_PARAMETERS UnpacedWindowedParameters();

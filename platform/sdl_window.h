// What the SDL window layer shares with the OpenGL device: the native window
// behind a handle. Only platform/ code includes this header.
#pragma once

#include "platform/win32.h"

struct SDL_Window;

// The SDL window of a live handle made by CreateWindowExA; null otherwise.
// Windows are created with SDL_WINDOW_OPENGL, hidden and resizable.
SDL_Window* SdlWindowFromHwnd(HWND window);

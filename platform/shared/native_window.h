// What the SDL window layer shares with the rest of the platform: the native
// window behind a handle, and closing the layer. Implemented by
// platform/win32 (tavenor_win32_sdl); the device links it for the lookup.
#pragma once

#include "platform/win32/win32.h"

struct SDL_Window;

// The SDL window of a live handle made by CreateWindowExA; null otherwise.
// Windows are created with SDL_WINDOW_OPENGL, hidden and resizable.
SDL_Window* SdlWindowFromHwnd(HWND window);

// Destroys every window still open without sending it anything, releases
// the capture and forgets all classes and queued messages. main() calls it
// after WinMain returns and before SDL_Quit, so no SDL window outlives SDL.
void CloseWindowLayer();

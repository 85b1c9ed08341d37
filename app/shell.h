// The program's window procedure. WinMain (declared in platform/win32.h)
// lives beside it in shell.cpp.
#pragma once

#include "platform/win32/win32.h"

// WM_DESTROY releases the graphics and posts the quit message; every other
// message goes to the arcball (while it exists) and then to DefWindowProcA.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Win32-style window-system calls the viewer is written against.
// Offers the subset of user32/kernel32 the program uses, with Win32's names,
// types and numbers; implemented on SDL2 by win32_sdl.cpp (and by a recording
// fake in the tests). Single-threaded: every call comes from the loop thread.
#pragma once

#include <cstdint>

// ---- Base types -------------------------------------------------------------
using BOOL = int;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using HRESULT = std::int32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using ATOM = WORD;
using LPCSTR = const char*;
using LPSTR = char*;
using HANDLE = void*;

struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
struct HICON__;
using HICON = HICON__*;
using HCURSOR = HICON;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;
struct HMENU__;
using HMENU = HMENU__*;

#ifndef TRUE
#define TRUE 1
#endif  // TRUE
#ifndef FALSE
#define FALSE 0
#endif  // FALSE

#define WINAPI
#define CALLBACK

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline bool FAILED(HRESULT hr) { return hr < 0; }
inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }

struct POINT {
  LONG x;
  LONG y;
};

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

// ---- Messages -----------------------------------------------------------------
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_MOUSEWHEEL = 0x020A;

// Button flags carried in wParam of the mouse messages.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_MBUTTON = 0x0010;

// lParam of a mouse message: x in the low word, y in the high word, each a
// signed 16-bit client coordinate.
inline LPARAM MAKELPARAM(int lo, int hi) {
  return static_cast<LPARAM>(static_cast<DWORD>(static_cast<WORD>(lo)) |
                             (static_cast<DWORD>(static_cast<WORD>(hi)) << 16));
}
inline int GET_X_LPARAM(LPARAM lp) { return static_cast<std::int16_t>(lp & 0xFFFF); }
inline int GET_Y_LPARAM(LPARAM lp) { return static_cast<std::int16_t>((lp >> 16) & 0xFFFF); }

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

// ---- Window classes and windows -------------------------------------------------
using WNDPROC = LRESULT(CALLBACK*)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSEXA {
  UINT cbSize;
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
  HICON hIconSm;
};

// Class styles are accepted and have no effect; no class asks for double
// clicks, so a quick second press is a plain button-down.
constexpr UINT CS_CLASSDC = 0x0040;

// Caption, system menu, sizing frame, minimise and maximise boxes; every SDL
// window here has them, whatever the style.
constexpr DWORD WS_OVERLAPPEDWINDOW = 0x00CF0000;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;
constexpr int SW_SHOWDEFAULT = 10;

constexpr UINT PM_REMOVE = 0x0001;

constexpr UINT MB_OK = 0x00000000;
constexpr int IDOK = 1;

// ---- Calls --------------------------------------------------------------------
HMODULE GetModuleHandleA(LPCSTR moduleName);

// Registers a class name with its window procedure and style; 0 on failure
// (null or empty name, no procedure, wrong cbSize, name already registered).
ATOM RegisterClassExA(const WNDCLASSEXA* wc);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance);

// Creates a hidden window of the registered class; width x height is the
// client size. WM_CREATE reaches the class's procedure before this returns.
// Returns null when the class is unknown or no native window can be made,
// then with the platform's reason in GetLastFailureReason().
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     void* param);
BOOL DestroyWindow(HWND window);
BOOL ShowWindow(HWND window, int showCommand);
BOOL UpdateWindow(HWND window);

// Never blocks: takes posted messages first, then WM_QUIT, then translated
// native events; FALSE at once when nothing is waiting. Only the whole queue
// is read (null window, range 0..0, PM_REMOVE); any filter gives FALSE.
BOOL PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);

// While captured, moves keep arriving with client coordinates outside the
// window; without the capture nothing from outside the client area arrives,
// whatever buttons are held. SetCapture returns the previous capture window.
HWND SetCapture(HWND window);
BOOL ReleaseCapture();

HWND GetForegroundWindow();
BOOL GetClientRect(HWND window, RECT* rect);

// Modal notice with one OK button (MB_OK; any other type gives 0), owned by no
// window (owner is ignored). Without a display the caption and text go to
// stderr. While it is up, SIGTERM or SIGINT prints them to stderr and ends
// the program with status 1. Returns IDOK, or 0 when nothing could be shown
// or printed.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// The program's entry point, called by main() once SDL video is up.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

#include "tests/fake/fake.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "platform/shared/failure_reason.h"
#include "platform/win32/win32_core.h"

namespace fake {
namespace {

void Append(std::vector<double>& args, double value) { args.push_back(value); }
void Append(std::vector<double>& args, const void* pointer) { args.push_back(pointer != nullptr); }
void Append(std::vector<double>& args, std::span<const float> record) {
  args.insert(args.end(), record.begin(), record.end());
}

// E_FAIL for the call State::fail names, else S_OK (FALSE where a BOOL is asked for).
template <class... Args>
HRESULT Log(std::string_view name, Args... args) {
  if (state.logging) {
    std::vector<double>& logged =
        state.log.emplace_back(std::string(name), std::vector<double>()).second;
    (Append(logged, args), ...);
    // A program whose loop never ends stops here instead of filling the memory.
    if (state.log.size() > 1'000'000) std::abort();
  }
  return name.starts_with(state.fail) ? E_FAIL : S_OK;
}

// Every device object is one of these; `kind` names what it was made as.
class Object final : public IDirect3D9,
                     public IDirect3DDevice9,
                     public IDirect3DTexture9,
                     public IDirect3DVertexBuffer9 {
 public:
  Object(const char* kind, std::size_t bytes = 0, UINT pitch = 0)
      : kind_(kind), bytes_(bytes), pitch_(pitch) {}

  // A new object in *made, unless hr is a failure.
  template <class Interface, class... Args>
  static HRESULT Made(HRESULT hr, Interface** made, Args... args) {
    if (SUCCEEDED(hr)) *made = new Object(args...);
    return hr;
  }

  ULONG Release() override {
    Log("Release " + kind_);
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  // The present parameters the viewer sets; the others stay zero.
  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND window, DWORD behaviour,
                       D3DPRESENT_PARAMETERS* p, IDirect3DDevice9** device) override {
    return Made(Log(__func__, adapter, type, window, behaviour, p->BackBufferFormat, p->SwapEffect,
                    p->Windowed, p->EnableAutoDepthStencil, p->AutoDepthStencilFormat,
                    p->PresentationInterval),
                device, "device");
  }
  HRESULT GetDeviceCaps(D3DCAPS9* caps) override {
    *caps = D3DCAPS9{256, 256};
    return D3D_OK;
  }
  HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                             IDirect3DVertexBuffer9** buffer, HANDLE*) override {
    return Made(Log(__func__, length, usage, fvf, pool), buffer, "buffer", length);
  }
  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                        D3DPOOL pool, IDirect3DTexture9** texture, HANDLE*) override {
    return Made(Log(__func__, width, height, levels, usage, format, pool), texture, "texture",
                std::size_t{width} * height * 4, width * 4);
  }
  HRESULT Clear(DWORD n, const D3DRECT* r, DWORD f, D3DCOLOR c, float z, DWORD s) override {
    return Log(__func__, n, r, f, c, z, s);
  }
  HRESULT BeginScene() override { return Log(__func__); }
  HRESULT EndScene() override { return Log(__func__); }
  HRESULT Present(const RECT* a, const RECT* b, HWND w, const RGNDATA* d) override {
    state.onPresent();
    return Log(__func__, a, b, w, d);
  }
  HRESULT SetRenderState(D3DRENDERSTATETYPE s, DWORD v) override { return Log(__func__, s, v); }
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE s, DWORD v) override {
    return Log(__func__, stage, s, v);
  }
  HRESULT SetMaterial(const D3DMATERIAL9* m) override {
    return Log(__func__, std::span(&m->Diffuse.r, 17));
  }
  HRESULT SetLight(DWORD i, const D3DLIGHT9* l) override {
    return Log(__func__, i, l->Type, std::span(&l->Diffuse.r, 25));
  }
  HRESULT LightEnable(DWORD i, BOOL on) override { return Log(__func__, i, on); }
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE s, const D3DMATRIX* m) override {
    return Log(__func__, s, std::span(&m->m[0][0], 16));
  }
  HRESULT SetTexture(DWORD i, IDirect3DBaseTexture9* t) override { return Log(__func__, i, t); }
  HRESULT SetStreamSource(UINT i, IDirect3DVertexBuffer9* b, UINT offset, UINT stride) override {
    return Log(__func__, i, b, offset, stride);
  }
  HRESULT SetFVF(DWORD fvf) override { return Log(__func__, fvf); }
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE t, UINT first, UINT n) override {
    return Log(__func__, t, first, n);
  }

  HRESULT LockRect(UINT, D3DLOCKED_RECT* locked, const RECT*, DWORD) override {
    *locked = D3DLOCKED_RECT{static_cast<int>(pitch_), bytes_.data()};
    return D3D_OK;
  }
  HRESULT UnlockRect(UINT) override { return D3D_OK; }
  HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override {
    *data = bytes_.data();
    return Log(__func__, offset, size, flags);
  }
  HRESULT Unlock() override { return Log(__func__); }

 private:
  std::string kind_;
  std::vector<std::uint8_t> bytes_;
  UINT pitch_;
  ULONG refs_ = 1;
};

class NoNativeWindows final : public win32_core::NativeWindows {
  bool CreateNative(win32_core::WindowRecord&) override { return true; }
  void DestroyNative(win32_core::WindowRecord&) override {}
};

NoNativeWindows native;
win32_core::WindowSystem windows{native};

}  // namespace

void Reset() {
  windows.Clear();
  state = State{};
  SetLastFailureReason("");
}

}  // namespace fake

using fake::Log;
using fake::windows;

IDirect3D9* Direct3DCreate9(UINT version) {
  return FAILED(Log("Direct3DCreate9", version)) ? nullptr : new fake::Object("d3d");
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR name, LPCSTR title, DWORD style, int x, int y, int w,
                     int h, HWND, HMENU, HINSTANCE, void*) {
  const std::string call = std::string("CreateWindowExA ") + name + " / " + title;
  if (FAILED(Log(call, exStyle, style, x, y, w, h))) return nullptr;
  return fake::state.window = windows.CreateWindow(name, title, x, y, w, h);
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  Log("MessageBoxA " + std::string(text) + " / " + caption, owner, type);
  return IDOK;
}

// The arcball's own tests check its capture calls.
HWND SetCapture(HWND) { return nullptr; }
BOOL ReleaseCapture() { return TRUE; }
BOOL ShowWindow(HWND window, int command) { return Log("ShowWindow", window, command); }
BOOL UpdateWindow(HWND window) { return Log("UpdateWindow", window); }
HMODULE GetModuleHandleA(LPCSTR) { return nullptr; }
ATOM RegisterClassExA(const WNDCLASSEXA* wc) { return windows.RegisterClass(wc); }
BOOL UnregisterClassA(LPCSTR name, HINSTANCE) { return windows.UnregisterClass(name); }
BOOL DestroyWindow(HWND window) { return windows.DestroyWindow(window); }
BOOL TranslateMessage(const MSG*) { return FALSE; }
LRESULT DispatchMessageA(const MSG* msg) { return windows.Dispatch(msg); }
void PostQuitMessage(int code) { windows.PostQuit(code); }
BOOL PostMessageA(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  windows.QueueInput(MSG{w, m, wp, lp, 0, {}});
  return TRUE;
}
LRESULT DefWindowProcA(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  return windows.DefaultProc(w, m, wp, lp);
}
// The program reads the whole queue only (null window, 0..0, PM_REMOVE).
BOOL PeekMessageA(MSG* msg, HWND, UINT, UINT, UINT) { return windows.Next(msg); }
HWND GetForegroundWindow() { return nullptr; }
BOOL GetClientRect(HWND, RECT*) { return FALSE; }

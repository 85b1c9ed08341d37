// Control and inspection of the recording fake Direct3D 9 device.
// The fake implements platform/d3d9.h without any GPU: every call made on the
// objects it hands out is recorded in order with its arguments, objects are
// reference counted and counted while alive, and any creating call (or
// BeginScene) can be made to fail. Vertex buffers and textures hold real
// memory, so Lock/LockRect work and the real texture loader can fill them.
// With recording off it is a null device: no call allocates anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/d3d9/d3d9.h"

namespace fake_d3d9 {

// A copy of the record a call was given, when it takes one.
using Record =
    std::variant<std::monostate, D3DPRESENT_PARAMETERS, D3DMATERIAL9, D3DLIGHT9, D3DMATRIX>;

// One call on a fake object (or Direct3DCreate9 itself).
struct Call {
  std::string_view name;         // method name without the interface, e.g. "SetRenderState"
  const void* target = nullptr;  // the object called; null for Direct3DCreate9
  std::vector<double> values;    // numeric arguments in order (integers exact, floats as given)
  std::vector<const void*> pointers;  // pointer and handle arguments in order, null included
  Record record;                      // the record argument, copied
  HRESULT result = S_OK;              // what the call returned (0 for AddRef/Release)
};

struct State {
  // Off: the fake is a null device that records nothing and allocates
  // nothing per call (creating calls still make their objects).
  bool recording = true;
  std::vector<Call> calls;

  // Failure injection: the call returns failure (null for Direct3DCreate9)
  // and sets failureReason as the platform's reason.
  bool failCreate9 = false;
  bool failCreateDevice = false;
  bool failCreateVertexBuffer = false;
  bool failLock = false;  // IDirect3DVertexBuffer9::Lock
  bool failCreateTexture = false;
  bool failBeginScene = false;  // every BeginScene fails while set
  std::string failureReason = "fake device: injected failure";

  // What GetDeviceCaps reports as the largest texture side.
  DWORD maxTextureSize = 2048;
};

// The fake's state; tests read and set it directly.
State& Get();
// Forgets the recorded calls and restores every setting. Live objects stay.
void Reset();

// Number of fake objects (Direct3D objects, devices, buffers, textures) alive.
int LiveObjects();
// Current reference count of a fake object (0 if it is not one that lives).
ULONG RefCount(const void* object);

// The recorded calls with the given name, in order.
std::vector<Call> CallsNamed(std::string_view name);
// The names of all recorded calls, in order.
std::vector<std::string_view> CallNames();

// The bytes of a fake vertex buffer / one level of a fake texture (rows of
// Width * 4 bytes, B, G, R, A); empty for anything else.
std::span<const std::uint8_t> VertexBufferBytes(IDirect3DVertexBuffer9* buffer);
std::span<const std::uint8_t> TextureBytes(IDirect3DTexture9* texture, UINT level);

// The value of a float argument as it was passed (for exact bit checks).
inline float AsFloat(double value) { return static_cast<float>(value); }

}  // namespace fake_d3d9

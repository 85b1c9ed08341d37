// Test fixture for the OpenGL device: a window of the SDL window layer, a
// Direct3D object and a device on it, helpers to draw vertex lists and read
// the back buffer, and a colour comparison with the suite's 2/255 tolerance.
// Tear-down asserts that every interface, GL object and context is gone.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "tests/d3d9/d3d_reference.h"
#include "tests/support/plain_window.h"

// The 40-byte vertex of XYZ | NORMAL | DIFFUSE | SPECULAR | TEX1 (0x1D2).
struct TestVertex {
  float x, y, z;
  float nx, ny, nz;
  D3DCOLOR diffuse;
  D3DCOLOR specular;
  float u, v;
};
constexpr DWORD TEST_FVF =
    D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;

// Each channel of actual within 2/255 of expected (0..1, clamped first).
::testing::AssertionResult NearColor(D3DCOLOR actual, const ref::Rgb& expected);

class DeviceTest : public ::testing::Test {
 public:
  // The client area and back buffer of every test device.
  static constexpr int WIDTH = 64;
  static constexpr int HEIGHT = 64;

 protected:
  void SetUp() override;
  void TearDown() override;

  // The back buffer's pixel at (x, y), top-left origin.
  D3DCOLOR Pixel(int x, int y);
  // Clears to opaque white and depth 1, draws vertices as one call inside a scene.
  void DrawFrame(D3DPRIMITIVETYPE type, const std::vector<TestVertex>& vertices);
  // Draws vertices as one call into the current back buffer, inside a scene.
  void Draw(D3DPRIMITIVETYPE type, const std::vector<TestVertex>& vertices);
  // A one-level X8R8G8B8 texture of the given texels (rows top first).
  IDirect3DTexture9* MakeTexture(UINT width, UINT height, const std::vector<D3DCOLOR>& texels);

  // Normalised device x, y of the pixel centre (x, y) with identity transforms.
  static float NdcX(float x) { return 2.0f * x / WIDTH - 1.0f; }
  static float NdcY(float y) { return 1.0f - 2.0f * y / HEIGHT; }

  HWND window_ = nullptr;
  IDirect3D9* d3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
  UINT interval_ = D3DPRESENT_INTERVAL_IMMEDIATE;  // a derived fixture may choose before SetUp
};

// A vertex at pixel coordinates (x, y) of the test back buffer, depth z.
TestVertex AtPixel(float x, float y, float z, D3DCOLOR diffuse, float u = 0, float v = 0);

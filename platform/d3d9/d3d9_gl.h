// Extras of the OpenGL device for tests: counts of live objects (so a test
// can assert that nothing outlives a release) and counters of the device's
// presentation. Only code that links the real device (tavenor_d3d9_gl) may
// call these.
#pragma once

#include <cstdint>

#include "platform/d3d9/d3d9.h"

// Objects alive right now, across every device of the process.
struct D3DGlLiveCounts {
  int interfaces;  // IDirect3D9, devices, vertex buffers and textures not yet freed
  int glObjects;   // GL buffers, textures, framebuffers, renderbuffers, VAOs, shaders, programs
  int contexts;    // GL contexts
};
D3DGlLiveCounts D3DGlGetLiveCounts();

// What a device has done since it was created.
struct D3DGlDeviceStats {
  std::uint64_t draws;  // GL draw calls
  // Presents of a paced device whose frame repeated the previous one exactly
  // (from a full clear on) and was therefore neither drawn nor shown again.
  std::uint64_t repeatedFrames;
  // Frames drawn offscreen and stretched over the window, whose size differed
  // from the back buffer's; every other frame is drawn into the window itself.
  std::uint64_t stretchedFrames;
};

// The device's counters; all zero for a device that is not this layer's.
D3DGlDeviceStats D3DGlGetDeviceStats(IDirect3DDevice9* device);

// The OpenGL device's two resource kinds: vertex buffers and textures. Each
// keeps a CPU copy that Lock/LockRect hands out and Unlock/UnlockRect uploads.
#pragma once

#include <epoxy/gl.h>

#include <cstdint>
#include <vector>

#include "platform/d3d9/d3d9.h"

namespace d3d9gl {

class Device;

// Reference counting shared by buffers and textures. Like Direct3D 9, a live
// resource holds one reference on its device, and the device's bindings hold
// the resource internally without touching its public count: a resource whose
// count reaches zero while bound is freed when the binding goes.
class DeviceChild {
 public:
  explicit DeviceChild(Device* device);
  DeviceChild(const DeviceChild&) = delete;
  DeviceChild& operator=(const DeviceChild&) = delete;
  ULONG ReleasePublic();
  void Bind() { ++binds_; }
  void Unbind();  // may free the object
  Device* Owner() const { return device_; }

 protected:
  virtual ~DeviceChild();

 private:
  Device* device_;
  ULONG refs_ = 1;
  ULONG binds_ = 0;
};

class VertexBuffer final : public IDirect3DVertexBuffer9, public DeviceChild {
 public:
  // bytes is the zeroed CPU copy, allocated by the caller so that nothing here throws.
  VertexBuffer(Device* device, std::vector<std::uint8_t> bytes);
  ULONG Release() override { return ReleasePublic(); }
  HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
  HRESULT Unlock() override;
  UINT Length() const { return static_cast<UINT>(bytes_.size()); }
  GLuint Name() const { return name_; }

 private:
  ~VertexBuffer() override;
  std::vector<std::uint8_t> bytes_;  // the CPU copy that Lock hands out
  GLuint name_ = 0;
  bool locked_ = false;
};

class Texture final : public IDirect3DTexture9, public DeviceChild {
 public:
  // texels (4 bytes each, zeroed) come from the caller, so that nothing here throws.
  Texture(Device* device, UINT width, UINT height, std::vector<std::uint8_t> texels);
  ULONG Release() override { return ReleasePublic(); }
  HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT UnlockRect(UINT level) override;
  GLuint Name() const { return name_; }

 private:
  ~Texture() override;

  UINT width_;
  UINT height_;
  std::vector<std::uint8_t> texels_;  // rows of B, G, R, A bytes
  GLuint name_ = 0;
  bool locked_ = false;
};

// Makes a GL texture of width x height from rows of B, G, R, A bytes, sampled
// as Direct3D 9's default sampler does. Texture unit 0's binding is kept.
GLuint MakeGlTexture(UINT width, UINT height, const void* texels);

}  // namespace d3d9gl

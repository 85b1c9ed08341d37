// Vertex buffers and textures of the OpenGL device. Each keeps a CPU copy
// that Lock/LockRect hands out and Unlock/UnlockRect uploads. Textures are
// sampled from level 0 only (MIPFILTER NONE is the only mip filter), so the
// other levels live in CPU memory alone. One lock at a time per resource.
#include <algorithm>
#include <utility>

#include "platform/d3d9/d3d9_gl_internal.h"

namespace d3d9gl {

UINT FullMipChain(UINT width, UINT height) {
  UINT levels = 1;
  while (width > 1 || height > 1) {
    width = std::max(width / 2, 1u);
    height = std::max(height / 2, 1u);
    ++levels;
  }
  return levels;
}

DeviceChild::DeviceChild(Device* device) : device_(device) {
  device_->AddRef();
  CountInterface(+1);
}

DeviceChild::~DeviceChild() { CountInterface(-1); }

ULONG DeviceChild::ReleasePublic() {
  const ULONG left = --refs_;
  if (left != 0) return left;
  Device* device = device_;
  // While bound the device still draws with it; the binding frees it later.
  if (binds_ == 0) delete this;
  device->Release();
  return 0;
}

void DeviceChild::Unbind() {
  if (--binds_ == 0 && refs_ == 0) delete this;
}

// ---- Vertex buffer ----------------------------------------------------------------

VertexBuffer::VertexBuffer(Device* device, std::vector<std::uint8_t> bytes)
    : DeviceChild(device), bytes_(std::move(bytes)) {
  name_ = CreateGl(GlKind::Buffer);
  glBindBuffer(GL_ARRAY_BUFFER, name_);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes_.size()), bytes_.data(),
               GL_STATIC_DRAW);
  CheckGl("CreateVertexBuffer");
}

VertexBuffer::~VertexBuffer() { DestroyGl(GlKind::Buffer, &name_, Owner()->MakeCurrent()); }

HRESULT VertexBuffer::Lock(UINT offset, UINT size, void** data, DWORD flags) {
  if (data == nullptr || locked_) return D3DERR_INVALIDCALL;
  const UINT length = Length();
  if (offset > length) return D3DERR_INVALIDCALL;
  if (size == 0) size = length - offset;  // 0 locks to the end
  if (size > length - offset) return D3DERR_INVALIDCALL;
  locked_ = true;
  readOnly_ = (flags & D3DLOCK_READONLY) != 0;
  lockOffset_ = offset;
  lockSize_ = size;
  *data = bytes_.data() + offset;
  return D3D_OK;
}

HRESULT VertexBuffer::Unlock() {
  if (!locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  if (readOnly_ || lockSize_ == 0) return D3D_OK;
  if (!Owner()->MakeCurrent()) return D3DERR_DEVICELOST;
  Owner()->Touch();  // draws held back so far read the old contents
  glBindBuffer(GL_ARRAY_BUFFER, name_);
  glBufferSubData(GL_ARRAY_BUFFER, lockOffset_, lockSize_, bytes_.data() + lockOffset_);
  CheckGl("IDirect3DVertexBuffer9::Unlock");
  return D3D_OK;
}

// ---- Texture ------------------------------------------------------------------------

std::vector<TextureLevel> MakeTextureLevels(UINT width, UINT height, UINT levels) {
  std::vector<TextureLevel> made;
  for (UINT level = 0; level < levels; ++level) {
    made.push_back({width, height, std::vector<std::uint8_t>(std::size_t{4} * width * height)});
    width = std::max(width / 2, 1u);
    height = std::max(height / 2, 1u);
  }
  return made;
}

Texture::Texture(Device* device, std::vector<TextureLevel> levels, D3DFORMAT format, D3DPOOL pool,
                 DWORD usage)
    : DeviceChild(device), levels_(std::move(levels)), format_(format), pool_(pool), usage_(usage) {
  name_ = CreateGl(GlKind::Texture);
  glBindTexture(GL_TEXTURE_2D, name_);
  // Direct3D 9's default sampler: POINT min/mag, MIPFILTER NONE, WRAP in u and v.
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  const TextureLevel& top = levels_.front();
  // An X8R8G8B8 texel reads alpha 1 whatever its fourth byte holds: GL's RGB
  // formats read alpha 1 (and llvmpipe samples them faster than a swizzle).
  glTexImage2D(GL_TEXTURE_2D, 0, format == D3DFMT_X8R8G8B8 ? GL_RGB8 : GL_RGBA8,
               static_cast<GLsizei>(top.width), static_cast<GLsizei>(top.height), 0, GL_BGRA,
               GL_UNSIGNED_BYTE, top.texels.data());
  device->MarkDirty(DIRTY_TEXTURE);
  CheckGl("CreateTexture");
}

Texture::~Texture() { DestroyGl(GlKind::Texture, &name_, Owner()->MakeCurrent()); }

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
  if (desc == nullptr || level >= levels_.size()) return D3DERR_INVALIDCALL;
  desc->Format = format_;
  desc->Usage = usage_;
  desc->Pool = pool_;
  desc->Width = levels_[level].width;
  desc->Height = levels_[level].height;
  return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
  if (locked == nullptr || level >= levels_.size() || lockedLevel_ >= 0) {
    return D3DERR_INVALIDCALL;
  }
  TextureLevel& l = levels_[level];
  LONG x = 0, y = 0;
  if (rect != nullptr) {
    if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
        rect->right > static_cast<LONG>(l.width) || rect->bottom > static_cast<LONG>(l.height)) {
      return D3DERR_INVALIDCALL;
    }
    x = rect->left;
    y = rect->top;
  }
  locked->Pitch = static_cast<int>(4 * l.width);
  locked->pBits = l.texels.data() + static_cast<std::size_t>(y) * 4 * l.width + 4 * x;
  lockedLevel_ = static_cast<int>(level);
  readOnly_ = (flags & D3DLOCK_READONLY) != 0;
  return D3D_OK;
}

HRESULT Texture::UnlockRect(UINT level) {
  if (lockedLevel_ < 0 || static_cast<UINT>(lockedLevel_) != level) return D3DERR_INVALIDCALL;
  lockedLevel_ = -1;
  // Only level 0 is ever sampled; the others stay in CPU memory.
  if (readOnly_ || level != 0) return D3D_OK;
  if (!Owner()->MakeCurrent()) return D3DERR_DEVICELOST;
  Owner()->Touch();  // draws held back so far read the old texels
  Upload();
  return D3D_OK;
}

void Texture::Upload() {
  const TextureLevel& top = levels_.front();
  glBindTexture(GL_TEXTURE_2D, name_);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(top.width),
                  static_cast<GLsizei>(top.height), GL_BGRA, GL_UNSIGNED_BYTE, top.texels.data());
  // The device's unit-0 binding was just disturbed.
  Owner()->MarkDirty(DIRTY_TEXTURE);
  CheckGl("IDirect3DTexture9::UnlockRect");
}

}  // namespace d3d9gl

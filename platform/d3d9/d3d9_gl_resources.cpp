// Vertex buffers and textures of the OpenGL device, and the device calls that
// make them. Each keeps a CPU copy that Lock/LockRect hands out and
// Unlock/UnlockRect uploads, whole. One lock at a time per resource. Textures
// have one level: MIPFILTER NONE, the only mip filter, never reads another.
#include "platform/d3d9/d3d9_gl_resources.h"

#include <new>
#include <utility>

#include "platform/d3d9/d3d9_gl_device.h"

namespace d3d9gl {
namespace {

// The zeroed CPU copy of a new resource; false when the memory is not there.
bool Zeroed(std::size_t size, std::vector<std::uint8_t>* bytes) {
  try {
    bytes->resize(size);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                   IDirect3DVertexBuffer9** buffer, HANDLE* shared) {
  if (buffer == nullptr || shared != nullptr || length == 0 || usage != 0) {
    return D3DERR_INVALIDCALL;
  }
  if (fvf != 0 && (fvf != VERTEX_FVF || length < VERTEX_BYTES)) return D3DERR_INVALIDCALL;
  if (pool != D3DPOOL_DEFAULT && pool != D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
  if (length > MAX_BUFFER_BYTES) return D3DERR_OUTOFVIDEOMEMORY;
  MakeCurrent();
  std::vector<std::uint8_t> bytes;
  if (!Zeroed(length, &bytes)) return E_OUTOFMEMORY;
  *buffer = new VertexBuffer(this, std::move(bytes));
  return D3D_OK;
}

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                              D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) {
  if (texture == nullptr || shared != nullptr || levels != 1 || usage != 0) {
    return D3DERR_INVALIDCALL;
  }
  if (width == 0 || height == 0 || width > maxTextureSide_ || height > maxTextureSide_) {
    return D3DERR_INVALIDCALL;
  }
  if (format != D3DFMT_X8R8G8B8) return D3DERR_INVALIDCALL;
  if (pool != D3DPOOL_DEFAULT && pool != D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
  MakeCurrent();
  std::vector<std::uint8_t> texels;
  if (!Zeroed(std::size_t{4} * width * height, &texels)) return E_OUTOFMEMORY;
  *texture = new Texture(this, width, height, std::move(texels));
  return D3D_OK;
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
  name_ = CreateGl(glGenBuffers);
  glBindBuffer(GL_ARRAY_BUFFER, name_);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes_.size()), bytes_.data(),
               GL_STATIC_DRAW);
  CheckGl("CreateVertexBuffer");
}

VertexBuffer::~VertexBuffer() {
  Owner()->MakeCurrent();
  DestroyGl(glDeleteBuffers, &name_);
}

// The whole buffer only: offset 0, size 0.
HRESULT VertexBuffer::Lock(UINT offset, UINT size, void** data, DWORD flags) {
  if (data == nullptr || locked_ || offset != 0 || size != 0 || flags != 0) {
    return D3DERR_INVALIDCALL;
  }
  locked_ = true;
  *data = bytes_.data();
  return D3D_OK;
}

HRESULT VertexBuffer::Unlock() {
  if (!locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  Owner()->MakeCurrent();
  // Draws held back so far read the old contents. The vertex array keeps its
  // own buffer bindings, so binding this one here disturbs no draw.
  Owner()->StateChanging();
  glBindBuffer(GL_ARRAY_BUFFER, name_);
  glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(bytes_.size()), bytes_.data());
  CheckGl("IDirect3DVertexBuffer9::Unlock");
  return D3D_OK;
}

// ---- Texture ------------------------------------------------------------------------

namespace {

// Textures are filled on unit 1, so the unit-0 binding that draws sample
// stays as the device left it.
void BindForUpload(GLuint name) {
  glActiveTexture(GL_TEXTURE1);
  glBindTexture(GL_TEXTURE_2D, name);
}

}  // namespace

GLuint MakeGlTexture(UINT width, UINT height, const void* texels) {
  const GLuint name = CreateGl(glGenTextures);
  BindForUpload(name);
  // Direct3D 9's default sampler: POINT min/mag, MIPFILTER NONE, WRAP in u and v.
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  // Alpha is never read, so both texture formats become GL's RGB8 (which
  // llvmpipe samples faster than RGBA8).
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, static_cast<GLsizei>(width), static_cast<GLsizei>(height),
               0, GL_BGRA, GL_UNSIGNED_BYTE, texels);
  glActiveTexture(GL_TEXTURE0);
  return name;
}

Texture::Texture(Device* device, UINT width, UINT height, std::vector<std::uint8_t> texels)
    : DeviceChild(device), width_(width), height_(height), texels_(std::move(texels)) {
  name_ = MakeGlTexture(width_, height_, texels_.data());
  CheckGl("CreateTexture");
}

Texture::~Texture() {
  Owner()->MakeCurrent();
  DestroyGl(glDeleteTextures, &name_);
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
  if (level != 0 || locked == nullptr || rect != nullptr || flags != 0 || locked_) {
    return D3DERR_INVALIDCALL;
  }
  locked->Pitch = static_cast<int>(4 * width_);
  locked->pBits = texels_.data();
  locked_ = true;
  return D3D_OK;
}

HRESULT Texture::UnlockRect(UINT level) {
  if (level != 0 || !locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  Owner()->MakeCurrent();
  // Draws held back so far read the old texels.
  Owner()->StateChanging();
  BindForUpload(name_);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(width_),
                  static_cast<GLsizei>(height_), GL_BGRA, GL_UNSIGNED_BYTE, texels_.data());
  glActiveTexture(GL_TEXTURE0);
  CheckGl("IDirect3DTexture9::UnlockRect");
  return D3D_OK;
}

}  // namespace d3d9gl

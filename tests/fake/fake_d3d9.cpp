// Recording fake of the Direct3D-9-style device (platform/d3d9.h).
// Linked in place of the OpenGL device by tavenor_link_fake(). Objects are
// counted like COM objects (resources keep their device alive, the device
// keeps its Direct3D object alive, as Direct3D 9 does); calls are checked
// for the misuse Direct3D 9 refuses (drawing outside a scene or beyond the
// bound buffer, unbalanced scenes and locks) and answered D3DERR_INVALIDCALL.
#include "tests/fake/fake_d3d9.h"

#include <algorithm>
#include <initializer_list>
#include <map>


namespace fake_d3d9 {
namespace {

// Live fake objects, keyed by the interface pointer handed out.
struct Registry {
  std::map<const void*, const ULONG*> refs;
};

Registry& Objects() {
  static Registry registry;
  return registry;
}

void Log(std::string_view name, const void* target, HRESULT result,
         std::initializer_list<double> values = {},
         std::initializer_list<const void*> pointers = {}, const Record& record = {}) {
  State& state = Get();
  if (!state.recording) return;
  state.calls.push_back(Call{name, target, values, pointers, record, result});
}

// Sets the platform's failure reason and returns hr, for an injected failure.
HRESULT Fail(HRESULT hr) {
  D3DSetLastFailureReason(Get().failureReason.c_str());
  return hr;
}

// Reference counting shared by every fake object; Interface is the
// interface the object is handed out as.
template <class Interface>
class Counted : public Interface {
 public:
  Counted() { Objects().refs.emplace(Key(), &refs_); }
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;
  virtual ~Counted() { Objects().refs.erase(Key()); }

  ULONG AddRef() override {
    ++refs_;
    Log("AddRef", Key(), S_OK, {static_cast<double>(refs_)});
    return refs_;
  }
  ULONG Release() override {
    const ULONG left = --refs_;
    Log("Release", Key(), S_OK, {static_cast<double>(left)});
    if (left == 0) delete this;
    return left;
  }
  // A reference the fake itself holds (not a call of the program).
  void Hold() { ++refs_; }
  void Drop() {
    if (--refs_ == 0) delete this;
  }

 protected:
  const void* Key() const { return static_cast<const Interface*>(this); }

 private:
  ULONG refs_ = 1;
};

class FakeDevice;

class FakeVertexBuffer final : public Counted<IDirect3DVertexBuffer9> {
 public:
  FakeVertexBuffer(FakeDevice* device, UINT length);
  ~FakeVertexBuffer() override;

  HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override {
    HRESULT hr = D3D_OK;
    if (Get().failLock) {
      hr = Fail(D3DERR_INVALIDCALL);
    } else if (!data || locked_ || offset > bytes_.size() || size > bytes_.size() - offset) {
      hr = D3DERR_INVALIDCALL;
    } else {
      locked_ = true;
      *data = bytes_.data() + offset;
    }
    Log("Lock", Key(), hr, {double(offset), double(size), double(flags)});
    return hr;
  }
  HRESULT Unlock() override {
    const HRESULT hr = locked_ ? D3D_OK : D3DERR_INVALIDCALL;
    locked_ = false;
    Log("Unlock", Key(), hr);
    return hr;
  }

  std::span<const std::uint8_t> Bytes() const { return bytes_; }

 private:
  FakeDevice* device_;
  std::vector<std::uint8_t> bytes_;
  bool locked_ = false;
};

class FakeTexture final : public Counted<IDirect3DTexture9> {
 public:
  FakeTexture(FakeDevice* device, UINT width, UINT height, UINT levels, DWORD usage,
              D3DFORMAT format, D3DPOOL pool);
  ~FakeTexture() override;

  DWORD GetLevelCount() override {
    Log("GetLevelCount", Key(), S_OK);
    return static_cast<DWORD>(levels_.size());
  }
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override {
    HRESULT hr = D3DERR_INVALIDCALL;
    if (desc && level < levels_.size()) {
      *desc = D3DSURFACE_DESC{format_, usage_, pool_, levels_[level].width, levels_[level].height};
      hr = D3D_OK;
    }
    Log("GetLevelDesc", Key(), hr, {double(level)});
    return hr;
  }
  HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override {
    HRESULT hr = D3DERR_INVALIDCALL;
    if (locked && level < levels_.size() && !levels_[level].locked && RectFits(level, rect)) {
      Level& l = levels_[level];
      const std::size_t pitch = std::size_t{l.width} * 4;
      const std::size_t offset = rect ? rect->top * pitch + rect->left * 4u : 0;
      locked->Pitch = static_cast<int>(pitch);
      locked->pBits = l.bytes.data() + offset;
      l.locked = true;
      hr = D3D_OK;
    }
    Log("LockRect", Key(), hr, {double(level), double(flags)}, {rect});
    return hr;
  }
  HRESULT UnlockRect(UINT level) override {
    HRESULT hr = D3DERR_INVALIDCALL;
    if (level < levels_.size() && levels_[level].locked) {
      levels_[level].locked = false;
      hr = D3D_OK;
    }
    Log("UnlockRect", Key(), hr, {double(level)});
    return hr;
  }

  std::span<const std::uint8_t> Bytes(UINT level) const {
    if (level >= levels_.size()) return {};
    return levels_[level].bytes;
  }

 private:
  struct Level {
    UINT width;
    UINT height;
    std::vector<std::uint8_t> bytes;
    bool locked = false;
  };

  bool RectFits(UINT level, const RECT* rect) const {
    if (!rect) return true;
    const Level& l = levels_[level];
    return rect->left >= 0 && rect->top >= 0 && rect->left < rect->right &&
           rect->top < rect->bottom && static_cast<UINT>(rect->right) <= l.width &&
           static_cast<UINT>(rect->bottom) <= l.height;
  }

  FakeDevice* device_;
  DWORD usage_;
  D3DFORMAT format_;
  D3DPOOL pool_;
  std::vector<Level> levels_;
};

class FakeDirect3D;

class FakeDevice final : public Counted<IDirect3DDevice9> {
 public:
  explicit FakeDevice(FakeDirect3D* d3d);
  ~FakeDevice() override;

  HRESULT GetDeviceCaps(D3DCAPS9* caps) override {
    HRESULT hr = D3DERR_INVALIDCALL;
    if (caps) {
      const DWORD side = Get().maxTextureSize;
      *caps = D3DCAPS9{D3DDEVTYPE_HAL, D3DADAPTER_DEFAULT, side, side, 8};
      hr = D3D_OK;
    }
    Log("GetDeviceCaps", Key(), hr);
    return hr;
  }

  HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                             IDirect3DVertexBuffer9** buffer, HANDLE* shared) override {
    HRESULT hr = D3D_OK;
    if (Get().failCreateVertexBuffer) {
      hr = Fail(D3DERR_OUTOFVIDEOMEMORY);
    } else if (!buffer || length == 0 || shared) {
      hr = D3DERR_INVALIDCALL;
    } else {
      *buffer = new FakeVertexBuffer(this, length);
    }
    Log("CreateVertexBuffer", Key(), hr,
        {double(length), double(usage), double(fvf), double(pool)});
    return hr;
  }

  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                        D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) override {
    const UINT side = Get().maxTextureSize;
    HRESULT hr = D3D_OK;
    if (Get().failCreateTexture) {
      hr = Fail(D3DERR_OUTOFVIDEOMEMORY);
    } else if (!texture || shared || width == 0 || height == 0 || width > side || height > side ||
               (format != D3DFMT_X8R8G8B8 && format != D3DFMT_A8R8G8B8)) {
      hr = D3DERR_INVALIDCALL;
    } else {
      *texture = new FakeTexture(this, width, height, levels, usage, format, pool);
    }
    Log("CreateTexture", Key(), hr,
        {double(width), double(height), double(levels), double(usage), double(format),
         double(pool)});
    return hr;
  }

  HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                DWORD stencil) override {
    Log("Clear", Key(), D3D_OK, {double(count), double(flags), double(color), z, double(stencil)},
        {rects});
    return D3D_OK;
  }
  HRESULT BeginScene() override {
    HRESULT hr = D3D_OK;
    if (Get().failBeginScene) {
      hr = D3DERR_DEVICELOST;
    } else if (inScene_) {
      hr = D3DERR_INVALIDCALL;
    } else {
      inScene_ = true;
    }
    Log("BeginScene", Key(), hr);
    return hr;
  }
  HRESULT EndScene() override {
    const HRESULT hr = inScene_ ? D3D_OK : D3DERR_INVALIDCALL;
    inScene_ = false;
    Log("EndScene", Key(), hr);
    return hr;
  }
  HRESULT Present(const RECT* source, const RECT* dest, HWND overrideWindow,
                  const RGNDATA* dirty) override {
    Log("Present", Key(), D3D_OK, {}, {source, dest, overrideWindow, dirty});
    return D3D_OK;
  }

  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
    Log("SetRenderState", Key(), D3D_OK, {double(state), double(value)});
    return D3D_OK;
  }
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
    Log("SetTextureStageState", Key(), D3D_OK, {double(stage), double(type), double(value)});
    return D3D_OK;
  }
  HRESULT SetMaterial(const D3DMATERIAL9* material) override {
    const HRESULT hr = material ? D3D_OK : D3DERR_INVALIDCALL;
    Log("SetMaterial", Key(), hr, {}, {}, material ? Record{*material} : Record{});
    return hr;
  }
  HRESULT SetLight(DWORD index, const D3DLIGHT9* light) override {
    const HRESULT hr = light ? D3D_OK : D3DERR_INVALIDCALL;
    Log("SetLight", Key(), hr, {double(index)}, {}, light ? Record{*light} : Record{});
    return hr;
  }
  HRESULT LightEnable(DWORD index, BOOL enable) override {
    Log("LightEnable", Key(), D3D_OK, {double(index), double(enable)});
    return D3D_OK;
  }
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override {
    const HRESULT hr = matrix ? D3D_OK : D3DERR_INVALIDCALL;
    Log("SetTransform", Key(), hr, {double(state)}, {}, matrix ? Record{*matrix} : Record{});
    return hr;
  }
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override {
    Log("SetTexture", Key(), D3D_OK, {double(stage)}, {texture});
    return D3D_OK;
  }
  HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset,
                          UINT stride) override {
    HRESULT hr = D3DERR_INVALIDCALL;
    if (stream == 0) {
      // Only fake buffers of this device can be bound; anything else unbinds.
      stream_ = BufferOfThisDevice(buffer);
      streamOffset_ = offset;
      streamStride_ = stride;
      hr = D3D_OK;
    }
    Log("SetStreamSource", Key(), hr, {double(stream), double(offset), double(stride)}, {buffer});
    return hr;
  }
  HRESULT SetFVF(DWORD fvf) override {
    Log("SetFVF", Key(), D3D_OK, {double(fvf)});
    return D3D_OK;
  }
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override {
    const HRESULT hr = DrawFits(type, startVertex, primitiveCount) ? D3D_OK : D3DERR_INVALIDCALL;
    Log("DrawPrimitive", Key(), hr, {double(type), double(startVertex), double(primitiveCount)});
    return hr;
  }

  // Called by a buffer of this device when it dies, so no binding dangles.
  void Forget(const FakeVertexBuffer* buffer) {
    if (stream_ == buffer) stream_ = nullptr;
  }
  void Adopt(FakeVertexBuffer* buffer) { buffers_.push_back(buffer); }
  void Disown(FakeVertexBuffer* buffer) { std::erase(buffers_, buffer); }

 private:
  FakeVertexBuffer* BufferOfThisDevice(IDirect3DVertexBuffer9* buffer) const {
    const auto it = std::find(buffers_.begin(), buffers_.end(), buffer);
    return it == buffers_.end() ? nullptr : *it;
  }

  // Direct3D 9 draws only inside a scene and only from vertices that exist.
  bool DrawFits(D3DPRIMITIVETYPE type, UINT start, UINT count) const {
    if (!inScene_ || !stream_ || streamStride_ == 0 || count == 0) return false;
    std::uint64_t vertices = 0;
    switch (type) {
      case D3DPT_TRIANGLESTRIP:
      case D3DPT_TRIANGLEFAN:
        vertices = std::uint64_t{count} + 2;
        break;
      case D3DPT_TRIANGLELIST:
        vertices = std::uint64_t{count} * 3;
        break;
      default:
        return false;
    }
    const std::uint64_t end = streamOffset_ + (std::uint64_t{start} + vertices) * streamStride_;
    return end <= stream_->Bytes().size();
  }

  FakeDirect3D* d3d_;
  bool inScene_ = false;
  FakeVertexBuffer* stream_ = nullptr;
  UINT streamOffset_ = 0;
  UINT streamStride_ = 0;
  std::vector<FakeVertexBuffer*> buffers_;  // alive buffers made by this device
};

class FakeDirect3D final : public Counted<IDirect3D9> {
 public:
  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behavior,
                       D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) override {
    HRESULT hr = D3D_OK;
    if (Get().failCreateDevice) {
      hr = Fail(D3DERR_NOTAVAILABLE);
    } else if (!params || !device || adapter != D3DADAPTER_DEFAULT ||
               (!focusWindow && !params->hDeviceWindow)) {
      D3DSetLastFailureReason("fake device: no window to draw into");
      hr = D3DERR_INVALIDCALL;
    } else {
      *device = new FakeDevice(this);
    }
    Log("CreateDevice", Key(), hr, {double(adapter), double(type), double(behavior)}, {focusWindow},
        params ? Record{*params} : Record{});
    return hr;
  }
};

FakeVertexBuffer::FakeVertexBuffer(FakeDevice* device, UINT length)
    : device_(device), bytes_(length) {
  device_->Hold();
  device_->Adopt(this);
}

FakeVertexBuffer::~FakeVertexBuffer() {
  device_->Forget(this);
  device_->Disown(this);
  device_->Drop();
}

FakeTexture::FakeTexture(FakeDevice* device, UINT width, UINT height, UINT levels, DWORD usage,
                         D3DFORMAT format, D3DPOOL pool)
    : device_(device), usage_(usage), format_(format), pool_(pool) {
  // Levels 0 means the whole chain down to 1 x 1, as in Direct3D 9.
  for (UINT i = 0; levels == 0 || i < levels; ++i) {
    levels_.push_back(
        Level{width, height, std::vector<std::uint8_t>(std::size_t{width} * height * 4)});
    if (width == 1 && height == 1) break;
    width = std::max(1u, width / 2);
    height = std::max(1u, height / 2);
  }
  device_->Hold();
}

FakeTexture::~FakeTexture() { device_->Drop(); }

FakeDevice::FakeDevice(FakeDirect3D* d3d) : d3d_(d3d) { d3d_->Hold(); }

FakeDevice::~FakeDevice() { d3d_->Drop(); }

}  // namespace

State& Get() {
  static State state;
  return state;
}

void Reset() { Get() = State{}; }

int LiveObjects() { return static_cast<int>(Objects().refs.size()); }

ULONG RefCount(const void* object) {
  const auto it = Objects().refs.find(object);
  return it == Objects().refs.end() ? 0 : *it->second;
}

std::vector<Call> CallsNamed(std::string_view name) {
  std::vector<Call> out;
  for (const Call& call : Get().calls) {
    if (call.name == name) out.push_back(call);
  }
  return out;
}

std::vector<std::string_view> CallNames() {
  std::vector<std::string_view> out;
  for (const Call& call : Get().calls) out.push_back(call.name);
  return out;
}

std::span<const std::uint8_t> VertexBufferBytes(IDirect3DVertexBuffer9* buffer) {
  // Only a live object may be looked at; a dead pointer is never touched.
  if (RefCount(buffer) == 0) return {};
  const auto* fake = dynamic_cast<const FakeVertexBuffer*>(buffer);
  return fake ? fake->Bytes() : std::span<const std::uint8_t>{};
}

std::span<const std::uint8_t> TextureBytes(IDirect3DTexture9* texture, UINT level) {
  if (RefCount(texture) == 0) return {};
  const auto* fake = dynamic_cast<const FakeTexture*>(texture);
  return fake ? fake->Bytes(level) : std::span<const std::uint8_t>{};
}

}  // namespace fake_d3d9

IDirect3D9* Direct3DCreate9(UINT sdkVersion) {
  using namespace fake_d3d9;
  IDirect3D9* d3d = nullptr;
  if (Get().failCreate9) {
    Fail(E_FAIL);
  } else if (sdkVersion != D3D_SDK_VERSION) {
    D3DSetLastFailureReason("fake device: unsupported SDK version");
  } else {
    d3d = new FakeDirect3D;
  }
  Log("Direct3DCreate9", nullptr, d3d ? S_OK : E_FAIL, {double(sdkVersion)});
  return d3d;
}

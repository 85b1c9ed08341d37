// Heap use of the graphics: a frame allocates nothing, and an arcball that
// cannot be allocated fails the start-up. This binary replaces the global
// allocation functions to count allocations and to refuse one on request.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "model/glyph_model.h"
#include "render/graphics.h"
#include "tests/fake/fake_d3d9.h"
#include "tests/render/graphics_fixture.h"

namespace {

long g_allocations = 0;
bool g_refuseNextNothrow = false;

void* Allocate(std::size_t size, std::size_t alignment) {
  ++g_allocations;
  void* memory = nullptr;
  const std::size_t bytes = size == 0 ? 1 : size;
  if (alignment <= alignof(std::max_align_t)) {
    memory = std::malloc(bytes);
  } else if (posix_memalign(&memory, alignment, bytes) != 0) {
    memory = nullptr;
  }
  return memory;
}

void* AllocateOrThrow(std::size_t size, std::size_t alignment) {
  void* memory = Allocate(size, alignment);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

void* AllocateUnlessRefused(std::size_t size, std::size_t alignment) {
  if (g_refuseNextNothrow) {
    g_refuseNextNothrow = false;
    return nullptr;
  }
  return Allocate(size, alignment);
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size, 0); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size, 0); }
void* operator new(std::size_t size, std::align_val_t a) {
  return AllocateOrThrow(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a) {
  return AllocateOrThrow(size, static_cast<std::size_t>(a));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return AllocateUnlessRefused(size, 0);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return AllocateUnlessRefused(size, 0);
}
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return AllocateUnlessRefused(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return AllocateUnlessRefused(size, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

using render_test::GraphicsTest;
using testing::HasSubstr;

using FrameAllocationTest = GraphicsTest;
using ArcballAllocationTest = GraphicsTest;

TEST_F(FrameAllocationTest, AThousandFramesAllocateNothing) {
  StartWithResources();
  // One recorded frame shows the null device runs the whole frame.
  DrawFrame();
  ASSERT_EQ(fake_d3d9::CallsNamed("DrawPrimitive").size(), GlyphStripTable().size());
  fake_d3d9::Get().recording = false;

  const long before = g_allocations;
  for (int i = 0; i < 1000; ++i) DrawFrame();
  const long during = g_allocations - before;

  EXPECT_EQ(during, 0);
}

TEST_F(ArcballAllocationTest, AnArcballThatCannotBeAllocatedFailsTheStart) {
  g_refuseNextNothrow = true;

  EXPECT_EQ(StartGraphics(render_test::StandInWindow()), E_FAIL);

  g_refuseNextNothrow = false;
  EXPECT_EQ(g_arcball, nullptr);
  // The device stays made, for the caller's ReleaseGraphics to take down.
  EXPECT_NE(g_device, nullptr);
  EXPECT_NE(g_d3d, nullptr);
  EXPECT_THAT(D3DGetLastFailureReason(), HasSubstr("arcball"));
}

}  // namespace

// Shared set-up for the tests of the graphics, the model resources and the
// shell against the recording fakes: fresh fakes and empty globals for every
// test, a stand-in window handle, model resources made straight on the fake
// device, and a scratch directory pair (parent/app) for texture files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/d3d9/d3d9.h"

namespace render_test {

// Any non-null handle does for the device; the fake only records it.
inline HWND StandInWindow() { return reinterpret_cast<HWND>(std::uintptr_t{0x5150}); }

// Both fakes reset and every graphics global empty before each test; at the
// end everything is released and no fake object may still be alive.
class GraphicsTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // StartGraphics on the stand-in window, then the texture and a vertex
  // buffer of the model's size made directly on the device (as the model
  // resources would be), then the recorded calls forgotten.
  void StartWithResources();
};

// A scratch directory "parent" with a sub-directory "app" that becomes the
// current directory for the test's lifetime.
class ScratchDirectories {
 public:
  ScratchDirectories();
  ~ScratchDirectories();
  ScratchDirectories(const ScratchDirectories&) = delete;
  ScratchDirectories& operator=(const ScratchDirectories&) = delete;

  const std::filesystem::path& Parent() const { return parent_; }
  const std::filesystem::path& App() const { return app_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path parent_;
  std::filesystem::path app_;
};

// Writes an 8 x 8 JPEG of one colour; false if it cannot be written.
bool WriteSolidJpeg(const std::filesystem::path& file, unsigned char red, unsigned char green,
                    unsigned char blue);

}  // namespace render_test

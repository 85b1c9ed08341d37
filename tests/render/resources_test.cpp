// BuildGlyphModel: where the texture is looked for, what the user is told
// when it is missing, what each failure leaves made, and the bytes written
// into the vertex buffer.
#include "model/resources.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "model/glyph_model.h"
#include "render/graphics.h"
#include "tests/fake/fake_d3d9.h"
#include "tests/fake/fake_win32.h"
#include "tests/render/graphics_fixture.h"

namespace {

using fake_d3d9::CallNames;
using fake_d3d9::CallsNamed;
using render_test::WriteSolidJpeg;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

class BuildGlyphModelTest : public render_test::GraphicsTest {
 protected:
  void SetUp() override {
    GraphicsTest::SetUp();
    ASSERT_EQ(StartGraphics(render_test::StandInWindow()), S_OK);
    fake_d3d9::Get().calls.clear();
  }

  // The red-green-blue of the loaded texture's first texel (B, G, R, A bytes).
  std::vector<int> FirstTexel() const {
    const auto bytes = fake_d3d9::TextureBytes(g_texture, 0);
    if (bytes.size() < 4) return {};
    return {bytes[2], bytes[1], bytes[0]};
  }

  // The red channel is enough to tell the two test images apart.
  bool LoadedRed() const { return !FirstTexel().empty() && FirstTexel()[0] > 200; }

  render_test::ScratchDirectories dirs_;
};

TEST_F(BuildGlyphModelTest, LoadsTheTextureFromTheCurrentDirectoryFirst) {
  ASSERT_TRUE(WriteSolidJpeg(dirs_.App() / "leopard.jpg", 255, 0, 0));
  ASSERT_TRUE(WriteSolidJpeg(dirs_.Parent() / "leopard.jpg", 0, 0, 255));

  EXPECT_EQ(BuildGlyphModel(), S_OK);

  EXPECT_TRUE(LoadedRed());
  EXPECT_THAT(fake_win32::Get().messageBoxes, IsEmpty());
}

TEST_F(BuildGlyphModelTest, FallsBackToTheParentDirectoryWithoutAMessage) {
  ASSERT_TRUE(WriteSolidJpeg(dirs_.Parent() / "leopard.jpg", 0, 0, 255));

  EXPECT_EQ(BuildGlyphModel(), S_OK);

  ASSERT_NE(g_texture, nullptr);
  EXPECT_FALSE(LoadedRed());
  EXPECT_GT(FirstTexel().at(2), 200);
  EXPECT_THAT(fake_win32::Get().messageBoxes, IsEmpty());
  EXPECT_NE(g_vertexBuffer, nullptr);
}

TEST_F(BuildGlyphModelTest, TellsTheUserOnceAndFailsWhenTheTextureIsNowhere) {
  EXPECT_EQ(BuildGlyphModel(), E_FAIL);

  const auto& boxes = fake_win32::Get().messageBoxes;
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner, nullptr);
  EXPECT_EQ(boxes[0].text, "Could not find leopard.jpg");
  EXPECT_EQ(boxes[0].caption, "Tavenor.exe");
  EXPECT_EQ(boxes[0].type, MB_OK);
  EXPECT_EQ(g_texture, nullptr);
  EXPECT_EQ(g_vertexBuffer, nullptr);
  EXPECT_THAT(CallsNamed("CreateVertexBuffer"), IsEmpty());
  EXPECT_THAT(D3DGetLastFailureReason(), HasSubstr("leopard.jpg"));
}

// An undecodable file, or a texture the device cannot hold, is told like a missing file.
TEST_F(BuildGlyphModelTest, TellsTheUserWhenTheTextureCannotBeReadOrHeld) {
  for (const bool undecodable : {true, false}) {
    SCOPED_TRACE(undecodable ? "undecodable file" : "device refuses the texture");
    fake_win32::Get().messageBoxes.clear();
    if (undecodable) {
      std::ofstream(dirs_.App() / "leopard.jpg") << "not an image at all";
    } else {
      ASSERT_TRUE(WriteSolidJpeg(dirs_.App() / "leopard.jpg", 255, 0, 0));
    }
    fake_d3d9::Get().failCreateTexture = !undecodable;

    EXPECT_EQ(BuildGlyphModel(), E_FAIL);

    EXPECT_EQ(fake_win32::Get().messageBoxes.size(), 1u);
    EXPECT_EQ(g_texture, nullptr);
    EXPECT_THAT(CallsNamed("CreateVertexBuffer"), IsEmpty());
  }
}

TEST_F(BuildGlyphModelTest, KeepsTheTextureWhenTheVertexBufferCannotBeMade) {
  ASSERT_TRUE(WriteSolidJpeg(dirs_.App() / "leopard.jpg", 255, 0, 0));
  fake_d3d9::Get().failCreateVertexBuffer = true;

  EXPECT_EQ(BuildGlyphModel(), E_FAIL);

  EXPECT_NE(g_texture, nullptr);
  EXPECT_EQ(g_vertexBuffer, nullptr);
  EXPECT_THAT(CallsNamed("Lock"), IsEmpty());
  EXPECT_THAT(fake_win32::Get().messageBoxes, IsEmpty());
  EXPECT_THAT(D3DGetLastFailureReason(), HasSubstr("vertex buffer"));
}

TEST_F(BuildGlyphModelTest, LeavesTheBufferMadeAndEmptyWhenItCannotBeLocked) {
  ASSERT_TRUE(WriteSolidJpeg(dirs_.App() / "leopard.jpg", 255, 0, 0));
  fake_d3d9::Get().failLock = true;

  EXPECT_EQ(BuildGlyphModel(), E_FAIL);

  ASSERT_NE(g_vertexBuffer, nullptr);
  EXPECT_THAT(CallsNamed("Unlock"), IsEmpty());
  for (const std::uint8_t byte : fake_d3d9::VertexBufferBytes(g_vertexBuffer)) {
    ASSERT_EQ(byte, 0);
  }
  EXPECT_THAT(fake_win32::Get().messageBoxes, IsEmpty());
}

TEST_F(BuildGlyphModelTest, WritesTheTexturedModelOnceByOneLockAndOneUnlock) {
  ASSERT_TRUE(WriteSolidJpeg(dirs_.App() / "leopard.jpg", 255, 0, 0));
  fake_d3d9::Get().calls.clear();

  ASSERT_EQ(BuildGlyphModel(), S_OK);

  // 40 bytes a vertex, no usage flags, the model's vertex format, default pool.
  const double length = 40.0 * GLYPH_VERTEX_COUNT;
  EXPECT_THAT(CallsNamed("CreateVertexBuffer").at(0).values, ElementsAre(length, 0, 0x1D2, 0));
  std::vector<std::string_view> bufferCalls;
  for (const auto& call : fake_d3d9::Get().calls) {
    if (call.target == g_vertexBuffer) bufferCalls.push_back(call.name);
  }
  EXPECT_THAT(bufferCalls, ElementsAre("Lock", "Unlock"));
  EXPECT_THAT(CallsNamed("Lock").at(0).values, ElementsAre(0, 0, 0));

  std::vector<GlyphVertex> expected(static_cast<std::size_t>(GLYPH_VERTEX_COUNT));
  BuildGlyphVertices(expected);
  GenerateTextureCoordinates(expected);
  const auto written = fake_d3d9::VertexBufferBytes(g_vertexBuffer);
  ASSERT_EQ(written.size(), expected.size() * 40);
  EXPECT_EQ(std::memcmp(written.data(), expected.data(), written.size()), 0);
}

}  // namespace

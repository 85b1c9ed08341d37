// Lit pixels of the OpenGL device against Direct3D 9's lighting equations
// worked out on the CPU (d3d_reference.h): a spot light's inner cone, the band
// between the cones and the outside, Range, attenuation, N.L <= 0, specular on
// and off, the local viewer, colour sources, unnormalised normals, lights and
// normals through world and view matrices, and a textured lit surface.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "tests/d3d9/d3d_reference.h"
#include "tests/d3d9/gl_fixture.h"

namespace {

using ref::Rgb;
using ref::Vec3;

struct Triangle {
  std::array<Vec3, 3> position;  // model space
  Vec3 normal;
  D3DCOLOR diffuse = 0xFFC0C0C0;
  D3DCOLOR specular = 0xFF808080;
};

// The facing plane z = 0.5, seen from the camera at the origin.
constexpr Vec3 TOWARD_CAMERA{0, 0, -1};

Triangle Around(double x, double y, double size = 0.1) {
  return {{Vec3{x - size, y - size, 0.5}, Vec3{x + size, y - size, 0.5}, Vec3{x, y + size, 0.5}},
          TOWARD_CAMERA};
}

D3DCOLORVALUE Value(const Rgb& c) {
  return {static_cast<float>(c.r), static_cast<float>(c.g), static_cast<float>(c.b), 1.0f};
}
D3DCOLORVALUE Value(const ref::Rgba& c) {
  return {static_cast<float>(c.r), static_cast<float>(c.g), static_cast<float>(c.b),
          static_cast<float>(c.a)};
}
D3DVECTOR Vector(const Vec3& v) {
  return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}
ref::Rgba Channels(D3DCOLOR c) {
  return {((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0,
          (c >> 24) / 255.0};
}

D3DMATRIX Identity() {
  D3DMATRIX m{};
  for (int i = 0; i < 4; ++i) m.m[i][i] = 1;
  return m;
}

// Row vector (v, w) times m, first three components.
Vec3 Transform(const Vec3& v, double w, const D3DMATRIX& m) {
  double out[3];
  for (int c = 0; c < 3; ++c)
    out[c] = v.x * m.m[0][c] + v.y * m.m[1][c] + v.z * m.m[2][c] + w * m.m[3][c];
  return {out[0], out[1], out[2]};
}

// n * inverse-transpose(upper 3x3 of a * b): the cofactor matrix over the determinant.
Vec3 TransformNormal(const Vec3& n, const D3DMATRIX& a, const D3DMATRIX& b) {
  double m[3][3];
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      m[r][c] = 0;
      for (int k = 0; k < 3; ++k) m[r][c] += a.m[r][k] * b.m[k][c];
    }
  }
  double cof[3][3];
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
      cof[r][c] = m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1];
    }
  }
  const double det = m[0][0] * cof[0][0] + m[0][1] * cof[0][1] + m[0][2] * cof[0][2];
  // inverse-transpose = cofactor / det
  const double in[3] = {n.x, n.y, n.z};
  double out[3];
  for (int c = 0; c < 3; ++c)
    out[c] = (in[0] * cof[0][c] + in[1] * cof[1][c] + in[2] * cof[2][c]) / det;
  return {out[0], out[1], out[2]};
}

ref::Light SpotLight() {
  ref::Light light{};
  light.type = ref::LightType::Spot;
  light.position = {0, 0, -1};
  light.direction = {0, 0, 2};  // not normalised on purpose
  light.diffuse = {0.5, 0.4, 0.3};
  light.specular = {0.3, 0.3, 0.3};
  light.ambient = {0.2, 0.1, 0.05};
  light.range = 100;
  light.falloff = 1.5;
  light.attenuation0 = 1;
  light.attenuation1 = 0.05;
  light.attenuation2 = 0.001;
  light.theta = 0.4;  // inner cone: 0.2 rad from the axis
  light.phi = 0.8;    // outer cone: 0.4 rad from the axis
  return light;
}

ref::Light PointLight(const Vec3& at) {
  ref::Light light = SpotLight();
  light.type = ref::LightType::Point;
  light.position = at;
  return light;
}

class LightingTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    ASSERT_EQ(device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), D3D_OK);
    ASSERT_EQ(device_->SetRenderState(D3DRS_AMBIENT, 0x00202020), D3D_OK);
    ASSERT_EQ(device_->SetRenderState(D3DRS_SPECULARENABLE, TRUE), D3D_OK);
    material_.ambient = {0.5, 0.5, 0.5, 1};
    material_.diffuse = {0.2, 0.6, 0.4, 1};
    material_.specular = {0.4, 0.4, 0.4, 1};
    material_.emissive = {0, 0, 0, 0};
    material_.power = 8;
    UseMaterial();
    UseLight(SpotLight());
  }

  void UseLight(const ref::Light& light) {
    light_ = light;
    D3DLIGHT9 d{};
    d.Type = light.type == ref::LightType::Point  ? D3DLIGHT_POINT
             : light.type == ref::LightType::Spot ? D3DLIGHT_SPOT
                                                  : D3DLIGHT_DIRECTIONAL;
    d.Diffuse = Value(light.diffuse);
    d.Specular = Value(light.specular);
    d.Ambient = Value(light.ambient);
    d.Position = Vector(light.position);
    d.Direction = Vector(light.direction);
    d.Range = static_cast<float>(light.range);
    d.Falloff = static_cast<float>(light.falloff);
    d.Attenuation0 = static_cast<float>(light.attenuation0);
    d.Attenuation1 = static_cast<float>(light.attenuation1);
    d.Attenuation2 = static_cast<float>(light.attenuation2);
    d.Theta = static_cast<float>(light.theta);
    d.Phi = static_cast<float>(light.phi);
    ASSERT_EQ(device_->SetLight(0, &d), D3D_OK);
    ASSERT_EQ(device_->LightEnable(0, TRUE), D3D_OK);
  }

  void UseMaterial() {
    D3DMATERIAL9 m{Value(material_.diffuse), Value(material_.ambient), Value(material_.specular),
                   Value(material_.emissive), static_cast<float>(material_.power)};
    ASSERT_EQ(device_->SetMaterial(&m), D3D_OK);
    const auto source = [](ref::Source s) -> DWORD {
      return s == ref::Source::Material        ? D3DMCS_MATERIAL
             : s == ref::Source::VertexDiffuse ? D3DMCS_COLOR1
                                               : D3DMCS_COLOR2;
    };
    device_->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, source(material_.ambientSource));
    device_->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, source(material_.diffuseSource));
    device_->SetRenderState(D3DRS_SPECULARMATERIALSOURCE, source(material_.specularSource));
    device_->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, source(material_.emissiveSource));
  }

  void UseTransforms(const D3DMATRIX& world, const D3DMATRIX& view) {
    world_ = world;
    view_ = view;
    ASSERT_EQ(device_->SetTransform(D3DTS_WORLD, &world), D3D_OK);
    ASSERT_EQ(device_->SetTransform(D3DTS_VIEW, &view), D3D_OK);
  }

  // What the reference computes for the pixel nearest the triangle's centre
  // (projection is the identity, so camera x, y are normalised device x, y).
  Rgb Expected(const Triangle& t, int* px, int* py, bool normalize = false) {
    ref::Light light = light_;
    light.position = Transform(light_.position, 1, view_);
    light.direction = Transform(light_.direction, 0, view_);
    Vec3 camera[3];
    ref::VertexOutput lit[3];
    for (int i = 0; i < 3; ++i) {
      camera[i] = Transform(Transform(t.position[i], 1, world_), 1, view_);
      Vec3 n = TransformNormal(t.normal, world_, view_);
      if (normalize) {
        const double length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        n = {n.x / length, n.y / length, n.z / length};
      }
      lit[i] =
          ref::LightVertex({camera[i], n, Channels(t.diffuse), Channels(t.specular)}, material_,
                           &light, 1, {32 / 255.0, 32 / 255.0, 32 / 255.0}, localViewer_);
    }
    const double cx = (camera[0].x + camera[1].x + camera[2].x) / 3;
    const double cy = (camera[0].y + camera[1].y + camera[2].y) / 3;
    *px = static_cast<int>(std::lround((cx + 1) * WIDTH / 2));
    *py = static_cast<int>(std::lround((1 - cy) * HEIGHT / 2));
    double w[3];
    ref::Barycentric(NdcX(*px), NdcY(*py), camera[0].x, camera[0].y, camera[1].x, camera[1].y,
                     camera[2].x, camera[2].y, w);
    EXPECT_GT(std::min({w[0], w[1], w[2]}), 0.05) << "sample pixel too near an edge";
    const Rgb diffuse =
        ref::Blend(lit[0].diffuse, w[0], lit[1].diffuse, w[1], lit[2].diffuse, w[2]);
    const Rgb specular =
        ref::Blend(lit[0].specular, w[0], lit[1].specular, w[1], lit[2].specular, w[2]);
    if (!specularEnabled_) return diffuse;
    return {diffuse.r + specular.r, diffuse.g + specular.g, diffuse.b + specular.b};
  }

  // Draws t lit and returns the pixel the reference was worked out for.
  D3DCOLOR Drawn(const Triangle& t, Rgb* expected, bool normalize = false) {
    int px = 0, py = 0;
    *expected = Expected(t, &px, &py, normalize);
    std::vector<TestVertex> vertices;
    for (const Vec3& p : t.position) {
      vertices.push_back({static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z),
                          static_cast<float>(t.normal.x), static_cast<float>(t.normal.y),
                          static_cast<float>(t.normal.z), t.diffuse, t.specular, 0, 0});
    }
    DrawFrame(D3DPT_TRIANGLELIST, vertices);
    return Pixel(px, py);
  }

  void ExpectLit(const Triangle& t, bool normalize = false) {
    Rgb expected{};
    const D3DCOLOR pixel = Drawn(t, &expected, normalize);
    EXPECT_TRUE(NearColor(pixel, expected));
  }

  double Brightness(const Triangle& t) {
    int px = 0, py = 0;
    const Rgb c = Expected(t, &px, &py);
    return c.r + c.g + c.b;
  }

  ref::Light light_{};
  ref::Material material_{};
  D3DMATRIX world_ = Identity();
  D3DMATRIX view_ = Identity();
  bool localViewer_ = true;
  bool specularEnabled_ = true;
};

// Distances from the spot axis on the plane z = 0.5, 1.5 from the light:
// inside the inner cone below r = 0.30, outside the outer one beyond r = 0.63.
TEST_F(LightingTest, SpotInsideTheInnerConeIsFullyLit) { ExpectLit(Around(0, 0)); }

TEST_F(LightingTest, SpotBetweenTheConesFallsOff) {
  const Triangle between = Around(0.47, 0, 0.08);
  EXPECT_LT(Brightness(between), Brightness(Around(0, 0)));
  EXPECT_GT(Brightness(between), Brightness(Around(0.8, 0)));
  ExpectLit(between);
}

TEST_F(LightingTest, SpotOutsideTheOuterConeLeavesGlobalAmbientOnly) {
  Rgb expected{};
  const D3DCOLOR pixel = Drawn(Around(0.8, 0), &expected);
  const double ambientOnly = 0.5 * 32 / 255.0;  // material ambient times D3DRS_AMBIENT
  EXPECT_NEAR(expected.r, ambientOnly, 1e-9);
  EXPECT_TRUE(NearColor(pixel, expected));
}

TEST_F(LightingTest, BeyondRangeALightGivesNothingNotEvenAmbient) {
  ref::Light point = PointLight({0, 0, -1});
  point.ambient = {0.4, 0.4, 0.4};
  point.range = 1.2;  // the plane is 1.5 away
  UseLight(point);
  Rgb expected{};
  const D3DCOLOR pixel = Drawn(Around(0, 0), &expected);
  EXPECT_NEAR(expected.g, 0.5 * 32 / 255.0, 1e-9);
  EXPECT_TRUE(NearColor(pixel, expected));
  point.range = 1.6;
  UseLight(point);
  ExpectLit(Around(0, 0));
}

TEST_F(LightingTest, AttenuationFollowsDistance) {
  ref::Light point = PointLight({0.3, -0.2, -0.4});
  point.attenuation0 = 0.5;
  point.attenuation1 = 0.8;
  point.attenuation2 = 0.3;
  UseLight(point);
  ExpectLit(Around(-0.3, 0.2, 0.15));
}

TEST_F(LightingTest, NoDiffuseOrSpecularWhenTheLightIsBehindTheSurface) {
  ref::Light directional = SpotLight();
  directional.type = ref::LightType::Directional;
  // Light arrives from behind and to the side: N.L < 0 although N.H > 0.
  directional.direction = {-1, 0, -0.2};
  UseLight(directional);
  material_.power = 1;  // N.H = 0.63 here: a highlight that would show
  UseMaterial();
  Rgb expected{};
  const D3DCOLOR pixel = Drawn(Around(0, 0), &expected);
  const double ambient = 0.5 * (32 / 255.0 + directional.ambient.r);
  EXPECT_NEAR(expected.r, ambient, 1e-9);
  EXPECT_TRUE(NearColor(pixel, expected));
}

TEST_F(LightingTest, SpecularIsAddedOnlyWhenEnabled) {
  ExpectLit(Around(0.1, 0.1));
  specularEnabled_ = false;
  ASSERT_EQ(device_->SetRenderState(D3DRS_SPECULARENABLE, FALSE), D3D_OK);
  ExpectLit(Around(0.1, 0.1));
}

TEST_F(LightingTest, LocalViewerAimsTheHighlightAtTheCamera) {
  UseLight(PointLight({0.7, 0, -0.5}));
  const Triangle offCentre = Around(0.7, 0, 0.12);
  ExpectLit(offCentre);
  localViewer_ = false;
  ASSERT_EQ(device_->SetRenderState(D3DRS_LOCALVIEWER, FALSE), D3D_OK);
  ExpectLit(offCentre);
}

TEST_F(LightingTest, ColourSourcesPickMaterialOrVertexColours) {
  material_.ambientSource = ref::Source::VertexDiffuse;
  material_.diffuseSource = ref::Source::Material;
  material_.specularSource = ref::Source::Material;
  material_.emissive = {0.1, 0.05, 0.2, 0};
  UseMaterial();
  ExpectLit(Around(0.2, -0.1));
  material_.diffuseSource = ref::Source::VertexSpecular;
  material_.emissiveSource = ref::Source::VertexDiffuse;
  UseMaterial();
  ExpectLit(Around(0.2, -0.1));
}

TEST_F(LightingTest, NormalsKeepTheirLengthUnlessNormalizeNormalsIsOn) {
  ref::Light directional = SpotLight();
  directional.type = ref::LightType::Directional;
  directional.direction = {-0.7, 0, 0.7};
  UseLight(directional);
  Triangle t = Around(0, 0);
  t.normal = {0, 0, -1.25};
  ExpectLit(t);
  ASSERT_EQ(device_->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE), D3D_OK);
  ExpectLit(t, true);
}

TEST_F(LightingTest, LightsAndNormalsGoToCameraSpace) {
  D3DMATRIX world = Identity();  // non-uniform scale, then a shift
  world.m[0][0] = 0.8f;
  world.m[2][2] = 0.5f;
  world.m[3][0] = 0.1f;
  world.m[3][2] = 0.1f;
  D3DMATRIX view{};  // a shift along z, then a quarter turn about z
  view.m[0][1] = 1;
  view.m[1][0] = -1;
  view.m[2][2] = 1;
  view.m[3][2] = 0.3f;
  view.m[3][3] = 1;
  UseTransforms(world, view);
  UseLight(PointLight({0.3, 0, -1.3}));
  Triangle t{{Vec3{-0.2, -0.3, 0.4}, Vec3{0.3, -0.2, 0.4}, Vec3{0.0, 0.3, 0.2}},
             Vec3{0.3, 0.1, -1}};
  ExpectLit(t);
}

TEST_F(LightingTest, TextureModulatesTheLitColourAndSpecularIsAddedAfter) {
  const D3DCOLOR texel = 0xFF80C040;
  IDirect3DTexture9* texture = MakeTexture(1, 1, {texel});
  ASSERT_EQ(device_->SetTexture(0, texture), D3D_OK);
  ASSERT_EQ(device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE), D3D_OK);
  ASSERT_EQ(device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE), D3D_OK);
  ASSERT_EQ(device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE), D3D_OK);
  ASSERT_EQ(device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE), D3D_OK);
  const Triangle t = Around(0.1, 0);
  specularEnabled_ = false;
  int px = 0, py = 0;
  const Rgb diffuse = Expected(t, &px, &py);
  specularEnabled_ = true;
  const Rgb both = Expected(t, &px, &py);
  const ref::Rgba tex = Channels(texel);
  const Rgb expected{tex.r * diffuse.r + (both.r - diffuse.r),
                     tex.g * diffuse.g + (both.g - diffuse.g),
                     tex.b * diffuse.b + (both.b - diffuse.b)};
  Rgb ignored{};
  EXPECT_TRUE(NearColor(Drawn(t, &ignored), expected));
  texture->Release();
}

}  // namespace

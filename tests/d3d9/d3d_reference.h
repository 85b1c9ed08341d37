// Direct3D 9 fixed-function vertex lighting worked out on the CPU for the
// pixel tests, written from the documented equations (Mathematics of
// Lighting, Attenuation and Spotlight Factor, Specular Lighting) in double
// precision, independently of the device's shader. Camera space throughout.
#pragma once

namespace ref {

struct Vec3 {
  double x, y, z;
};

struct Rgb {
  double r, g, b;
};

struct Rgba {
  double r, g, b, a;
};

enum class LightType { Point, Spot, Directional };

struct Light {
  LightType type;
  Vec3 position;   // camera space
  Vec3 direction;  // camera space, any length
  Rgb diffuse, specular, ambient;
  double range, falloff, attenuation0, attenuation1, attenuation2, theta, phi;
};

// Where each reflectance comes from after the colour-source rules.
enum class Source { Material, VertexDiffuse, VertexSpecular };

struct Material {
  Rgba diffuse, ambient, specular, emissive;
  double power;
  Source ambientSource = Source::Material;
  Source diffuseSource = Source::VertexDiffuse;
  Source specularSource = Source::VertexSpecular;
  Source emissiveSource = Source::Material;
};

struct VertexInput {
  Vec3 position;  // camera space
  Vec3 normal;    // camera space, used at its given length
  Rgba diffuse;
  Rgba specular;
};

// Lit diffuse and specular of one vertex, each clamped to 0..1.
struct VertexOutput {
  Rgb diffuse;
  Rgb specular;
};

VertexOutput LightVertex(const VertexInput& vertex, const Material& material, const Light* lights,
                         int lightCount, const Rgb& globalAmbient, bool localViewer);

// a * wa + b * wb + c * wc, channel by channel.
Rgb Blend(const Rgb& a, double wa, const Rgb& b, double wb, const Rgb& c, double wc);

// Barycentric weights of point (x, y) in triangle (ax, ay), (bx, by), (cx, cy).
void Barycentric(double x, double y, double ax, double ay, double bx, double by, double cx,
                 double cy, double weights[3]);

}  // namespace ref

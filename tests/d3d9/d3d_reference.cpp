// CPU model of Direct3D 9's per-vertex lighting for the pixel tests; see
// d3d_reference.h. Follows the documented formulas term by term.
#include "tests/d3d9/d3d_reference.h"

#include <algorithm>
#include <cmath>

namespace ref {
namespace {

Vec3 Sub(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 Add(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 Neg(const Vec3& a) { return {-a.x, -a.y, -a.z}; }
double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double Length(const Vec3& a) { return std::sqrt(Dot(a, a)); }
Vec3 Unit(const Vec3& a) {
  const double length = Length(a);
  return {a.x / length, a.y / length, a.z / length};
}

Rgb Times(const Rgb& c, double s) { return {c.r * s, c.g * s, c.b * s}; }
Rgb Plus(const Rgb& a, const Rgb& b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Rgb Mul(const Rgba& a, const Rgb& b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
Rgb Clamp(const Rgb& c) {
  return {std::clamp(c.r, 0.0, 1.0), std::clamp(c.g, 0.0, 1.0), std::clamp(c.b, 0.0, 1.0)};
}

Rgba Pick(Source source, const Rgba& material, const VertexInput& vertex) {
  switch (source) {
    case Source::VertexDiffuse:
      return vertex.diffuse;
    case Source::VertexSpecular:
      return vertex.specular;
    case Source::Material:
      break;
  }
  return material;
}

// Attenuation times spot factor; negative when the light is out of range.
double LightFactor(const Light& light, const Vec3& position, Vec3* toLight) {
  if (light.type == LightType::Directional) {
    *toLight = Unit(Neg(light.direction));
    return 1.0;
  }
  const Vec3 offset = Sub(light.position, position);
  const double d = Length(offset);
  if (d > light.range) return -1.0;
  *toLight = Unit(offset);
  const double attenuation =
      1.0 / (light.attenuation0 + light.attenuation1 * d + light.attenuation2 * d * d);
  if (light.type == LightType::Point) return attenuation;
  // Theta and Phi are full angles: compare with the cosines of their halves.
  const double rho = Dot(Unit(light.direction), Neg(*toLight));
  const double inner = std::cos(light.theta / 2), outer = std::cos(light.phi / 2);
  double spot = 0.0;
  if (rho > inner) {
    spot = 1.0;
  } else if (rho > outer) {
    spot = std::pow((rho - outer) / (inner - outer), light.falloff);
  }
  return attenuation * spot;
}

}  // namespace

VertexOutput LightVertex(const VertexInput& vertex, const Material& material, const Light* lights,
                         int lightCount, const Rgb& globalAmbient, bool localViewer) {
  Rgb ambient = globalAmbient, diffuse{0, 0, 0}, specular{0, 0, 0};
  const Vec3& n = vertex.normal;
  const Vec3 toViewer = localViewer ? Unit(Neg(vertex.position)) : Vec3{0, 0, -1};
  for (int i = 0; i < lightCount; ++i) {
    Vec3 toLight{0, 0, 0};
    const double factor = LightFactor(lights[i], vertex.position, &toLight);
    if (factor < 0) continue;  // beyond Range: nothing at all
    ambient = Plus(ambient, Times(lights[i].ambient, factor));
    const double nDotL = Dot(n, toLight);
    diffuse = Plus(diffuse, Times(lights[i].diffuse, std::clamp(nDotL, 0.0, 1.0) * factor));
    const double nDotH = Dot(n, Unit(Add(toLight, toViewer)));
    if (nDotL > 0 && nDotH > 0) {
      specular =
          Plus(specular, Times(lights[i].specular, std::pow(nDotH, material.power) * factor));
    }
  }
  const Rgba ca = Pick(material.ambientSource, material.ambient, vertex);
  const Rgba cd = Pick(material.diffuseSource, material.diffuse, vertex);
  const Rgba cs = Pick(material.specularSource, material.specular, vertex);
  const Rgba ce = Pick(material.emissiveSource, material.emissive, vertex);
  const Rgb lit = Plus(Plus(Mul(ca, ambient), Mul(cd, diffuse)), Rgb{ce.r, ce.g, ce.b});
  return {Clamp(lit), Clamp(Mul(cs, specular))};
}

Rgb Blend(const Rgb& a, double wa, const Rgb& b, double wb, const Rgb& c, double wc) {
  return Plus(Plus(Times(a, wa), Times(b, wb)), Times(c, wc));
}

void Barycentric(double x, double y, double ax, double ay, double bx, double by, double cx,
                 double cy, double weights[3]) {
  const double area = (bx - ax) * (cy - ay) - (cx - ax) * (by - ay);
  weights[1] = ((x - ax) * (cy - ay) - (cx - ax) * (y - ay)) / area;
  weights[2] = ((bx - ax) * (y - ay) - (x - ax) * (by - ay)) / area;
  weights[0] = 1.0 - weights[1] - weights[2];
}

}  // namespace ref

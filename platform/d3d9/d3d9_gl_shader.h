// The one GLSL program that stands in for Direct3D 9's fixed-function
// pipeline in the subset the device offers, and the upload of the state
// record into its uniforms, group by group.
#pragma once

#include <epoxy/gl.h>

#include "platform/d3d9/d3d9_gl_state.h"

namespace d3d9gl {

// Uniform locations of the program.
struct ProgramUniforms {
  GLint worldView = -1, projection = -1, normalMatrix = -1, pixelOffset = -1;
  GLint light = -1, lightOn = -1, material = -1, ambient = -1, sources = -1, specularOn = -1;
  GLint sampler = -1;
};

struct ShaderProgram {
  GLuint name = 0;  // 0 when it failed to build
  ProgramUniforms uniforms;
};

// Builds and binds the program for a width x height back buffer under clip
// control (Direct3D's upper-left origin and 0..1 depth); with roundDepthTo16 it
// rounds depth as a 16-bit buffer would. On failure name is 0 and the reason,
// with the info log's first line, is recorded.
ShaderProgram BuildProgram(UINT width, UINT height, bool roundDepthTo16);

// Sends each dirty group of state to the bound program's uniforms.
void UploadUniforms(const FixedState& state, unsigned dirty, const ProgramUniforms& uniforms);

}  // namespace d3d9gl

// GL object bookkeeping of the OpenGL device: every GL object and context it
// makes is counted (so a test can assert that nothing outlives a release),
// the debug-build GL error check, and the recording of a failure's reason.
#pragma once

#include <epoxy/gl.h>

#include "platform/d3d9/d3d9.h"

namespace d3d9gl {

// Makes one GL object with generate (glGenBuffers, glGenTextures...) and counts it.
GLuint CreateGl(void (*generate)(GLsizei, GLuint*));
// Counts an object made otherwise (a shader or program) and returns it; 0 is not counted.
GLuint Counted(GLuint name);
// Deletes *name with destroy, in the current context, and uncounts it; *name becomes 0.
void DestroyGl(void (*destroy)(GLsizei, const GLuint*), GLuint* name);
void DestroyGl(void (*destroy)(GLuint), GLuint* name);
// Counts device-level interfaces (Direct3D, devices, buffers, textures) and contexts.
void CountInterface(int delta);
void CountContext(int delta);

// One glGetError check per call site in debug builds; nothing in release builds.
void CheckGl(const char* where);

// Records reason for GetLastFailureReason() and returns result.
HRESULT Fail(HRESULT result, const char* reason);

}  // namespace d3d9gl

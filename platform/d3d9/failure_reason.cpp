// The one-line reason of the latest failed creating call of the platform.

#include <cstdio>

#include "platform/d3d9/d3d9.h"

namespace {
char g_reason[256] = "";
}  // namespace

void D3DSetLastFailureReason(const char* reason) {
  std::snprintf(g_reason, sizeof g_reason, "%s", reason ? reason : "");
}

const char* D3DGetLastFailureReason() { return g_reason; }

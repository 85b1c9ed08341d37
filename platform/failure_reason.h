// Where the platform layers keep the reason of their latest failure.
#pragma once

// Keeps a copy of reason (truncated to a line) for D3DGetLastFailureReason().
void D3DSetLastFailureReason(const char* reason);

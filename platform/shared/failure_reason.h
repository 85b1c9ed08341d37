// The platform's one-line answer to "why did that fail?": the window layer,
// the device and the texture loader record here why their latest creating
// call failed, and the program prints it once, on one line of its own.
#pragma once

// Keeps reason ("" when null) for GetLastFailureReason(): cut before its
// first line break and to at most MAX_FAILURE_REASON bytes.
void SetLastFailureReason(const char* reason);
// The latest reason recorded; "" when none has been.
const char* GetLastFailureReason();

constexpr int MAX_FAILURE_REASON = 255;

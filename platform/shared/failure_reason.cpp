// The latest failure reason, held as one bounded line.
#include "platform/shared/failure_reason.h"

#include <algorithm>
#include <cstring>

namespace {
char g_reason[MAX_FAILURE_REASON + 1] = "";
}  // namespace

void SetLastFailureReason(const char* reason) {
  if (reason == nullptr) reason = "";
  // Both line breaks end the line: a reason never spans two lines of stderr.
  const std::size_t length =
      std::min<std::size_t>(std::strcspn(reason, "\r\n"), MAX_FAILURE_REASON);
  std::memmove(g_reason, reason, length);
  g_reason[length] = '\0';
}

const char* GetLastFailureReason() { return g_reason; }

// The failure reason is always one bounded line, whatever a library's message holds.
#include "platform/shared/failure_reason.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FailureReason, KeepsOneBoundedLine) {
  const std::string longLine(1000, 'x');
  const struct {
    const char* given;
    std::string kept;
  } cases[] = {
      {"cannot open: no such file", "cannot open: no such file"},
      {"link failed:\nerror: vertex shader lacks `main'\n", "link failed:"},
      {"X error\r\nBadValue", "X error"},
      {"\nnothing before the break", ""},
      {nullptr, ""},
      {longLine.c_str(), std::string(255, 'x')},
  };
  for (const auto& c : cases) {
    SetLastFailureReason(c.given);
    EXPECT_EQ(c.kept, GetLastFailureReason()) << (c.given ? c.given : "(null)");
  }
}

}  // namespace

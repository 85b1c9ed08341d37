// main(): with a display it runs WinMain and returns its result; without one
// it prints one line naming the problem and exits 1. Runs the program built
// from entry_main.cpp and a stand-in WinMain as a child process.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct Outcome {
  int status;
  std::string output;
};

// Runs a shell command line, collecting stdout and stderr together.
Outcome RunProgram(const std::string& command) {
  Outcome outcome{-1, ""};
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return outcome;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) outcome.output += buffer;
  const int status = pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

const std::string PROGRAM = ENTRY_STUB_PROGRAM;

TEST(EntryTest, WithoutDisplayPrintsOneLineAndExits1) {
  // Pinned to X11 so no other video back end can stand in for the display.
  const Outcome outcome =
      RunProgram("env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=x11 " + PROGRAM);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.output.rfind("tavenor: cannot open a display: ", 0), 0u) << outcome.output;
  EXPECT_EQ(outcome.output.find('\n'), outcome.output.size() - 1) << "one line";
}

TEST(EntryTest, WithDisplayRunsWinMainAndReturnsItsResult) {
  const Outcome outcome = RunProgram(std::string(TAVENOR_WITH_XVFB) + " -- " + PROGRAM);
  EXPECT_EQ(outcome.status, 3) << outcome.output;
  EXPECT_EQ(outcome.output, "instance ok, command line \"\", show 10, window opened\n");
}

}  // namespace

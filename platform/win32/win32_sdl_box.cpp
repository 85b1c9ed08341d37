// MessageBoxA on SDL's simple message box. SDL shows its X11 box from a child it forks and waits
// for that child deaf to signals (waitpid, retried on EINTR). So while the box is up, SIGTERM and
// SIGINT print the box's text and end the program with status 1, and a fork hook makes SDL's child
// die with the program, however the program ends: no box outlives it.
#include <SDL.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "platform/win32/win32.h"

namespace {

// The signals that end the program while the box is up, as they would without it.
constexpr int ENDING_SIGNALS[] = {SIGINT, SIGTERM};

// What the signal handler and the fork hooks read; written before the box shows.
struct BoxState {
  bool showing = false;  // set: a fork is SDL's box child
  pid_t program = 0;     // our process id, for the child to see we still live
  char line[512] = "";   // "caption: text\n", the program's last words
  std::size_t length = 0;
  struct sigaction previous[std::size(ENDING_SIGNALS)] = {};  // SDL's handlers, put back after
};

BoxState g_box;

// In SDL's box child: die with the program, so the box never outlives it.
void AfterForkInBoxChild() {
  if (!g_box.showing) return;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  // The program may have ended before the line above took effect.
  if (getppid() != g_box.program) _exit(1);
}

// Async-signal-safe: the line was prepared before the box showed. SDL's box child inherits this
// handler; only the program speaks, so a signal to the whole group still gives one line.
void EndWithBoxText(int) {
  if (getpid() == g_box.program) {
    const ssize_t written = write(STDERR_FILENO, g_box.line, g_box.length);
    static_cast<void>(written);
  }
  _exit(1);
}

// Puts our handler in for each ending signal that is not ignored.
void TakeEndingSignals() {
  struct sigaction action {};
  action.sa_handler = EndWithBoxText;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < std::size(ENDING_SIGNALS); ++i) {
    sigaction(ENDING_SIGNALS[i], nullptr, &g_box.previous[i]);
    if (g_box.previous[i].sa_handler != SIG_IGN) sigaction(ENDING_SIGNALS[i], &action, nullptr);
  }
}

// Puts back the handlers that were there before (SDL's, which turn the signals into a quit).
void GiveBackEndingSignals() {
  for (std::size_t i = 0; i < std::size(ENDING_SIGNALS); ++i) {
    sigaction(ENDING_SIGNALS[i], &g_box.previous[i], nullptr);
  }
}

// True when SDL's handler caught SIGINT or SIGTERM: it leaves a quit event for the next pump.
bool QuitRequested() {
  SDL_PumpEvents();
  return SDL_HasEvent(SDL_QUIT) == SDL_TRUE;
}

// Keeps "caption: text" as one line for the signal handler and for stderr, cut to fit but ended.
void PrepareLine(const char* caption, const char* text) {
  std::snprintf(g_box.line, sizeof g_box.line, "%s: %s\n", caption, text);
  g_box.length = std::strlen(g_box.line);
  g_box.line[g_box.length - 1] = '\n';
}

// Shows SDL's box until it is dismissed; false when SDL could show none. An ending signal caught
// by SDL before ours took over skips the box, as if dismissed: the program is on its way out.
bool ShowBox(const char* caption, const char* text) {
  static const bool hooked = pthread_atfork(nullptr, nullptr, AfterForkInBoxChild) == 0;
  static_cast<void>(hooked);
  g_box.program = getpid();
  TakeEndingSignals();
  g_box.showing = true;
  const bool shown = QuitRequested() || SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION,
                                                                 caption, text, nullptr) == 0;
  g_box.showing = false;
  GiveBackEndingSignals();
  return shown;
}

}  // namespace

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  if (type != MB_OK) return 0;
  // Win32 captions a box without one "Error".
  const char* shownCaption = caption != nullptr ? caption : "Error";
  const char* shownText = text != nullptr ? text : "";
  PrepareLine(shownCaption, shownText);
  if (ShowBox(shownCaption, shownText)) return IDOK;
  // No box could be shown (no display): its line still reaches the user.
  return std::fputs(g_box.line, stderr) < 0 ? 0 : IDOK;
}

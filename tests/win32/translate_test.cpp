// SDL event -> Win32 message translation, the double-click rule, and the
// message box's fallback without a display. Needs no display.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/win32/win32.h"
#include "platform/win32/win32_core.h"
#include "platform/win32/win32_sdl_events.h"

namespace {

const HWND WINDOW = reinterpret_cast<HWND>(std::uintptr_t{0x1230});
const HWND OTHER_WINDOW = reinterpret_cast<HWND>(std::uintptr_t{0x4560});

win32_sdl::EventWindow Target(UINT classStyle = 0, HWND handle = WINDOW) {
  win32_sdl::EventWindow window;
  window.handle = handle;
  window.classStyle = classStyle;
  window.screenX = 100;
  window.screenY = 120;
  return window;
}

SDL_Event Button(Uint32 type, Uint8 button, int x, int y, Uint32 time = 1000) {
  SDL_Event event{};
  event.type = type;
  event.button.button = button;
  event.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
  event.button.x = x;
  event.button.y = y;
  event.button.timestamp = time;
  event.button.windowID = 7;
  return event;
}

SDL_Event Press(Uint8 button, int x, int y, Uint32 time = 1000) {
  return Button(SDL_MOUSEBUTTONDOWN, button, x, y, time);
}

SDL_Event Release(Uint8 button, int x, int y, Uint32 time = 1000) {
  return Button(SDL_MOUSEBUTTONUP, button, x, y, time);
}

SDL_Event Motion(Uint32 mask, int x, int y) {
  SDL_Event event{};
  event.type = SDL_MOUSEMOTION;
  event.motion.state = mask;
  event.motion.x = x;
  event.motion.y = y;
  event.motion.windowID = 7;
  return event;
}

SDL_Event WindowEvent(Uint8 what) {
  SDL_Event event{};
  event.type = SDL_WINDOWEVENT;
  event.window.event = what;
  event.window.windowID = 7;
  return event;
}

class TranslateTest : public ::testing::Test {
 protected:
  // The message an event makes; fails the test when it makes none.
  MSG Translate(const SDL_Event& event, const win32_sdl::EventWindow& window = Target(),
                Uint16 mods = KMOD_NONE) {
    MSG msg{};
    EXPECT_TRUE(win32_sdl::TranslateSdlEvent(event, window, mods, state, &msg));
    return msg;
  }
  bool MakesMessage(const SDL_Event& event) {
    MSG msg{};
    return win32_sdl::TranslateSdlEvent(event, Target(), KMOD_NONE, state, &msg);
  }

  win32_sdl::InputState state;
};

TEST_F(TranslateTest, LeftPressCarriesItsFlagClientPointAndScreenPoint) {
  const MSG msg = Translate(Press(SDL_BUTTON_LEFT, 30, 40));
  EXPECT_EQ(msg.hwnd, WINDOW);
  EXPECT_EQ(msg.message, 0x0201u);
  EXPECT_EQ(msg.wParam, 0x0001u);
  EXPECT_EQ(msg.lParam, LPARAM{(40 << 16) | 30});
  EXPECT_EQ(msg.pt.x, 130);
  EXPECT_EQ(msg.pt.y, 160);
  EXPECT_EQ(msg.time, 1000u);
}

TEST_F(TranslateTest, EachButtonHasItsPressAndReleaseNumbers) {
  EXPECT_EQ(Translate(Press(SDL_BUTTON_RIGHT, 1, 1)).message, 0x0204u);
  EXPECT_EQ(Translate(Release(SDL_BUTTON_RIGHT, 1, 1)).message, 0x0205u);
  EXPECT_EQ(Translate(Press(SDL_BUTTON_MIDDLE, 1, 1)).message, 0x0207u);
  EXPECT_EQ(Translate(Release(SDL_BUTTON_MIDDLE, 1, 1)).message, 0x0208u);
  EXPECT_EQ(Translate(Release(SDL_BUTTON_LEFT, 1, 1)).message, 0x0202u);
}

TEST_F(TranslateTest, PressFlagsIncludeEveryHeldButtonAndReleaseDropsItsOwn) {
  EXPECT_EQ(Translate(Press(SDL_BUTTON_RIGHT, 5, 5)).wParam, 0x0002u);
  EXPECT_EQ(Translate(Press(SDL_BUTTON_MIDDLE, 5, 5, 1100)).wParam, 0x0012u);
  EXPECT_EQ(Translate(Release(SDL_BUTTON_RIGHT, 5, 5)).wParam, 0x0010u);
  EXPECT_EQ(Translate(Release(SDL_BUTTON_MIDDLE, 5, 5)).wParam, 0u);
}

TEST_F(TranslateTest, MotionFlagsFollowSdlButtonMask) {
  EXPECT_EQ(Translate(Motion(0, 3, 4)).wParam, 0u);
  EXPECT_EQ(Translate(Motion(SDL_BUTTON_LMASK, 3, 4)).wParam, 0x0001u);
  EXPECT_EQ(Translate(Motion(SDL_BUTTON_RMASK | SDL_BUTTON_MMASK, 3, 4)).wParam, 0x0012u);
  const MSG msg = Translate(Motion(SDL_BUTTON_LMASK | SDL_BUTTON_RMASK, 3, 4));
  EXPECT_EQ(msg.message, 0x0200u);
  EXPECT_EQ(msg.wParam, 0x0003u);
  // The mask also tells later releases what is still held.
  EXPECT_EQ(Translate(Release(SDL_BUTTON_LEFT, 3, 4)).wParam, 0x0002u);
}

TEST_F(TranslateTest, ShiftAndControlAddTheirFlags) {
  EXPECT_EQ(Translate(Motion(SDL_BUTTON_LMASK, 0, 0), Target(), KMOD_LSHIFT).wParam, 0x0005u);
  EXPECT_EQ(Translate(Motion(0, 0, 0), Target(), KMOD_RCTRL).wParam, 0x0008u);
}

TEST_F(TranslateTest, CoordinatesPackAsSigned16BitHalves) {
  const MSG msg = Translate(Motion(SDL_BUTTON_LMASK, -10, -1));
  // x = -10 -> 0xFFF6 in the low word, y = -1 -> 0xFFFF in the high word.
  EXPECT_EQ(msg.lParam, LPARAM{0xFFFFFFF6});
  EXPECT_EQ(GET_X_LPARAM(msg.lParam), -10);
  EXPECT_EQ(GET_Y_LPARAM(msg.lParam), -1);
  EXPECT_EQ(msg.pt.x, 90);
  EXPECT_EQ(msg.pt.y, 119);
  // Beyond 16 bits only the low bits stay: 70000 - 65536 = 4464; -40000 + 65536 = 25536.
  const MSG far = Translate(Motion(0, 70000, -40000));
  EXPECT_EQ(GET_X_LPARAM(far.lParam), 4464);
  EXPECT_EQ(GET_Y_LPARAM(far.lParam), 25536);
}

TEST_F(TranslateTest, WindowCloseRequestIsWmClose) {
  const MSG msg = Translate(WindowEvent(SDL_WINDOWEVENT_CLOSE));
  EXPECT_EQ(msg.hwnd, WINDOW);
  EXPECT_EQ(msg.message, 0x0010u);
}

TEST_F(TranslateTest, OtherEventsMakeNoMessage) {
  EXPECT_FALSE(MakesMessage(WindowEvent(SDL_WINDOWEVENT_RESIZED)));
  EXPECT_FALSE(MakesMessage(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED)));
  EXPECT_FALSE(MakesMessage(Press(SDL_BUTTON_X1, 1, 1)));
  SDL_Event key{};
  key.type = SDL_KEYDOWN;
  EXPECT_FALSE(MakesMessage(key));
  SDL_Event wheel{};
  wheel.type = SDL_MOUSEWHEEL;
  EXPECT_FALSE(MakesMessage(wheel));
}

TEST_F(TranslateTest, EventWindowIdNamesTheEventsWindow) {
  EXPECT_EQ(win32_sdl::EventWindowId(Press(SDL_BUTTON_LEFT, 0, 0)), 7u);
  EXPECT_EQ(win32_sdl::EventWindowId(Motion(0, 0, 0)), 7u);
  EXPECT_EQ(win32_sdl::EventWindowId(WindowEvent(SDL_WINDOWEVENT_CLOSE)), 7u);
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  EXPECT_EQ(win32_sdl::EventWindowId(quit), 0u);
}

// ---- Double clicks -----------------------------------------------------------

TEST_F(TranslateTest, QuickSecondPressWithoutCsDblclksIsAnotherPress) {
  Translate(Press(SDL_BUTTON_LEFT, 10, 10, 1000));
  Translate(Release(SDL_BUTTON_LEFT, 10, 10, 1050));
  EXPECT_EQ(Translate(Press(SDL_BUTTON_LEFT, 10, 10, 1100)).message, 0x0201u);
}

TEST_F(TranslateTest, QuickSecondPressWithCsDblclksIsADoubleClickOfThatButton) {
  const auto target = Target(CS_DBLCLKS);
  Translate(Press(SDL_BUTTON_RIGHT, 10, 10, 1000), target);
  Translate(Release(SDL_BUTTON_RIGHT, 10, 10, 1050), target);
  const MSG msg = Translate(Press(SDL_BUTTON_RIGHT, 12, 8, 1500), target);
  EXPECT_EQ(msg.message, 0x0206u);
  EXPECT_EQ(msg.wParam, 0x0002u);
  Translate(Release(SDL_BUTTON_RIGHT, 12, 8, 1550), target);
  EXPECT_EQ(Translate(Press(SDL_BUTTON_RIGHT, 12, 8, 1600), target).message, 0x0204u)
      << "the press after a double click starts anew";
  // The middle and left buttons have their own double-click numbers.
  Translate(Press(SDL_BUTTON_MIDDLE, 0, 0, 2000), target);
  EXPECT_EQ(Translate(Press(SDL_BUTTON_MIDDLE, 0, 0, 2010), target).message, 0x0209u);
  Translate(Press(SDL_BUTTON_LEFT, 0, 0, 2020), target);
  EXPECT_EQ(Translate(Press(SDL_BUTTON_LEFT, 0, 0, 2030), target).message, 0x0203u);
}

TEST_F(TranslateTest, SlowFarOtherButtonOrOtherWindowPressesStayPresses) {
  const auto target = Target(CS_DBLCLKS);
  Translate(Press(SDL_BUTTON_LEFT, 10, 10, 1000), target);
  EXPECT_EQ(Translate(Press(SDL_BUTTON_LEFT, 10, 10, 1501), target).message, 0x0201u) << "slow";
  EXPECT_EQ(Translate(Press(SDL_BUTTON_LEFT, 13, 10, 1600), target).message, 0x0201u) << "far";
  EXPECT_EQ(Translate(Press(SDL_BUTTON_RIGHT, 13, 10, 1700), target).message, 0x0204u);
  EXPECT_EQ(
      Translate(Press(SDL_BUTTON_RIGHT, 13, 10, 1800), Target(CS_DBLCLKS, OTHER_WINDOW)).message,
      0x0204u)
      << "other window";
}

TEST(ClickTrackerTest, TimeWrapAroundStillMeasuresTheGap) {
  win32_core::ClickTracker clicks;
  EXPECT_FALSE(clicks.Press(win32_core::MouseButton::Left, 0xFFFFFF00u, 0, 0));
  EXPECT_TRUE(clicks.Press(win32_core::MouseButton::Left, 0x00000010u, 0, 0));
}

// ---- Message box without a display ----------------------------------------------

TEST(MessageBoxTest, WithoutDisplayCaptionAndTextGoToStderr) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  testing::internal::CaptureStderr();
  const int result = MessageBoxA(nullptr, "Could not find leopard.jpg", "Tavenor.exe", MB_OK);
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(printed, "Tavenor.exe: Could not find leopard.jpg\n");
}

}  // namespace

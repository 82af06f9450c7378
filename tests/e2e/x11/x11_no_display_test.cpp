// The X11 back ends without a display, with one that cannot be reached, and
// with one that goes away while the program runs: no window is found, nothing
// is typed, nothing fails.

#include <gtest/gtest.h>
// Xlib's macros (None, Bool, Status) after the test framework's headers.
#include <X11/Xlib.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/keyboard.h"
#include "tests/e2e/x11/x11_backend_keys.h"
#include "tests/e2e/x11/x11_session.h"

namespace {

int CountWindows() {
  int count = 0;
  EnumerateTopLevelWindows(
      [](WindowId, void* context) {
        ++*static_cast<int*>(context);
        return true;
      },
      &count);
  return count;
}

void ExpectNoWindowAndNoKeys() {
  EXPECT_EQ(CountWindows(), 0);
  EXPECT_FALSE(WindowIsVisible(0x400001));
  EXPECT_FALSE(WindowHasParent(0x400001));
  EXPECT_EQ(ReadWindowTitle(0x400001), "");
  EXPECT_FALSE(ActivateWindow(0x400001));
  EXPECT_FALSE(ForegroundBelongsTo(0x400001));
  KeyboardLayout layout = CurrentKeyboardLayout();
  EXPECT_EQ(layout, 0u);
  CharKey key{};
  EXPECT_FALSE(MapCharacterToKey(layout, 'a', &key));
  EXPECT_EQ(ScanCodeOfKey(0x10), 0);
  InjectKeyEvents({KeyEvent{0x12, 0, false, false}, KeyEvent{0x73, 0, false, false},
                   KeyEvent{0x73, 0, true, false}, KeyEvent{0x12, 0, true, false}});
  TypeText("Hello");
}

TEST(X11WithoutDisplay, NothingIsFoundOrTyped) {
  unsetenv("DISPLAY");
  ExpectNoWindowAndNoKeys();
  setenv("DISPLAY", ":32767", 1);  // nothing listens there
  ExpectNoWindowAndNoKeys();
}

TEST(X11WithoutDisplay, ADisplayThatGoesAwayIsLeftAndANewOneTaken) {
  X11Session first;
  ASSERT_TRUE(StartX11Session(&first, false));
  TestClient client;
  ASSERT_TRUE(StartTestClient(&first, {"Gone soon"}, &client));
  EXPECT_GE(CountWindows(), 1);
  EXPECT_NE(CurrentKeyboardLayout(), 0u);
  StopChild(&client.process);
  StopX11Session(&first);  // the server ends under the open connection

  ExpectNoWindowAndNoKeys();

  X11Session second;
  ASSERT_TRUE(StartX11Session(&second, false));
  TestClient other;
  ASSERT_TRUE(StartTestClient(&second, {"Next one"}, &other));
  bool found = false;
  EnumerateTopLevelWindows(
      [](WindowId window, void* context) {
        *static_cast<bool*>(context) =
            *static_cast<bool*>(context) || ReadWindowTitle(window) == "Next one";
        return true;
      },
      &found);
  EXPECT_TRUE(found);
  StopChild(&other.process);
  StopX11Session(&second);
}

}  // namespace

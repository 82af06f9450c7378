// The X11 back ends against a real X server (Xvfb) with a real window manager
// (openbox): stacking order, titles, activation and typed text.

#include <gtest/gtest.h>
// Xlib's macros (None, Bool, Status) after the test framework's headers.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <iconv.h>

#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/keyboard.h"
#include "tests/e2e/x11/x11_backend_keys.h"
#include "tests/e2e/x11/x11_session.h"

namespace {

X11Session session;

class X11BackEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(StartX11Session(&session, true)); }
  static void TearDownTestSuite() { StopX11Session(&session); }
  void TearDown() override {
    for (TestClient* client : clients) {
      StopChild(&client->process);
      delete client;
    }
  }
  TestClient* Client(const std::vector<std::string>& arguments) {
    clients.push_back(new TestClient);
    EXPECT_TRUE(StartTestClient(&session, arguments, clients.back()));
    return clients.back();
  }
  std::vector<TestClient*> clients;
};

struct WindowSeen {
  WindowId window;
  bool visible;
  bool hasParent;
  bool enabled;
  std::string title;
};

std::vector<WindowSeen> SeeWindows() {
  std::vector<WindowSeen> seen;
  EnumerateTopLevelWindows(
      [](WindowId window, void* context) {
        static_cast<std::vector<WindowSeen>*>(context)->push_back(
            WindowSeen{window, WindowIsVisible(window), WindowHasParent(window),
                       WindowIsEnabled(window), ReadWindowTitle(window)});
        return true;
      },
      &seen);
  return seen;
}

// The window that the lookup of SEND and ACTIVATE would take for `prefix`.
WindowId FirstQualifying(const std::string& prefix) {
  for (const WindowSeen& window : SeeWindows()) {
    if (window.visible && !window.hasParent && window.enabled &&
        window.title.compare(0, prefix.size(), prefix) == 0) {
      return window.window;
    }
  }
  return 0;
}

size_t PositionOf(const std::vector<WindowSeen>& seen, Window window) {
  for (size_t i = 0; i < seen.size(); ++i) {
    if (seen[i].window == window) {
      return i;
    }
  }
  return seen.size();
}

Window FocusWindow() {
  Window focus = None;
  int revert = 0;
  XGetInputFocus(session.connection, &focus, &revert);
  return focus;
}

// Windows-1252 text as UTF-8, by the C library's own tables.
std::string Utf8FromWindows1252(const std::string& text) {
  iconv_t converter = iconv_open("UTF-8", "CP1252");
  std::string input = text;
  std::string output(text.size() * 4, '\0');
  char* in = input.data();
  size_t inLeft = input.size();
  char* out = output.data();
  size_t outLeft = output.size();
  iconv(converter, &in, &inLeft, &out, &outLeft);
  iconv_close(converter);
  output.resize(output.size() - outLeft);
  return output;
}

TEST_F(X11BackEnd, EnumeratesFromTheTopAndSkipsTransientAndUnmappedWindows) {
  TestClient* client = Client({"Report - lower", "Report - upper", "--transient", "Report - dialog",
                               "--unmapped", "Report - hidden"});
  ASSERT_EQ(client->windows.size(), 4u);
  Window lower = client->windows[0];
  Window upper = client->windows[1];
  Window dialog = client->windows[2];
  Window hidden = client->windows[3];

  std::vector<WindowSeen> seen = SeeWindows();
  ASSERT_LT(PositionOf(seen, upper), seen.size());
  ASSERT_LT(PositionOf(seen, lower), seen.size());
  EXPECT_LT(PositionOf(seen, upper), PositionOf(seen, lower));
  // The dialog belongs to the lower window and is stacked above it. Whether
  // openbox also puts it above the upper window depends on when it handed the
  // focus over (measured: below it about once in 25 runs on a busy machine), so
  // its skipping is checked with a name that only the dialog matches.
  ASSERT_LT(PositionOf(seen, dialog), seen.size());
  EXPECT_LT(PositionOf(seen, dialog), PositionOf(seen, lower));
  EXPECT_TRUE(seen[PositionOf(seen, dialog)].hasParent);
  EXPECT_FALSE(seen[PositionOf(seen, upper)].hasParent);
  EXPECT_TRUE(seen[PositionOf(seen, upper)].visible);
  EXPECT_TRUE(seen[PositionOf(seen, upper)].enabled);
  EXPECT_EQ(seen[PositionOf(seen, upper)].title, "Report - upper");
  EXPECT_FALSE(WindowIsVisible(hidden));

  EXPECT_EQ(FirstQualifying("Report"), upper);
  EXPECT_EQ(FirstQualifying("Report - l"), lower);
  EXPECT_EQ(FirstQualifying("Report - h"), 0u);
  EXPECT_EQ(FirstQualifying("Report - d"), 0u);

  // Raised, the lower window comes first.
  EXPECT_TRUE(ActivateWindow(lower));
  ASSERT_TRUE(WaitUntil([&] { return FirstQualifying("Report") == lower; }));
}

TEST_F(X11BackEnd, TitlesBecomeSingleByteTextOfAtMost259Bytes) {
  std::string longTitle(300, 'x');
  TestClient* client =
      Client({"Caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x93 \xE6\x97\xA5\xE6\x9C\xAC", "--latin1",
              "Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" /* WM_NAME only */, longTitle,
              "Bad \xFF\xC3 \xC0\xAF \xED\xA0\x80 end", "--latin1", "C1 \xC2\x85 control"});
  ASSERT_EQ(client->windows.size(), 5u);
  EXPECT_EQ(ReadWindowTitle(client->windows[0]), "Caf\xE9 \x80 \x96 ??");
  EXPECT_EQ(ReadWindowTitle(client->windows[1]), "Cr\xE8me br\xFBl\xE9");
  EXPECT_EQ(ReadWindowTitle(client->windows[2]), std::string(259, 'x'));
  // Malformed UTF-8 (a stray byte, a cut sequence, an overlong form, a
  // surrogate): one '?' per byte.
  EXPECT_EQ(ReadWindowTitle(client->windows[3]), "Bad ?? ?? ??? end");
  // Latin-1 has control characters where Windows-1252 has letters.
  EXPECT_EQ(ReadWindowTitle(client->windows[4]), "C1 ? control");
  EXPECT_EQ(ReadWindowTitle(0x7FFFFFF0), "");  // no such window
}

TEST_F(X11BackEnd, ActivationMakesTheWindowActiveAndFocused) {
  TestClient* client = Client({"First", "Second", "--transient", "Dialog of first"});
  ASSERT_EQ(client->windows.size(), 3u);
  for (Window window : {client->windows[0], client->windows[1], client->windows[0]}) {
    EXPECT_TRUE(ActivateWindow(window));
    // Back from the call, the keyboard focus is already there.
    EXPECT_EQ(FocusWindow(), window);
    EXPECT_EQ(ActiveWindow(session.connection), window);
  }
  EXPECT_TRUE(ForegroundBelongsTo(client->windows[0]));
  EXPECT_FALSE(ForegroundBelongsTo(client->windows[1]));
  // The foreground still belongs to a window while a dialog of its own is active.
  EXPECT_TRUE(ActivateWindow(client->windows[2]));
  EXPECT_TRUE(ForegroundBelongsTo(client->windows[0]));
  EXPECT_FALSE(ActivateWindow(0x7FFFFFF0));  // a window that does not exist
  EXPECT_EQ(FocusWindow(), client->windows[2]);
}

TEST_F(X11BackEnd, TypedCharactersArriveAsTheirText) {
  TestClient* client = Client({"Typing"});
  ASSERT_EQ(client->windows.size(), 1u);
  EXPECT_TRUE(ActivateWindow(client->windows[0]));

  TypeText("Hello, World!\r");
  EXPECT_TRUE(WaitUntil([&] { return ReceivedText(*client, 0) == "Hello, World!\r"; }))
      << ReceivedText(*client, 0);

  // Characters that the US keyboard map has no key for.
  TypeText("\xE9\x80\xDF");
  std::string expected = "Hello, World!\r\xC3\xA9\xE2\x82\xAC\xC3\x9F";
  EXPECT_TRUE(WaitUntil([&] { return ReceivedText(*client, 0) == expected; }))
      << ReceivedText(*client, 0);
  EXPECT_TRUE(NoKeyIsDown(session.connection));
}

TEST_F(X11BackEnd, EveryPrintableCharacterOfTheCodePageArrives) {
  TestClient* client = Client({"Code page"});
  EXPECT_TRUE(ActivateWindow(client->windows[0]));
  std::string text;
  for (int c = 0x20; c <= 0xFF; ++c) {
    if (c != 0x7F && c != 0x81 && c != 0x8D && c != 0x8F && c != 0x90 && c != 0x9D) {
      text += static_cast<char>(c);
    }
  }
  TypeText(text);
  std::string expected = Utf8FromWindows1252(text);
  EXPECT_TRUE(WaitUntil([&] { return ReceivedText(*client, 0) == expected; }))
      << ReceivedText(*client, 0);
  EXPECT_TRUE(NoKeyIsDown(session.connection));
}

TEST_F(X11BackEnd, HeldShiftAppliesToLaterUnitsAndControlCharactersUseTheirKeys) {
  TestClient* client = Client({"Shifted"});
  EXPECT_TRUE(ActivateWindow(client->windows[0]));
  InjectNamedKeys({{0x10, false}});
  TypeText("abc");
  InjectNamedKeys({{0x10, true}});
  TypeText("d\t");
  InjectNamedKeys({{0x0D, false}, {0x0D, true}});
  TypeText("\x01\x1A");  // Ctrl+A, Ctrl+Z
  EXPECT_TRUE(WaitUntil([&] { return ReceivedText(*client, 0) == "ABCd\t\r\x01\x1A"; }))
      << ReceivedText(*client, 0);
  EXPECT_TRUE(NoKeyIsDown(session.connection));
}

bool SetLayouts(const std::string& layouts) {
  ChildProcess setter =
      StartChild({"setxkbmap", "-display", session.display, "-layout", layouts}, {}, false);
  return WaitUntil([&] { return ChildHasEnded(&setter); });
}

bool LockGroup(unsigned group) {
  XkbLockGroup(session.connection, XkbUseCoreKbd, group);
  XSync(session.connection, False);
  return WaitUntil([&] {
    XkbStateRec state{};
    XkbGetState(session.connection, XkbUseCoreKbd, &state);
    return state.group == group;
  });
}

TEST_F(X11BackEnd, CharactersAreTypedWithTheActiveOfSeveralLayouts) {
  // US and German, the German one active: Y and Z trade places, a-umlaut has
  // a key of its own, @ sits on AltGr+Q.
  ASSERT_TRUE(SetLayouts("us,de"));
  ASSERT_TRUE(LockGroup(1));
  TestClient* client = Client({"Layouts"});
  EXPECT_TRUE(ActivateWindow(client->windows[0]));
  TypeText("yzY\xE4@\xB5");
  EXPECT_TRUE(WaitUntil([&] { return ReceivedText(*client, 0) == "yzY\xC3\xA4@\xC2\xB5"; }))
      << ReceivedText(*client, 0);
  EXPECT_TRUE(NoKeyIsDown(session.connection));
  EXPECT_TRUE(LockGroup(0));
  EXPECT_TRUE(SetLayouts("us"));
}

TEST_F(X11BackEnd, SpareKeysAreReleasedAfterUse) {
  TestClient* client = Client({"Spare"});
  EXPECT_TRUE(ActivateWindow(client->windows[0]));
  TypeText("\xDF");
  ASSERT_TRUE(WaitUntil([&] { return ReceivedText(*client, 0) == "\xC3\x9F"; }));
  auto keymapHasSharpS = [] { return KeymapHasKeysym(session.connection, 0xDF); };
  EXPECT_TRUE(keymapHasSharpS());
  // A later unit undoes the binding once it has been idle a while.
  EXPECT_TRUE(WaitUntil([&] {
    CurrentKeyboardLayout();
    return !keymapHasSharpS();
  }));
}

TEST_F(X11BackEnd, AltF4ClosesTheWindowThroughTheWindowManager) {
  TestClient* client = Client({"Closing", "Staying"});
  EXPECT_TRUE(ActivateWindow(client->windows[0]));
  InjectNamedKeys({{0x12, false}});
  InjectNamedKeys({{0x73, false}, {0x73, true}});
  InjectNamedKeys({{0x12, true}});
  std::string line;
  ASSERT_TRUE(ReadChildLine(&client->process, &line));
  EXPECT_EQ(line, "closed 0");
  EXPECT_TRUE(WaitUntil([&] { return !WindowExists(session.connection, client->windows[0]); }));
  EXPECT_TRUE(WindowExists(session.connection, client->windows[1]));
  EXPECT_TRUE(NoKeyIsDown(session.connection));
}

}  // namespace

// Synthetic keyboard input on X11 through the XTest extension.
//
// The key events carry Windows virtual-key codes. The codes of the key-name
// table and of the modifiers stand for their keys (0x10 Shift_L, 0x70 F1 and
// so on). Plain characters get codes of their own, which the key table never
// uses: most printable characters are their own Windows-1252 byte, and the 24
// whose byte is a code of the key table ("!" to "(", "-", ".", "[", "]", "p"
// to "{") take unused codes below 0x20 and the undefined bytes of the code
// page. Each such code is typed with whatever key of the keyboard map gives
// the character in the active layout (group), without or with Shift (the
// Shift bit of the mapping); a character that no key gives that way (also one
// on the AltGr level) is typed through a spare keycode, one without symbols,
// that is bound to the character for as long as needed.

// The keysyms of typographic characters (dashes, quotation marks) too.
#define XK_PUBLISHING
#define XK_TECHNICAL
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <time.h>

#include <array>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/keyboard.h"
#include "platform/posix/x11_connection.h"
#include "platform/posix/x11_text.h"

namespace {

constexpr uint8_t kShiftBit = 1;
constexpr uint8_t kCtrlBit = 2;

struct NamedKey {
  uint8_t virtualKey;
  KeySym keysym;
};

// The keys of the key-name table and the modifiers of the character mapping.
constexpr NamedKey kNamedKeys[] = {
    {0x08, XK_BackSpace}, {0x09, XK_Tab},    {0x0D, XK_Return},    {0x10, XK_Shift_L},
    {0x11, XK_Control_L}, {0x12, XK_Alt_L},  {0x14, XK_Caps_Lock}, {0x1B, XK_Escape},
    {0x21, XK_Prior},     {0x22, XK_Next},   {0x23, XK_End},       {0x24, XK_Home},
    {0x25, XK_Left},      {0x26, XK_Up},     {0x27, XK_Right},     {0x28, XK_Down},
    {0x2D, XK_Insert},    {0x2E, XK_Delete}, {0x5B, XK_Super_L},   {0x5D, XK_Menu},
    {0x70, XK_F1},        {0x71, XK_F2},     {0x72, XK_F3},        {0x73, XK_F4},
    {0x74, XK_F5},        {0x75, XK_F6},     {0x76, XK_F7},        {0x77, XK_F8},
    {0x78, XK_F9},        {0x79, XK_F10},    {0x7A, XK_F11},       {0x7B, XK_F12},
    {0x90, XK_Num_Lock}};

constexpr KeySym NamedKeysym(uint8_t virtualKey) {
  for (const NamedKey& key : kNamedKeys) {
    if (key.virtualKey == virtualKey) {
      return key.keysym;
    }
  }
  return NoSymbol;
}

// Characters that a key types: everything of Windows-1252 except the control
// characters (which map onto other keys) and the undefined bytes.
constexpr bool IsPrintable(unsigned c) {
  if (c < 0x20 || c == 0x7F) {
    return false;
  }
  return !(c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D);
}

struct CodeSpace {
  std::array<uint8_t, 256> codeOfCharacter{};
  std::array<uint8_t, 256> characterOfCode{};
  std::array<bool, 256> isCharacterCode{};
  bool complete = true;
};

constexpr CodeSpace BuildCodeSpace() {
  CodeSpace space;
  std::array<uint8_t, 32> spareCodes{};
  unsigned spareCount = 0;
  for (unsigned code = 0x01; code < 0x20; ++code) {
    if (NamedKeysym(static_cast<uint8_t>(code)) == NoSymbol) {
      spareCodes[spareCount++] = static_cast<uint8_t>(code);
    }
  }
  for (unsigned code : {0x81u, 0x8Du, 0x8Fu, 0x9Du}) {
    spareCodes[spareCount++] = static_cast<uint8_t>(code);
  }
  unsigned nextSpare = 0;
  for (unsigned c = 0; c < 256; ++c) {
    if (!IsPrintable(c)) {
      continue;
    }
    unsigned code = c;
    if (NamedKeysym(static_cast<uint8_t>(c)) != NoSymbol) {
      if (nextSpare == spareCount) {
        space.complete = false;
        return space;
      }
      code = spareCodes[nextSpare++];
    }
    space.codeOfCharacter[c] = static_cast<uint8_t>(code);
    space.characterOfCode[code] = static_cast<uint8_t>(c);
    space.isCharacterCode[code] = true;
  }
  return space;
}

constexpr CodeSpace kCodeSpace = BuildCodeSpace();
static_assert(kCodeSpace.complete, "every printable character has a code of its own");
static_assert(kCodeSpace.codeOfCharacter['a'] == 'a' && kCodeSpace.isCharacterCode[0x01]);

// The keysyms of the Windows-1252 characters from 0x80 to 0x9F that X has
// names for; the others are typed by their Unicode keysym.
constexpr KeySym kUpperControlKeysyms[32] = {XK_EuroSign,
                                             NoSymbol,
                                             XK_singlelowquotemark,
                                             XK_function,
                                             XK_doublelowquotemark,
                                             XK_ellipsis,
                                             XK_dagger,
                                             XK_doubledagger,
                                             NoSymbol,
                                             XK_permille,
                                             XK_Scaron,
                                             NoSymbol,
                                             XK_OE,
                                             NoSymbol,
                                             XK_Zcaron,
                                             NoSymbol,
                                             NoSymbol,
                                             XK_leftsinglequotemark,
                                             XK_rightsinglequotemark,
                                             XK_leftdoublequotemark,
                                             XK_rightdoublequotemark,
                                             NoSymbol,
                                             XK_endash,
                                             XK_emdash,
                                             NoSymbol,
                                             XK_trademark,
                                             XK_scaron,
                                             NoSymbol,
                                             XK_oe,
                                             NoSymbol,
                                             XK_zcaron,
                                             XK_Ydiaeresis};

KeySym KeysymOfCharacter(unsigned char c) {
  if (c < 0x80 || c >= 0xA0) {
    return c;  // ASCII and Latin-1 keysyms equal their code points
  }
  if (kUpperControlKeysyms[c - 0x80] != NoSymbol) {
    return kUpperControlKeysyms[c - 0x80];
  }
  return 0x1000000 | UnicodeOfSingleByte(c);
}

KeySym KeysymOfCode(uint8_t virtualKey) {
  if (kCodeSpace.isCharacterCode[virtualKey]) {
    return KeysymOfCharacter(kCodeSpace.characterOfCode[virtualKey]);
  }
  return NamedKeysym(virtualKey);
}

// The keyboard map as it was at the start of the current unit, in the group
// (layout) that is active then.
struct KeyLevels {
  KeySym plain = NoSymbol;    // without modifiers
  KeySym shifted = NoSymbol;  // with Shift
  std::vector<KeySym> all;    // every symbol of every group and level
};
struct Keymap {
  uint32_t connection = 0;
  int minKeycode = 0;
  int maxKeycode = -1;
  int perKeycode = 0;  // keysyms per keycode of the core protocol's map
  std::vector<KeyLevels> keys;
};
Keymap keymap;

// The shift level that the key type gives for modifiers `mods`.
int LevelOf(XkbKeyTypePtr type, unsigned mods) {
  unsigned relevant = mods & type->mods.mask;
  for (int i = 0; i < type->map_count; ++i) {
    const XkbKTMapEntryRec& entry = type->map[i];
    if (entry.active && entry.mods.mask == relevant) {
      return entry.level;
    }
  }
  return 0;
}

// The group of `key` that the active group `group` selects, after the key's
// rule for groups it does not have.
int EffectiveGroup(XkbDescPtr xkb, int key, int group, int groups) {
  if (group < groups) {
    return group;
  }
  unsigned char info = XkbKeyGroupInfo(xkb, key);
  switch (XkbOutOfRangeGroupAction(info)) {
    case XkbClampIntoRange:
      return groups - 1;
    case XkbRedirectIntoRange: {
      int target = XkbOutOfRangeGroupNumber(info);
      return target < groups ? target : 0;
    }
    default:
      return group % groups;
  }
}

KeySym SymbolAt(XkbDescPtr xkb, int key, int group, int level) {
  if (level >= XkbKeyGroupWidth(xkb, key, group)) {
    return NoSymbol;
  }
  return XkbKeySymEntry(xkb, key, level, group);
}

void FetchKeymap(Display* display) {
  keymap = Keymap();
  XkbDescPtr xkb = XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
  if (xkb == nullptr) {
    return;
  }
  XkbStateRec state{};
  XkbGetState(display, XkbUseCoreKbd, &state);
  int perKeycode = 0;
  KeySym* row = XGetKeyboardMapping(display, xkb->min_key_code, 1, &perKeycode);
  if (row != nullptr) {
    XFree(row);
  }
  keymap.connection = X11ConnectionNumber();
  keymap.minKeycode = xkb->min_key_code;
  keymap.maxKeycode = xkb->max_key_code;
  keymap.perKeycode = perKeycode;
  keymap.keys.resize(static_cast<size_t>(keymap.maxKeycode - keymap.minKeycode + 1));
  for (int key = keymap.minKeycode; key <= keymap.maxKeycode; ++key) {
    KeyLevels& levels = keymap.keys[static_cast<size_t>(key - keymap.minKeycode)];
    const KeySym* symbols = XkbKeySymsPtr(xkb, key);
    for (int i = 0; i < XkbKeyNumSyms(xkb, key); ++i) {
      if (symbols[i] != NoSymbol) {
        levels.all.push_back(symbols[i]);
      }
    }
    int groups = XkbKeyNumGroups(xkb, key);
    if (groups > 0) {
      int group = EffectiveGroup(xkb, key, state.group, groups);
      XkbKeyTypePtr type = XkbKeyKeyType(xkb, key, group);
      levels.plain = SymbolAt(xkb, key, group, LevelOf(type, 0));
      levels.shifted = SymbolAt(xkb, key, group, LevelOf(type, ShiftMask));
    }
  }
  XkbFreeKeyboard(xkb, 0, True);
}

const KeyLevels& LevelsOf(int keycode) {
  return keymap.keys[static_cast<size_t>(keycode - keymap.minKeycode)];
}

bool KeyIsUnbound(int keycode) { return LevelsOf(keycode).all.empty(); }

// The key that types `keysym` in the active group, and whether it needs
// Shift; a key without Shift preferred.
bool FindCharacterKey(KeySym keysym, int* keycode, int* level) {
  for (int wanted = 0; wanted < 2; ++wanted) {
    for (int code = keymap.minKeycode; code <= keymap.maxKeycode; ++code) {
      const KeyLevels& levels = LevelsOf(code);
      if ((wanted == 0 ? levels.plain : levels.shifted) == keysym) {
        *keycode = code;
        *level = wanted;
        return true;
      }
    }
  }
  return false;
}

// The key with `keysym` anywhere on it (named keys sit on one level).
bool FindNamedKey(KeySym keysym, int* keycode) {
  for (int code = keymap.minKeycode; code <= keymap.maxKeycode; ++code) {
    for (KeySym symbol : LevelsOf(code).all) {
      if (symbol == keysym) {
        *keycode = code;
        return true;
      }
    }
  }
  return false;
}

bool FindKey(uint8_t virtualKey, int* keycode) {
  KeySym keysym = KeysymOfCode(virtualKey);
  if (keysym == NoSymbol) {
    return false;
  }
  if (kCodeSpace.isCharacterCode[virtualKey]) {
    int level = 0;
    return FindCharacterKey(keysym, keycode, &level);
  }
  return FindNamedKey(keysym, keycode);
}

// Spare keycodes that this program has bound to a keysym. A binding is kept
// until the key has been idle for a while: an application reads the new
// keyboard map only when it gets to the key event, which may be after the
// event was injected, so undoing the binding at once could make it read the
// key without its symbol.
constexpr uint64_t kSpareHoldMilliseconds = 1000;

struct SpareKey {
  int keycode;
  KeySym keysym;  // NoSymbol: not bound
  uint64_t lastUse;
  uint64_t lastUnit;
  bool held;  // pressed and not yet released
};
std::vector<SpareKey> spareKeys;
uint32_t spareConnection = 0;
uint64_t unitNumber = 0;
bool xtestChecked = false;
bool xtestPresent = false;

uint64_t NowMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

// Binds `keysym` to both levels of the key's only group (NoSymbol: unbinds).
void BindKey(Display* display, int keycode, KeySym keysym) {
  if (keycode < keymap.minKeycode || keycode > keymap.maxKeycode || keymap.perKeycode <= 0) {
    return;
  }
  std::vector<KeySym> row(static_cast<size_t>(keymap.perKeycode), NoSymbol);
  for (int column = 0; column < keymap.perKeycode && column < 2; ++column) {
    row[column] = keysym;
  }
  XChangeKeyboardMapping(display, keycode, keymap.perKeycode, row.data(), 1);
  KeyLevels& levels = keymap.keys[static_cast<size_t>(keycode - keymap.minKeycode)];
  levels = KeyLevels();
  if (keysym != NoSymbol) {
    levels = KeyLevels{keysym, keysym, {keysym}};
  }
}

// Forgets the bindings of another connection, whose server may be another.
void CheckConnection() {
  if (spareConnection != X11ConnectionNumber()) {
    spareKeys.clear();
    spareConnection = X11ConnectionNumber();
    xtestChecked = false;
  }
}

// At the end of the program the spare keycodes still bound are given back, so
// that the desktop keeps the keyboard map it had; the last binding is still
// held its while, for the application that has yet to read its key.
void ReleaseSpareKeysAtExit() {
  Display* display = X11Connection();
  if (display == nullptr || spareConnection != X11ConnectionNumber() ||
      keymap.connection != X11ConnectionNumber()) {
    return;
  }
  uint64_t newest = 0;
  for (const SpareKey& spare : spareKeys) {
    if (spare.keysym != NoSymbol && spare.lastUse > newest) newest = spare.lastUse;
  }
  uint64_t now = NowMilliseconds();
  if (newest != 0 && now - newest < kSpareHoldMilliseconds) {
    uint64_t rest = kSpareHoldMilliseconds - (now - newest);
    timespec pause{static_cast<time_t>(rest / 1000), static_cast<long>(rest % 1000) * 1000000};
    nanosleep(&pause, nullptr);
  }
  for (SpareKey& spare : spareKeys) {
    if (spare.keysym == NoSymbol) continue;
    if (spare.held) XTestFakeKeyEvent(display, static_cast<unsigned>(spare.keycode), False, 0);
    BindKey(display, spare.keycode, NoSymbol);
    spare.keysym = NoSymbol;
  }
  XSync(display, False);
}

void ReleaseIdleSpareKeys(Display* display) {
  uint64_t now = NowMilliseconds();
  for (SpareKey& spare : spareKeys) {
    if (spare.keysym != NoSymbol && !spare.held && now - spare.lastUse >= kSpareHoldMilliseconds) {
      BindKey(display, spare.keycode, NoSymbol);
      spare.keysym = NoSymbol;
    }
  }
}

SpareKey* SpareKeyOf(int keycode) {
  for (SpareKey& spare : spareKeys) {
    if (spare.keycode == keycode) {
      return &spare;
    }
  }
  return nullptr;
}

// A spare keycode for `keysym`: one already bound to it, else a free one,
// else the one idle longest that the current unit does not use; null when
// there is none.
SpareKey* ChooseSpareKey(KeySym keysym) {
  SpareKey* choice = nullptr;
  for (SpareKey& spare : spareKeys) {
    if (spare.keysym == keysym) {
      return &spare;
    }
  }
  for (int code = keymap.minKeycode; code <= keymap.maxKeycode; ++code) {
    if (KeyIsUnbound(code)) {
      choice = SpareKeyOf(code);
      if (choice == nullptr) {
        spareKeys.push_back(SpareKey{code, NoSymbol, 0, 0, false});
        choice = &spareKeys.back();
      }
      return choice;
    }
  }
  for (SpareKey& spare : spareKeys) {
    if (!spare.held && spare.lastUnit != unitNumber &&
        (choice == nullptr || spare.lastUse < choice->lastUse)) {
      choice = &spare;
    }
  }
  return choice;
}

bool SpareKeyAvailable(KeySym keysym) { return ChooseSpareKey(keysym) != nullptr; }

bool XTestAvailable(Display* display) {
  if (!xtestChecked) {
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    xtestPresent = XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor) != 0;
    xtestChecked = true;
  }
  return xtestPresent;
}

// The key for a control character: as on Windows, Backspace, Tab, Return and
// Escape for their own characters, Ctrl+Return for a line feed, Ctrl+Backspace
// for DEL, and Ctrl with the character 0x40 above (in small letters) for the
// rest, so 0x01 is Ctrl+A.
bool MapControlCharacter(KeyboardLayout layout, unsigned char c, CharKey* key);

bool MapPrintableCharacter(unsigned char c, CharKey* key) {
  KeySym keysym = KeysymOfCharacter(c);
  int keycode = 0;
  int level = 0;
  if (!FindCharacterKey(keysym, &keycode, &level)) {
    if (!SpareKeyAvailable(keysym)) {
      return false;
    }
    level = 0;  // the spare key gives the character on both levels
  }
  key->virtualKey = kCodeSpace.codeOfCharacter[c];
  key->shiftState = level == 1 ? kShiftBit : 0;
  return true;
}

bool MapControlCharacter(KeyboardLayout layout, unsigned char c, CharKey* key) {
  switch (c) {
    case 0x08:
    case 0x09:
    case 0x0D:
    case 0x1B:
      *key = CharKey{c, 0};
      return true;
    case 0x0A:
      *key = CharKey{0x0D, kCtrlBit};
      return true;
    case 0x7F:
      *key = CharKey{0x08, kCtrlBit};
      return true;
    default:
      break;
  }
  unsigned char base = static_cast<unsigned char>(c + 0x40);
  if (base >= 'A' && base <= 'Z') {
    base = static_cast<unsigned char>(base - 'A' + 'a');
  }
  if (!MapCharacterToKey(layout, base, key)) {
    return false;
  }
  key->shiftState |= kCtrlBit;
  return true;
}

}  // namespace

KeyboardLayout CurrentKeyboardLayout() {
  Display* display = X11Connection();
  if (display == nullptr) {
    return 0;
  }
  CheckConnection();
  ++unitNumber;
  FetchKeymap(display);
  ReleaseIdleSpareKeys(display);
  return keymap.connection;
}

bool MapCharacterToKey(KeyboardLayout layout, unsigned char c, CharKey* key) {
  if (layout == 0 || layout != keymap.connection || X11Connection() == nullptr ||
      keymap.connection != X11ConnectionNumber()) {
    return false;
  }
  if (c < 0x20 || c == 0x7F) {
    return MapControlCharacter(layout, c, key);
  }
  if (!IsPrintable(c)) {
    return false;
  }
  return MapPrintableCharacter(c, key);
}

// X has no scan codes of its own: the keycode stands in for one (0 when the
// keyboard map has no key for the code).
uint16_t ScanCodeOfKey(uint8_t virtualKey) {
  int keycode = 0;
  if (X11Connection() == nullptr || keymap.connection != X11ConnectionNumber() ||
      !FindKey(virtualKey, &keycode)) {
    return 0;
  }
  return static_cast<uint16_t>(keycode);
}

void InjectKeyEvents(const std::vector<KeyEvent>& events) {
  if (events.empty()) {
    return;
  }
  Display* display = X11Connection();
  if (display == nullptr) {
    return;
  }
  CheckConnection();
  if (!XTestAvailable(display)) {
    return;
  }
  if (keymap.connection != X11ConnectionNumber()) {
    ++unitNumber;
    FetchKeymap(display);
  }
  if (keymap.keys.empty()) {
    return;  // the keyboard map could not be read: no key can be found
  }
  for (const KeyEvent& event : events) {
    int keycode = 0;
    SpareKey* spare = nullptr;
    if (FindKey(event.virtualKey, &keycode)) {
      spare = SpareKeyOf(keycode);
    } else {
      KeySym keysym = KeysymOfCode(event.virtualKey);
      if (keysym == NoSymbol) {
        continue;
      }
      spare = ChooseSpareKey(keysym);
      if (spare == nullptr) {
        continue;
      }
      static std::once_flag exitHandler;
      std::call_once(exitHandler, [] { std::atexit(ReleaseSpareKeysAtExit); });
      BindKey(display, spare->keycode, keysym);
      spare->keysym = keysym;
      keycode = spare->keycode;
    }
    if (spare != nullptr) {
      spare->lastUse = NowMilliseconds();
      spare->lastUnit = unitNumber;
      spare->held = !event.keyUp;
    }
    XTestFakeKeyEvent(display, static_cast<unsigned>(keycode), event.keyUp ? False : True,
                      CurrentTime);
  }
  XSync(display, False);
}

// The automation session with PowerPoint: the Application object, the ProgID
// it was found by, the references the last OPEN obtained, and whether an OPEN
// ever started a session. Used on the server thread only.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/automation.h"

// The members looked up by name on one object: name -> DISPID, or
// kUnknownMember for a name the object does not know. Kept as long as the
// object is, and forgotten with it.
using MemberIds = std::map<std::string, int32_t>;
constexpr int32_t kUnknownMember = -1;  // DISPID_UNKNOWN

// The members looked up by name on the objects below the presentation that
// the slide's details and pictures go through: one table per kind of object,
// since every object of a kind has the same members (a new Slide object costs
// no look-up). Kept with the view, forgotten with it.
struct PowerPointKindIds {
  MemberIds slide;              // Slide: SlideIndex, Shapes, NotesPage, SlideShowTransition, Export
  MemberIds notesPage;          // its NotesPage (a SlideRange): Shapes
  MemberIds shapes;             // Shapes: HasTitle, Title, Placeholders
  MemberIds placeholders;       // Placeholders: Count, Item
  MemberIds shape;              // a Shape: TextFrame, PlaceholderFormat
  MemberIds placeholderFormat;  // PlaceholderFormat: Type
  MemberIds textFrame;          // TextFrame: TextRange
  MemberIds textRange;          // TextRange: Text
  MemberIds transition;         // SlideShowTransition: Hidden
  MemberIds pageSetup;          // PageSetup: SlideWidth, SlideHeight
};

// Each reference field holds one counted reference of its own (or nullptr);
// storing into a field first releases what it held.
struct PowerPointSessionRecord {
  AutomationObject application = nullptr;        // replaced by every StartPowerPoint
  std::string progId;                            // the ProgID used to attach or create
  AutomationObject presentation = nullptr;       // from the last OPEN that got that far
  AutomationObject slideShowSettings = nullptr;  // that presentation's settings
  AutomationObject slideShowWindow = nullptr;    // its slide-show window
  AutomationObject slideShowView = nullptr;      // that window's view: NEXT and GOTO act on it
  // The Slides collection of the view's presentation, for the show's slide
  // count and its slides: obtained at the first use, kept with the view.
  AutomationObject slides = nullptr;
  MemberIds presentationIds, viewIds, slidesIds;  // of presentation, slideShowView, slides
  PowerPointKindIds kindIds;
  int32_t started = 0;  // set by every OPEN; the server thread then ends the session
};

extern PowerPointSessionRecord PowerPointSession;

// The ProgID by which PowerPoint is found.
constexpr const char* kPowerPointProgId = "Powerpoint.Application";

// The notice shown when PowerPoint can be neither attached to nor created.
constexpr const char* kPowerPointNoticeText =
    "Powerpoint could not be opened.\rPlease check that Powerpoint and VBA are installed.";

// Invokes the member `name` of `object`. Its DISPID is looked up by name at
// the first use and kept in `ids` (the published tables of these members'
// numbers disagree); the look-up and the call are made within one step of
// the busy rule, which began at `stepStart` (MonotonicMilliseconds).
// `arguments` and `result` as InvokeAutomationMember takes them. kFailed, and
// no call, for an empty reference or a name the object does not know.
AutomationOutcome InvokeMemberByName(uint64_t stepStart, AutomationObject object, MemberIds& ids,
                                     const char* name, AutomationKind kind,
                                     const AutomationValue* arguments, size_t argumentCount,
                                     AutomationValue* result);

// Attaches to a running PowerPoint or creates one and makes it visible; shows
// the system-modal notice when neither works. Writes progId and application.
void StartPowerPoint();

// Ends the session: member 2019 of the active presentation, Quit, and gives
// up every reference the session holds. Nothing is checked or reported.
void StopPowerPoint();

// Gives up every reference the session holds, and the members looked up on
// them (releases of objects that were given up make no call), as when PowerPoint is gone or stopped
// answering: NEXT and GOTO then reach nothing and StopPowerPoint makes no call, until the next OPEN
// attaches afresh. `started` stays as it is.
void DropPowerPointSession();

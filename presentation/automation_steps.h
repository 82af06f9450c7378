// How the session and the slide-show commands invoke PowerPoint's members.
// A run (StartPowerPoint, or one OPEN, NEXT or GOTO) has one failure
// indicator: clear when it begins, set by any step that fails, never cleared.
// A failed step raises and shows nothing; a step made on an empty reference
// fails in turn without reaching the object.
//
// A call that PowerPoint refuses as busy is made again by the busy rule
// (platform/automation_retry.h): after a short wait, for at most its bound
// in all per step. A step whose calls are still refused then fails like any
// other. A call that finds PowerPoint gone, or that gets no answer within the
// call bound, is not made again: the run has lost PowerPoint, its further
// steps fail without a call, and the session is to be dropped.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/automation.h"

struct AutomationRun {
  bool failed = false;
  bool lost = false;  // PowerPoint is gone or did not answer: no more calls in this run
};

// DISPIDs of PowerPoint's object model.
constexpr int32_t kDispIdPresentations = 2001;
constexpr int32_t kDispIdView = 2003;
constexpr int32_t kDispIdActivePresentation = 2004;
constexpr int32_t kDispIdOpen = 2005;
constexpr int32_t kDispIdRun = 2008;
constexpr int32_t kDispIdSlideShowSettings = 2015;
constexpr int32_t kDispIdNext =
    2019;  // on a view; on a presentation the member StopPowerPoint ends with
constexpr int32_t kDispIdQuit = 2021;       // on the application
constexpr int32_t kDispIdGotoSlide = 2021;  // on a view
constexpr int32_t kDispIdVisible = 2030;
constexpr int32_t kDispIdSlideShowWindow = 2047;

// Makes `call`, and again by the busy rule while it is refused as busy; the
// step it belongs to began at `stepStart` (MonotonicMilliseconds).
AutomationOutcome CallWhileBusy(uint64_t stepStart, const std::function<AutomationOutcome()>& call);

// Whether an outcome means that PowerPoint can no longer be reached.
inline bool LosesPowerPoint(AutomationOutcome outcome) {
  return outcome == AutomationOutcome::kGone || outcome == AutomationOutcome::kNoAnswer;
}

// Invokes one member; `argument` and `result` as InvokeAutomationMember takes
// them. False (and the indicator set) when the object is empty, the run has
// lost PowerPoint or the call fails.
bool InvokeStep(AutomationRun& run, AutomationObject object, int32_t dispId, AutomationKind kind,
                const AutomationValue* argument, AutomationValue* result);

// Reads the intermediate object of a chained call: as a property, and once
// more as a method when that read fails (both within one step's busy bound).
// Returns its reference (the caller
// releases it right after the call made on it), or nullptr with the indicator
// set when no object came back.
AutomationObject ReadIntermediate(AutomationRun& run, AutomationObject object, int32_t dispId);

// Releases what `field` holds and empties it.
void ReleaseReference(AutomationObject& field);

// Stores an object result in `field`: releases the old reference, then keeps
// the result's IDispatch (through QueryInterface) or nothing when the result
// is no object. The result's own reference is given up either way.
void StoreReference(AutomationRun& run, AutomationObject& field, AutomationValue& result);

// Gives up the reference an object result holds, if any.
void DiscardResult(AutomationValue& result);

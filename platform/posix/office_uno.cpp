// LibreOffice through its UNO API: the office back end's module,
// podiant-impress.so, which platform/posix/office_loader.cpp loads on the first
// OPEN. The UNO and SDK headers are used here and in the office's pipe
// (platform/posix/office_pipe.cpp), nowhere else.
//
// One connection at a time: the office's pipe, connected by this module
// (platform/posix/office_pipe.h), with a URP bridge on it made through the
// bridge factory (not the URL resolver), so that this side holds the pipe and
// can close it. Every call to the office is watched: when one takes longer
// than the bound given at connect, a watch thread closes the pipe, the call
// fails, and the connection counts as lost. No exception leaves the module.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <com/sun/star/animations/Event.hpp>
#include <com/sun/star/animations/EventTrigger.hpp>
#include <com/sun/star/animations/XAnimationNodeSupplier.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/document/XDocumentEventBroadcaster.hpp>
#include <com/sun/star/document/XDocumentEventListener.hpp>
#include <com/sun/star/document/XExporter.hpp>
#include <com/sun/star/document/XFilter.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/io/XOutputStream.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/presentation/EffectNodeType.hpp>
#include <com/sun/star/presentation/XPresentation2.hpp>
#include <com/sun/star/presentation/XPresentationPage.hpp>
#include <com/sun/star/presentation/XPresentationSupplier.hpp>
#include <com/sun/star/presentation/XSlideShowController.hpp>
#include <com/sun/star/presentation/XSlideShowListener.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionDisapprove.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/theMacroExpander.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/implbase1.hxx>
#include <cppuhelper/implbase2.hxx>
#include <rtl/bootstrap.hxx>
#include <rtl/ref.hxx>
#include <rtl/ustring.hxx>

#include "platform/posix/office_module.h"
#include "platform/posix/office_pipe.h"

#ifndef PODIANT_LIBREOFFICE_PROGRAM_DIR
#error "PODIANT_LIBREOFFICE_PROGRAM_DIR names LibreOffice's program directory"
#endif

namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;
using Clock = std::chrono::steady_clock;

namespace {

// The slide show takes a NEXT up a moment after the call has returned, and
// drops a step that reaches it while it is changing slides (right after it
// came up, after a GOTO, after a NEXT that changed the slide). NEXT and GOTO
// therefore wait until a change has settled, as the show's own events tell,
// and NEXT until the show has taken it up (begun an effect or a slide). The
// bounds keep an event that never comes (a step on the black end page) from
// holding the commands up for longer.
constexpr auto kFirstSlideBound = std::chrono::milliseconds(2000);
constexpr auto kSettleBound = std::chrono::milliseconds(1000);
constexpr auto kStepTakenBound = std::chrono::milliseconds(250);
constexpr auto kControllerPoll = std::chrono::milliseconds(20);

OUString FromUtf8(const char* text) {
  return OUString(text, static_cast<sal_Int32>(std::char_traits<char>::length(text)),
                  RTL_TEXTENCODING_UTF8);
}

// The UNO runtime of this process, bootstrapped once and kept to its end.
struct Runtime {
  Reference<css::uno::XComponentContext> context;
  Reference<css::bridge::XBridgeFactory2> bridges;
};
Runtime* serverThreadRuntime = nullptr;

// Closes the pipe of a call that has run out of time (shuts it down: the
// bridge's threads stop reading and writing, and the bridge ends).
class CallWatch {
 public:
  CallWatch() {
    std::thread([this] { Run(); }).detach();
  }

  void Arm(const Reference<css::connection::XConnection>& pipe, std::chrono::milliseconds bound) {
    std::lock_guard<std::mutex> guard(lock_);
    pipe_ = pipe;
    deadline_ = Clock::now() + bound;
    armed_ = true;
    fired_ = false;
    changed_.notify_all();
  }

  // True when the call ran out of time and its pipe was closed.
  bool Disarm() {
    std::lock_guard<std::mutex> guard(lock_);
    armed_ = false;
    pipe_.clear();
    return fired_;
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
      if (!armed_) {
        changed_.wait(lock);
      } else if (Clock::now() < deadline_) {
        changed_.wait_until(lock, deadline_);
      } else {
        Reference<css::connection::XConnection> pipe = pipe_;
        armed_ = false;
        fired_ = true;
        lock.unlock();
        try {
          pipe->close();
        } catch (...) {
        }
        lock.lock();
      }
    }
  }

  std::mutex lock_;
  std::condition_variable changed_;
  bool armed_ = false;
  bool fired_ = false;
  Clock::time_point deadline_;
  Reference<css::connection::XConnection> pipe_;
};
CallWatch* serverThreadWatch = nullptr;  // started with the runtime, kept to the end

// Learns that the bridge was disposed: the office went away or the pipe closed.
class BridgeListener : public cppu::WeakImplHelper1<css::lang::XEventListener> {
 public:
  void SAL_CALL disposing(const css::lang::EventObject&) override { disposed = true; }
  std::atomic<bool> disposed{false};
};

struct Connection {
  rtl::Reference<OfficePipe> pipe;
  Reference<css::lang::XComponent> bridge;
  rtl::Reference<BridgeListener> listener;
  Reference<css::uno::XComponentContext> office;
  Reference<css::frame::XDesktop2> desktop;
  std::chrono::milliseconds callBound{0};
};
Connection* serverThreadConnection = nullptr;

// Ends the connection. The bridge's dispose closes the pipe, which only shuts
// it down and so wakes the bridge's reader and writer whatever the office
// does, and joins them; the pipe's descriptor is closed after that, when no
// thread of the bridge can read or write on it any more.
void Disconnect() {
  if (serverThreadConnection == nullptr) return;
  Connection* ending = serverThreadConnection;
  serverThreadConnection = nullptr;
  bool threadsEnded = true;
  try {
    if (ending->bridge.is()) ending->bridge->dispose();
  } catch (...) {
    threadsEnded = false;  // the descriptor is closed with the pipe's last reference
  }
  if (threadsEnded) ending->pipe->Release();
  delete ending;
}

// Makes one call to the office under the watch; false when it failed. A call
// that ran out of time, or found the bridge gone, ends the connection.
template <typename Call>
bool Watched(Call call) {
  if (serverThreadConnection == nullptr) return false;
  serverThreadWatch->Arm(serverThreadConnection->pipe.get(), serverThreadConnection->callBound);
  bool done = false;
  try {
    call();
    done = true;
  } catch (...) {
  }
  bool timedOut = serverThreadWatch->Disarm();
  if (timedOut || serverThreadConnection->listener->disposed) Disconnect();
  return done;
}

// Answers every question of the office by cancelling it, so that no dialog
// waits on the desktop for someone to answer: a missing file, a file of no
// known type, a document in use, a repair, a password.
class CancellingHandler : public cppu::WeakImplHelper1<css::task::XInteractionHandler> {
 public:
  void SAL_CALL handle(const Reference<css::task::XInteractionRequest>& request) override {
    const auto continuations = request->getContinuations();
    for (const auto& continuation : continuations) {
      Reference<css::task::XInteractionAbort> abort(continuation, UNO_QUERY);
      if (abort.is()) {
        abort->select();
        return;
      }
    }
    for (const auto& continuation : continuations) {
      Reference<css::task::XInteractionDisapprove> disapprove(continuation, UNO_QUERY);
      if (disapprove.is()) {
        disapprove->select();
        return;
      }
    }
  }
};

// Follows a running show's events, and its document's: whether the show is
// changing slides, how often it has said so, whether it is on the end screen
// after its last slide, and how many events of any kind came (each one may
// have changed what the show shows). The office calls it on the bridge's
// threads, and also on the server thread from inside a call the server
// thread makes. It only takes notes: the show is read on the server thread,
// under the call watch (a call made from inside an event works, measured at
// 0.2-1.6 ms, but would not be watched, and would hold the office's event up).
class ShowListener : public cppu::WeakImplHelper2<css::presentation::XSlideShowListener,
                                                  css::document::XDocumentEventListener> {
 public:
  // Waits until the show is not changing slides, at most `bound`; after
  // that it counts as settled whatever it said.
  void WaitUntilSettled(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(lock_);
    changed_.wait_for(lock, bound, [this] { return !changing_ || ended_; });
    changing_ = false;
  }

  // Follows the effects that the NEXT about to be made begins. The show drops
  // a NEXT that reaches it while the slide's last effect still runs, and
  // until it has told that the slide's animations have ended (measured on
  // LibreOffice 7.4: nothing happens at all; a NEXT during an earlier effect
  // finishes it and begins the next one).
  void StartStep() {
    std::vector<Reference<css::animations::XAnimationNode>> dropped;
    std::lock_guard<std::mutex> guard(lock_);
    dropped.swap(stepEffects_);
    stepping_ = true;
  }

  // Waits, at most `bound`, until the show is not changing slides, the
  // effects that the last NEXT began have ended (an effect that repeats until
  // the next click never ends) and the slide's animations, if they ended
  // with them, have been told to have ended.
  void WaitUntilReadyForNext(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(lock_);
    changed_.wait_for(lock, bound,
                      [this] { return (!changing_ && stepEffects_.empty()) || ended_; });
    changing_ = false;
  }

  uint64_t Reports() {
    std::lock_guard<std::mutex> guard(lock_);
    return reports_;
  }

  // Waits until the show has said again whether it is changing slides.
  void WaitForReportAfter(uint64_t seen, std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(lock_);
    changed_.wait_for(lock, bound, [&] { return reports_ != seen || ended_; });
  }

  // Counts every event: a reading is stale once it has grown.
  uint64_t Events() {
    std::lock_guard<std::mutex> guard(lock_);
    return events_;
  }

  // The show paused right after its last slide ended forwards: the end
  // screen. (A pause alone says nothing: the office also pauses for a blank
  // screen, for its context menu, and when the show's window loses the focus.)
  bool OnEndScreen() {
    std::lock_guard<std::mutex> guard(lock_);
    return endScreen_;
  }

  // The document was closed.
  bool Ended() {
    std::lock_guard<std::mutex> guard(lock_);
    return ended_;
  }

  // The notes that the build position is followed by, kept once a reading
  // has asked for the slide's details: the animation nodes that began since
  // the show last displayed a slide. The show displays a slide (its
  // transition starts) when it changes slides, and again when a step back
  // within the slide redisplays it to skip its effects up to the click
  // before; the effects it skips begin then too, in their order (measured on
  // LibreOffice 7.4, also when a step back enters the previous slide with all
  // its effects shown). Each node is noted once.
  struct BuildNotes {
    uint64_t displays = 0;  // how often a slide was displayed
    std::vector<Reference<css::animations::XAnimationNode>> begun;  // since the last taking
    bool overflowed = false;  // more nodes began since the display than are kept
  };

  void FollowBuilds() {
    std::lock_guard<std::mutex> guard(lock_);
    followBuilds_ = true;
  }

  BuildNotes TakeBuildNotes() {
    std::lock_guard<std::mutex> guard(lock_);
    BuildNotes notes;
    notes.displays = displays_;
    notes.begun.swap(begun_);
    notes.overflowed = overflowed_;
    return notes;
  }

  // A new slide is being prepared. It is ready for a step when its animations
  // have ended (a slide without effects), or once its main sequence has
  // begun: the root of its effects begins first, and the main sequence, which
  // then waits for the first click, in the show's next round, the second node
  // to begin after the display (measured on LibreOffice 7.4; a NEXT that came
  // between the two was lost in the tests; the end of a slide transition
  // comes before both). A step that starts an effect begins it.
  void SAL_CALL slideTransitionStarted() override {
    std::vector<Reference<css::animations::XAnimationNode>> dropped[3];
    {
      std::lock_guard<std::mutex> guard(lock_);
      ++displays_;
      dropped[0].swap(begun_);
      overflowed_ = false;
      dropped[1].swap(displayNodes_);
      // A slide displayed: what begins now is the slide's, not a step's.
      dropped[2].swap(stepEffects_);
      stepping_ = false;
    }
    Report(kDisplays, Moved);
  }
  void SAL_CALL slideTransitionEnded() override { Report(kKeeps, Moved); }
  void SAL_CALL slideAnimationsEnded() override { Report(kSettles, Moved); }
  void SAL_CALL beginEvent(const Reference<css::animations::XAnimationNode>& node) override {
    NoteBegun(node);
    Report(kBegins, Moved);
  }
  void SAL_CALL endEvent(const Reference<css::animations::XAnimationNode>& node) override {
    Reference<css::animations::XAnimationNode> ended;
    std::lock_guard<std::mutex> guard(lock_);
    for (auto effect = stepEffects_.begin(); effect != stepEffects_.end(); ++effect) {
      if (effect->get() == node.get()) {
        ended = *effect;
        stepEffects_.erase(effect);
        changed_.notify_all();
        break;
      }
    }
    // The root or the main sequence ended: the slide's animations are ending,
    // which the show tells a moment later.
    for (const auto& first : displayNodes_) {
      if (first.get() == node.get()) changing_ = true;
    }
    NoteLocked(Kept);
  }
  void SAL_CALL repeat(const Reference<css::animations::XAnimationNode>&, sal_Int32) override {
    Note(Kept);
  }
  void SAL_CALL slideEnded(sal_Bool reverse) override { Note(reverse ? Moved : EndedForward); }
  void SAL_CALL paused() override { Note(Paused); }
  void SAL_CALL resumed() override { Note(Moved); }
  void SAL_CALL hyperLinkClicked(const OUString&) override { Note(Kept); }
  void SAL_CALL documentEventOccured(const css::document::DocumentEvent&) override { Note(Kept); }
  void SAL_CALL disposing(const css::lang::EventObject&) override {
    std::lock_guard<std::mutex> guard(lock_);
    ended_ = true;
    ++events_;
    changed_.notify_all();
  }

 private:
  // What an event means for the end screen.
  enum EndScreenNote { Kept, Moved, EndedForward, Paused };

  void Note(EndScreenNote note) {
    std::lock_guard<std::mutex> guard(lock_);
    NoteLocked(note);
  }

  void NoteLocked(EndScreenNote note) {
    ++events_;
    if (note == Kept) return;
    endScreen_ = note == Paused && endedForward_;
    endedForward_ = note == EndedForward;
  }

  void NoteBegun(const Reference<css::animations::XAnimationNode>& node) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!node.is()) return;
    if (displayed_ && displayNodes_.size() < 2) displayNodes_.push_back(node);
    if (stepping_ && stepEffects_.size() < kBegunNodesAtMost) stepEffects_.push_back(node);
    if (!followBuilds_) return;
    for (const auto& known : begun_) {
      if (known.get() == node.get()) return;
    }
    if (begun_.size() >= kBegunNodesAtMost) {
      overflowed_ = true;
    } else {
      begun_.push_back(node);
    }
  }

  // What an event that the show reports says about a slide change.
  enum Change { kDisplays, kBegins, kSettles, kKeeps };

  void Report(Change change, EndScreenNote note) {
    std::lock_guard<std::mutex> guard(lock_);
    NoteLocked(note);
    switch (change) {
      case kDisplays:
        changing_ = true;
        displayed_ = true;
        break;
      case kBegins:
        // Before the first display seen (the first slide, shown before the
        // listener came) any begin will do.
        if (!displayed_ || displayNodes_.size() >= 2) changing_ = false;
        break;
      case kSettles:
        changing_ = false;
        break;
      case kKeeps:
        break;
    }
    ++reports_;
    changed_.notify_all();
  }

  std::mutex lock_;
  std::condition_variable changed_;
  bool changing_ = true;    // from its start, the show prepares its first slide
  bool displayed_ = false;  // a slide was displayed since the listener came
  // The first two nodes that began after the show last displayed a slide:
  // the root of its effects and its main sequence.
  std::vector<Reference<css::animations::XAnimationNode>> displayNodes_;
  bool ended_ = false;
  uint64_t reports_ = 0;
  uint64_t events_ = 0;
  bool endedForward_ = false;
  bool endScreen_ = false;
  // A bound far beyond the animation nodes of any slide: the notes stay
  // bounded whatever the show does between two readings.
  static constexpr size_t kBegunNodesAtMost = 4096;
  bool stepping_ = false;
  std::vector<Reference<css::animations::XAnimationNode>> stepEffects_;  // begun, not ended
  bool followBuilds_ = false;
  uint64_t displays_ = 0;
  std::vector<Reference<css::animations::XAnimationNode>> begun_;
  bool overflowed_ = false;
};

void CloseDocument(const Reference<css::lang::XComponent>& document) {
  Watched([&] {
    Reference<css::util::XCloseable> closeable(document, UNO_QUERY);
    if (closeable.is()) {
      closeable->close(true);
    } else {
      document->dispose();
    }
  });
}

}  // namespace

struct OfficePresentationTag {
  Reference<css::lang::XComponent> document;
  Reference<css::presentation::XPresentation2> presentation;
  Reference<css::presentation::XSlideShowController> controller;
  rtl::Reference<ShowListener> listener;
  // What the show was last read as, the listener's count of events then, and
  // whether a step of this program came since (the reading is then stale too).
  OfficeShowReading reading{OfficeShowState::kRunning, -1, 0};
  uint64_t readAtEvent = 0;
  bool stale = true;
  bool ended = false;  // the show ended: the steps do nothing any more
  // The blank screen that this program's BLACK or WHITE put up (kRunning: none).
  OfficeShowState blank = OfficeShowState::kRunning;
  // The details of slide `detailsIndex` (-1: none read yet), when a reading
  // asks for them; with the children of that slide's main sequence and, for
  // each, the click steps up to and including it; and the listener's count
  // of displayed slides when the build position was last followed.
  int32_t detailsIndex = -1;
  bool detailsKnown = false;  // a slide's details were read
  bool detailsDue = false;    // a reading gave them as pending: the next one reads them
  OfficeSlideDetails details{};
  std::vector<Reference<css::animations::XAnimationNode>> steps{};
  std::vector<int32_t> clicksUpTo{};
  uint64_t displaysSeen = 0;
};

namespace {

bool Bootstrap() {
  if (serverThreadRuntime != nullptr) return true;
  try {
    // Set inside this process only: the office that it starts must not
    // inherit the variable.
    rtl::Bootstrap::set("URE_BOOTSTRAP",
                        "vnd.sun.star.pathname:" PODIANT_LIBREOFFICE_PROGRAM_DIR "/fundamentalrc");
    auto* started = new Runtime;
    started->context = cppu::defaultBootstrap_InitialComponentContext();
    started->bridges = css::bridge::BridgeFactory::create(started->context);
    serverThreadRuntime = started;
    serverThreadWatch = new CallWatch;
    return true;
  } catch (...) {
    return false;
  }
}

bool Connect(const char* pipeName, uint32_t callBoundMilliseconds) {
  Disconnect();
  if (serverThreadRuntime == nullptr) return false;
  rtl::Reference<OfficePipe> pipe = OfficePipe::Connect(pipeName);
  if (!pipe.is()) return false;  // nothing accepts on the pipe
  auto* made = new Connection;
  made->callBound = std::chrono::milliseconds(callBoundMilliseconds);
  made->pipe = pipe;
  made->listener = new BridgeListener;
  serverThreadConnection = made;
  Reference<css::uno::XComponentContext> office;
  Reference<css::frame::XDesktop2> desktop;
  bool connected = Watched([&] {
    Reference<css::bridge::XBridge> bridge =
        serverThreadRuntime->bridges->createBridge("", "urp", made->pipe.get(), nullptr);
    made->bridge.set(bridge, UNO_QUERY_THROW);
    made->bridge->addEventListener(Reference<css::lang::XEventListener>(made->listener.get()));
    office.set(bridge->getInstance("StarOffice.ComponentContext"), UNO_QUERY_THROW);
    desktop = css::frame::Desktop::create(office);
  });
  if (!connected || serverThreadConnection == nullptr) {
    Disconnect();
    return false;
  }
  serverThreadConnection->office = office;
  serverThreadConnection->desktop = desktop;
  return true;
}

bool Answers() {
  if (serverThreadConnection == nullptr || serverThreadConnection->listener->disposed) {
    Disconnect();
    return false;
  }
  if (Watched([] { serverThreadConnection->desktop->getCurrentFrame(); })) return true;
  Disconnect();
  return false;
}

// The office's bootstrap variables include its environment.
bool Carries(const char* mark) {
  OUString carried;
  Watched([&] {
    carried = css::util::theMacroExpander::get(serverThreadConnection->office)
                  ->expandMacros("${" + FromUtf8(kOfficeMarkVariable) + "}");
  });
  return carried == FromUtf8(mark);
}

bool Terminate() {
  bool terminated = false;
  Watched([&] { terminated = serverThreadConnection->desktop->terminate(); });
  return terminated;
}

OfficePresentation Load(const char* fileUrl) {
  Reference<css::lang::XComponent> document;
  Watched([&] {
    css::uno::Sequence<css::beans::PropertyValue> arguments(4);
    css::beans::PropertyValue* argument = arguments.getArray();
    argument[0].Name = "ReadOnly";
    argument[0].Value <<= true;
    argument[1].Name = "InteractionHandler";
    argument[1].Value <<= Reference<css::task::XInteractionHandler>(new CancellingHandler);
    argument[2].Name = "MacroExecutionMode";
    argument[2].Value <<= css::document::MacroExecMode::USE_CONFIG_REJECT_CONFIRMATION;
    argument[3].Name = "UpdateDocMode";
    argument[3].Value <<= css::document::UpdateDocMode::NO_UPDATE;
    document = serverThreadConnection->desktop->loadComponentFromURL(FromUtf8(fileUrl), "_blank", 0,
                                                                     arguments);
  });
  if (!document.is()) return nullptr;
  Reference<css::presentation::XPresentation2> presentation;
  Watched([&] {
    Reference<css::lang::XServiceInfo> info(document, UNO_QUERY);
    if (info.is() && info->supportsService("com.sun.star.presentation.PresentationDocument")) {
      Reference<css::presentation::XPresentationSupplier> supplier(document, UNO_QUERY_THROW);
      presentation.set(supplier->getPresentation(), UNO_QUERY_THROW);
    }
  });
  if (!presentation.is()) {
    CloseDocument(document);  // a text, a drawing, a spreadsheet
    return nullptr;
  }
  return new OfficePresentationTag{document, presentation, nullptr, nullptr};
}

bool StartShow(OfficePresentation presentation, uint32_t boundMilliseconds) {
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(boundMilliseconds);
  if (!Watched([&] { presentation->presentation->start(); })) return false;
  // The controller comes a moment after the start.
  Reference<css::presentation::XSlideShowController> controller;
  for (;;) {
    if (!Watched([&] { controller = presentation->presentation->getController(); })) return false;
    if (controller.is()) break;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kControllerPoll);
  }
  rtl::Reference<ShowListener> listener = new ShowListener;
  Watched([&] {
    controller->addSlideShowListener(
        Reference<css::presentation::XSlideShowListener>(listener.get()));
    // The show's end (END, Escape, the last step on the end screen) has no
    // event of the show's own: the document's events (its view closed) tell.
    Reference<css::document::XDocumentEventBroadcaster> events(presentation->document, UNO_QUERY);
    if (events.is()) {
      events->addDocumentEventListener(
          Reference<css::document::XDocumentEventListener>(listener.get()));
    }
  });
  presentation->controller = controller;
  presentation->listener = listener;
  listener->WaitUntilSettled(kFirstSlideBound);
  return true;
}

// Whether the show's steps may still reach it.
bool Steerable(OfficePresentation presentation) {
  return presentation->controller.is() && !presentation->ended && !presentation->listener->Ended();
}

void Advance(OfficePresentation presentation) {
  if (!Steerable(presentation)) return;
  presentation->stale = true;
  ShowListener& listener = *presentation->listener;
  listener.WaitUntilReadyForNext(kSettleBound);
  listener.StartStep();
  const uint64_t seen = listener.Reports();
  if (Watched([&] { presentation->controller->gotoNextEffect(); })) {
    listener.WaitForReportAfter(seen, kStepTakenBound);
  }
}

void GotoSlide(OfficePresentation presentation, int32_t slideIndex) {
  if (!Steerable(presentation)) return;
  presentation->stale = true;
  presentation->listener->WaitUntilSettled(kSettleBound);
  Watched([&] { presentation->controller->gotoSlideIndex(slideIndex); });
}

// A blank screen of the other colour is not changed by the office, and a
// paused show takes none: the show is resumed first. The end screen is black
// already and stays as it is.
void Blank(OfficePresentation presentation, OfficeShowState colour) {
  const Reference<css::presentation::XSlideShowController>& controller = presentation->controller;
  if (presentation->listener->OnEndScreen()) return;
  bool paused = false;
  if (!Watched([&] { paused = controller->isPaused(); })) return;
  if (paused && presentation->blank == colour) return;
  if (paused) Watched([&] { controller->resume(); });
  if (Watched([&] {
        controller->blankScreen(colour == OfficeShowState::kBlack ? 0x000000 : 0xFFFFFF);
      })) {
    presentation->blank = colour;
  }
}

void Step(OfficePresentation presentation, OfficeShowStep step) {
  if (!Steerable(presentation)) return;
  presentation->stale = true;
  ShowListener& listener = *presentation->listener;
  listener.WaitUntilSettled(kSettleBound);
  const Reference<css::presentation::XSlideShowController>& controller = presentation->controller;
  switch (step) {
    case OfficeShowStep::kPrevious: {
      // Taken up a moment after the call, as NEXT is.
      uint64_t seen = listener.Reports();
      if (Watched([&] { controller->gotoPreviousEffect(); })) {
        listener.WaitForReportAfter(seen, kStepTakenBound);
      }
      break;
    }
    case OfficeShowStep::kFirst:
      Watched([&] { controller->gotoFirstSlide(); });
      break;
    case OfficeShowStep::kLast:
      Watched([&] { controller->gotoLastSlide(); });
      break;
    case OfficeShowStep::kBlack:
      Blank(presentation, OfficeShowState::kBlack);
      break;
    case OfficeShowStep::kWhite:
      Blank(presentation, OfficeShowState::kWhite);
      break;
    case OfficeShowStep::kResume:
      // On the end screen the office would take the pause away and leave the
      // screen: the show is left as it is.
      if (!listener.OnEndScreen()) Watched([&] { controller->resume(); });
      break;
    case OfficeShowStep::kEnd:
      if (Watched([&] { presentation->presentation->end(); })) presentation->ended = true;
      break;
  }
}

std::string Utf8(const OUString& text) {
  rtl::OString utf8 = rtl::OUStringToOString(text, RTL_TEXTENCODING_UTF8);
  return std::string(utf8.getStr(), static_cast<size_t>(utf8.getLength()));
}

// The text of the page's first shape of `type` (a presentation placeholder's
// kind); empty when it has none, or when that shape holds no text.
OUString ShapeText(const Reference<css::drawing::XDrawPage>& page, const OUString& type) {
  const sal_Int32 count = page->getCount();
  for (sal_Int32 index = 0; index < count; ++index) {
    Reference<css::drawing::XShape> shape(page->getByIndex(index), UNO_QUERY);
    // Only the shape type tells the placeholders' kinds apart (a notes
    // placeholder's services do not name it); the IDL marks it deprecated.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!shape.is() || shape->getShapeType() != type) continue;
#pragma GCC diagnostic pop
    Reference<css::text::XTextRange> text(shape, UNO_QUERY);
    return text.is() ? text->getString() : OUString();
  }
  return OUString();
}

sal_Int16 EffectNodeType(const Reference<css::animations::XAnimationNode>& node) {
  sal_Int16 type = css::presentation::EffectNodeType::DEFAULT;
  const auto data = node->getUserData();
  for (const css::beans::NamedValue& value : data) {
    if (value.Name == "node-type") value.Value >>= type;
  }
  return type;
}

// The children of the page's main sequence (the effects that the show's
// steps play in turn) and, for each, how many of them up to it begin on a
// click ("next"); none for a page without animations.
void ReadMainSequence(const Reference<css::drawing::XDrawPage>& page,
                      std::vector<Reference<css::animations::XAnimationNode>>* steps,
                      std::vector<int32_t>* clicksUpTo) {
  Reference<css::animations::XAnimationNodeSupplier> supplier(page, UNO_QUERY);
  Reference<css::container::XEnumerationAccess> root(
      supplier.is() ? supplier->getAnimationNode() : nullptr, UNO_QUERY);
  if (!root.is()) return;
  const Reference<css::container::XEnumeration> sequences = root->createEnumeration();
  while (sequences->hasMoreElements()) {
    Reference<css::animations::XAnimationNode> sequence(sequences->nextElement(), UNO_QUERY);
    Reference<css::container::XEnumerationAccess> children(sequence, UNO_QUERY);
    if (!children.is() ||
        EffectNodeType(sequence) != css::presentation::EffectNodeType::MAIN_SEQUENCE) {
      continue;
    }
    const Reference<css::container::XEnumeration> effects = children->createEnumeration();
    int32_t clicks = 0;
    while (effects->hasMoreElements()) {
      Reference<css::animations::XAnimationNode> step(effects->nextElement(), UNO_QUERY);
      if (!step.is()) continue;
      css::animations::Event begin;
      if ((step->getBegin() >>= begin) && begin.Trigger == css::animations::EventTrigger::ON_NEXT) {
        ++clicks;
      }
      steps->push_back(step);
      clicksUpTo->push_back(clicks);
    }
    return;
  }
}

// Reads the slide's own details: its title, notes and click steps, the slide
// that the show goes on to after it (the show's own answer, which skips
// hidden slides) and that slide's title. What cannot be read is left empty,
// or -1, and is read again at the next reading of the show after an event.
void ReadSlideDetails(OfficePresentation presentation, int32_t index) {
  static const OUString kTitle("com.sun.star.presentation.TitleTextShape");
  static const OUString kNotes("com.sun.star.presentation.NotesShape");
  const Reference<css::presentation::XSlideShowController>& controller = presentation->controller;
  OfficeSlideDetails details{};
  details.buildCount = -1;
  std::vector<Reference<css::animations::XAnimationNode>> steps{};
  std::vector<int32_t> clicksUpTo{};
  Reference<css::drawing::XDrawPage> page;
  bool whole = Watched([&] { page = controller->getSlideByIndex(index); }) && page.is();
  if (page.is()) {
    whole = Watched([&] { details.title = Utf8(ShapeText(page, kTitle)); }) && whole;
    whole = Watched([&] {
              Reference<css::presentation::XPresentationPage> notes(page, UNO_QUERY_THROW);
              details.notes = Utf8(ShapeText(notes->getNotesPage(), kNotes));
            }) &&
            whole;
    bool clicks = Watched([&] { ReadMainSequence(page, &steps, &clicksUpTo); });
    if (clicks) details.buildCount = clicksUpTo.empty() ? 0 : clicksUpTo.back();
    whole = clicks && whole;
  }
  whole = Watched([&] {
            details.nextSlideIndex = std::max(controller->getNextSlideIndex(), sal_Int32{-1});
            if (details.nextSlideIndex >= 0) {
              details.nextTitle =
                  Utf8(ShapeText(controller->getSlideByIndex(details.nextSlideIndex), kTitle));
            }
          }) &&
          whole;
  presentation->detailsIndex = whole ? index : -1;
  presentation->details = std::move(details);
  presentation->steps = std::move(steps);
  presentation->clicksUpTo = std::move(clicksUpTo);
}

// Reads the show when it is stale; true when it was read now.
bool ReadState(OfficePresentation presentation, OfficeShowReading* reading) {
  if (serverThreadConnection == nullptr || serverThreadConnection->listener->disposed) {
    *reading = OfficeShowReading{};  // the office went away
    return false;
  }
  if (!presentation->controller.is()) {
    *reading = OfficeShowReading{OfficeShowState::kEnded, -1, 0};
    return false;
  }
  ShowListener& listener = *presentation->listener;
  const uint64_t events = listener.Events();
  if (!presentation->stale && events == presentation->readAtEvent) {
    *reading = presentation->reading;
    return false;
  }
  // A failed call is not made again before the next event: the last reading
  // stands meanwhile.
  presentation->stale = false;
  presentation->readAtEvent = events;
  const Reference<css::presentation::XSlideShowController>& controller = presentation->controller;
  bool running = false;
  bool paused = false;
  int32_t index = -1;
  int32_t count = 0;
  bool read = Watched([&] {
    // A closed document takes its show with it.
    running = !presentation->ended && !listener.Ended() && controller->isRunning();
    if (!running) return;
    index = controller->getCurrentSlideIndex();
    count = controller->getSlideCount();
    paused = controller->isPaused();
  });
  if (!read) {
    *reading = serverThreadConnection == nullptr ? OfficeShowReading{} : presentation->reading;
    return false;
  }
  OfficeShowReading& last = presentation->reading;
  if (!running) {
    presentation->ended = true;
    last.state = OfficeShowState::kEnded;  // on the slide it was last read on
  } else {
    if (!paused) presentation->blank = OfficeShowState::kRunning;
    last.state = !paused                  ? OfficeShowState::kRunning
                 : listener.OnEndScreen() ? OfficeShowState::kEnded
                                          : presentation->blank;
    last.slideIndex = index;
    last.slideCount = count;
  }
  *reading = last;
  return running;
}

// The current slide's details after a reading of the show: its own read anew
// when the show was read now and is on another slide than they were read for
// (a reading later, when there are details to give meanwhile); the build
// position from the listener's notes. False when they are pending.
bool FollowSlide(OfficePresentation presentation, bool read) {
  ShowListener& listener = *presentation->listener;
  listener.FollowBuilds();
  const int32_t index = presentation->reading.slideIndex;
  const bool moved = index >= 0 && index != presentation->detailsIndex;
  if (moved && read && presentation->detailsKnown && !presentation->detailsDue) {
    presentation->detailsDue = true;
    return false;
  }
  const bool newSlide = moved && (read || presentation->detailsDue);
  presentation->detailsDue = false;
  if (newSlide) {
    ReadSlideDetails(presentation, index);
    presentation->detailsKnown = true;
  }
  ShowListener::BuildNotes notes = listener.TakeBuildNotes();
  OfficeSlideDetails& details = presentation->details;
  if (newSlide || notes.displays != presentation->displaysSeen) {
    details.buildPosition = 0;
    presentation->displaysSeen = notes.displays;
  }
  // The proxies of the nodes are the bridge's one proxy per node (the steps
  // are held, so theirs stay the same): the same node, the same pointer.
  for (const auto& node : notes.begun) {
    for (size_t step = 0; step < presentation->steps.size(); ++step) {
      if (presentation->steps[step].get() == node.get()) {
        details.buildPosition = std::max(details.buildPosition, presentation->clicksUpTo[step]);
      }
    }
  }
  if (notes.overflowed || details.buildCount < 0) details.buildPosition = -1;
  return true;
}

void Read(OfficePresentation presentation, OfficeShowReading* reading,
          OfficeSlideDetails* details) {
  bool read = ReadState(presentation, reading);
  if (details == nullptr) return;
  bool followed = true;
  if (reading->state != OfficeShowState::kGone && presentation->listener.is()) {
    followed = FollowSlide(presentation, read);
  }
  *details = presentation->details;
  details->pending = !followed;
}

// Receives the picture that the graphic export writes, on the bridge's
// threads, during the filter's call.
class PictureStream : public cppu::WeakImplHelper1<css::io::XOutputStream> {
 public:
  void SAL_CALL writeBytes(const css::uno::Sequence<sal_Int8>& data) override {
    std::lock_guard<std::mutex> guard(lock_);
    if (bytes_.size() + static_cast<size_t>(data.getLength()) > kPictureBytesAtMost) {
      tooLong_ = true;
      return;
    }
    bytes_.append(reinterpret_cast<const char*>(data.getConstArray()),
                  static_cast<size_t>(data.getLength()));
  }
  void SAL_CALL flush() override {}
  void SAL_CALL closeOutput() override {}

  // The picture, when it is a whole PNG.
  bool Take(std::string* png) {
    std::lock_guard<std::mutex> guard(lock_);
    static const char kSignature[] = "\x89PNG\r\n\x1a\n";
    if (tooLong_ || bytes_.compare(0, sizeof kSignature - 1, kSignature) != 0) return false;
    png->swap(bytes_);
    return true;
  }

 private:
  static constexpr size_t kPictureBytesAtMost = 64 * 1024 * 1024;
  std::mutex lock_;
  std::string bytes_;
  bool tooLong_ = false;
};

OfficeSlideExport ExportSlide(OfficePresentation presentation, int32_t slideIndex,
                              int32_t pixelWidth, std::string* png) {
  if (serverThreadConnection == nullptr || serverThreadConnection->listener->disposed ||
      (presentation->listener.is() && presentation->listener->Ended())) {
    return OfficeSlideExport::kGone;
  }
  Reference<css::drawing::XDrawPage> page;
  sal_Int32 width = 0;
  sal_Int32 height = 0;
  bool found = Watched([&] {
    Reference<css::drawing::XDrawPagesSupplier> supplier(presentation->document, UNO_QUERY_THROW);
    Reference<css::drawing::XDrawPages> pages = supplier->getDrawPages();
    if (slideIndex < 0 || slideIndex >= pages->getCount()) return;
    page.set(pages->getByIndex(slideIndex), UNO_QUERY_THROW);
    Reference<css::beans::XPropertySet> properties(page, UNO_QUERY_THROW);
    properties->getPropertyValue("Width") >>= width;
    properties->getPropertyValue("Height") >>= height;
  });
  if (!found)
    return serverThreadConnection == nullptr ? OfficeSlideExport::kGone
                                             : OfficeSlideExport::kFailed;
  if (!page.is()) return OfficeSlideExport::kNoSlide;
  if (width <= 0 || height <= 0 || pixelWidth <= 0) return OfficeSlideExport::kFailed;
  const auto pixelHeight = static_cast<sal_Int32>(
      std::max<int64_t>(1, (int64_t{pixelWidth} * height + width / 2) / width));
  rtl::Reference<PictureStream> stream = new PictureStream;
  bool written = false;
  bool exported = Watched([&] {
    Reference<css::document::XExporter> exporter(
        serverThreadConnection->office->getServiceManager()->createInstanceWithContext(
            "com.sun.star.drawing.GraphicExportFilter", serverThreadConnection->office),
        UNO_QUERY_THROW);
    exporter->setSourceDocument(Reference<css::lang::XComponent>(page, UNO_QUERY_THROW));
    css::uno::Sequence<css::beans::PropertyValue> size(2);
    size.getArray()[0].Name = "PixelWidth";
    size.getArray()[0].Value <<= sal_Int32{pixelWidth};
    size.getArray()[1].Name = "PixelHeight";
    size.getArray()[1].Value <<= pixelHeight;
    css::uno::Sequence<css::beans::PropertyValue> arguments(3);
    css::beans::PropertyValue* argument = arguments.getArray();
    argument[0].Name = "MediaType";
    argument[0].Value <<= OUString("image/png");
    argument[1].Name = "OutputStream";
    argument[1].Value <<= Reference<css::io::XOutputStream>(stream.get());
    argument[2].Name = "FilterData";
    argument[2].Value <<= size;
    written = Reference<css::document::XFilter>(exporter, UNO_QUERY_THROW)->filter(arguments);
  });
  if (!exported) {
    return serverThreadConnection == nullptr ? OfficeSlideExport::kGone
                                             : OfficeSlideExport::kFailed;
  }
  return written && stream->Take(png) ? OfficeSlideExport::kDone : OfficeSlideExport::kFailed;
}

void Close(OfficePresentation presentation) {
  Watched([&] {
    if (presentation->presentation->isRunning()) presentation->presentation->end();
  });
  CloseDocument(presentation->document);
}

void Release(OfficePresentation presentation) { delete presentation; }

const OfficeModuleTable kTable = {
    kOfficeModuleVersion,
    Bootstrap,
    Connect,
    Answers,
    Carries,
    Disconnect,
    Terminate,
    Load,
    StartShow,
    Advance,
    GotoSlide,
    Step,
    Read,
    ExportSlide,
    Close,
    Release,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const OfficeModuleTable* PodiantOfficeModule() {
  return &kTable;
}

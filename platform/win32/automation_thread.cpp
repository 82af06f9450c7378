#include "platform/win32/automation_thread.h"

#include <objbase.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "platform/automation_retry.h"

namespace {

// Refused calls are tried again by the busy rule (Windows asks the filter
// before the refusal reaches the caller; Wine never does). Calls coming in are
// handled (the thread serves no objects of its own), and messages that arrive
// during a call are handled the default way.
class BusyMessageFilter final : public IMessageFilter {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMessageFilter)) {
      *object = static_cast<IMessageFilter*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // a static object
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP_(DWORD) HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
    return SERVERCALL_ISHANDLED;
  }
  STDMETHODIMP_(DWORD) RetryRejectedCall(HTASK, DWORD elapsed, DWORD) override {
    int32_t delay = BusyRetryDelay(elapsed);
    return delay < 0 ? static_cast<DWORD>(-1) : static_cast<DWORD>(delay);
  }
  STDMETHODIMP_(DWORD) MessagePending(HTASK, DWORD, DWORD) override {
    return PENDINGMSG_WAITDEFPROCESS;
  }
};

BusyMessageFilter messageFilter;

struct Call {
  std::function<void(uint64_t)> work;
  HANDLE finished = nullptr;  // manual reset, set when `work` has returned
  ~Call() {
    if (finished != nullptr) CloseHandle(finished);
  }
};

// What the calling thread and one automation thread share; each holds it.
struct Apartment {
  uint64_t number = 0;
  HANDLE wake = nullptr;  // auto reset: a call is waiting, the end was asked for or it was given up
  std::mutex lock;
  std::shared_ptr<Call> next;  // under `lock`
  bool ending = false;         // under `lock`
  std::atomic<bool> givenUp{false};
  ~Apartment() {
    if (wake != nullptr) CloseHandle(wake);
  }
};

// The calling thread's own.
std::shared_ptr<Apartment> live;
HANDLE liveThread = nullptr;
uint64_t lastNumber = 0;

void HandleWaitingMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

DWORD WINAPI AutomationThread(void* parameter) {
  std::shared_ptr<Apartment> apartment = *static_cast<std::shared_ptr<Apartment>*>(parameter);
  delete static_cast<std::shared_ptr<Apartment>*>(parameter);
  HRESULT initialised = CoInitialize(nullptr);
  CoRegisterMessageFilter(&messageFilter, nullptr);
  for (;;) {
    DWORD woke = MsgWaitForMultipleObjects(1, &apartment->wake, FALSE, INFINITE, QS_ALLINPUT);
    // Given up: everything this apartment holds is left as it is.
    if (apartment->givenUp) return 0;
    if (woke == WAIT_OBJECT_0 + 1) {
      HandleWaitingMessages();
      continue;
    }
    std::shared_ptr<Call> call;
    {
      std::lock_guard<std::mutex> guard(apartment->lock);
      if (apartment->ending) break;
      call = std::move(apartment->next);
    }
    if (call == nullptr) continue;
    call->work(apartment->number);
    SetEvent(call->finished);
  }
  CoRegisterMessageFilter(nullptr, nullptr);
  if (SUCCEEDED(initialised)) CoUninitialize();
  return 0;
}

bool StartAutomationThread() {
  auto apartment = std::make_shared<Apartment>();
  apartment->number = ++lastNumber;
  apartment->wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (apartment->wake == nullptr) return false;
  auto* parameter = new std::shared_ptr<Apartment>(apartment);
  HANDLE thread = CreateThread(nullptr, 0, AutomationThread, parameter, 0, nullptr);
  if (thread == nullptr) {
    delete parameter;
    return false;
  }
  live = apartment;
  liveThread = thread;
  return true;
}

// The live thread is let go: it gets no more calls and ends by itself.
void LetGoOfLiveThread(bool givingUp) {
  if (givingUp) {
    live->givenUp = true;
    SetEvent(live->wake);
  }
  CloseHandle(liveThread);
  liveThread = nullptr;
  live.reset();
}

}  // namespace

uint64_t LiveAutomationApartment() { return live != nullptr ? live->number : 0; }

AutomationOutcome RunOnAutomationThread(std::function<void(uint64_t apartment)> work) {
  if (live == nullptr && !StartAutomationThread()) return AutomationOutcome::kFailed;
  auto call = std::make_shared<Call>();
  call->work = std::move(work);
  call->finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (call->finished == nullptr) return AutomationOutcome::kFailed;
  {
    std::lock_guard<std::mutex> guard(live->lock);
    live->next = call;
  }
  SetEvent(live->wake);
  if (WaitForSingleObject(call->finished, kAutomationCallBoundMilliseconds) == WAIT_OBJECT_0) {
    return AutomationOutcome::kDone;
  }
  LetGoOfLiveThread(true);
  return AutomationOutcome::kNoAnswer;
}

void EndAutomationThread() {
  if (live == nullptr) return;
  {
    std::lock_guard<std::mutex> guard(live->lock);
    live->ending = true;
  }
  SetEvent(live->wake);
  bool ended = WaitForSingleObject(liveThread, kAutomationCallBoundMilliseconds) == WAIT_OBJECT_0;
  LetGoOfLiveThread(!ended);
}

// The automation object operations over real COM, each carried out on the
// automation thread (automation_thread.cpp) within the call bound.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation.h"
#include "platform/win32/automation_thread.h"

// One counted reference, held in the apartment of one automation thread.
struct AutomationObjectTag {
  IUnknown* unknown;
  uint64_t apartment;
};

namespace {

static_assert(sizeof(CLSID) == sizeof(AutomationClassId::bytes));

CLSID ToClsid(const AutomationClassId& classId) {
  CLSID clsid;
  std::memcpy(&clsid, classId.bytes, sizeof clsid);
  return clsid;
}

// Only references of the live apartment are used; those of an apartment that
// was given up are never touched again.
bool Reachable(AutomationObject object) { return object->apartment == LiveAutomationApartment(); }

AutomationOutcome OutcomeOf(HRESULT hr) {
  if (SUCCEEDED(hr)) return AutomationOutcome::kDone;
  switch (hr) {
    case RPC_E_CALL_REJECTED:
    case RPC_E_SERVERCALL_RETRYLATER:
      return AutomationOutcome::kBusy;
    case RPC_E_DISCONNECTED:
    case RPC_E_SERVER_DIED:
    case RPC_E_SERVER_DIED_DNE:
    case HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE):
    case HRESULT_FROM_WIN32(RPC_S_CALL_FAILED):
    case HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE):
      return AutomationOutcome::kGone;
    default:
      return AutomationOutcome::kFailed;
  }
}

// Runs `work(state, apartment)` on the automation thread; `state` is shared
// with it, so that a call given up can still finish into it.
template <typename State, typename Work>
AutomationOutcome RunWith(const std::shared_ptr<State>& state, Work work) {
  return RunOnAutomationThread([state, work](uint64_t apartment) { work(*state, apartment); });
}

std::wstring WideFrom(UINT codePage, const std::string& text) {
  if (text.empty()) return std::wstring();
  int length =
      MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::wstring WideFromAnsi(const std::string& text) { return WideFrom(CP_ACP, text); }

// Every character, a zero among them; a lone surrogate becomes U+FFFD.
std::string NarrowFrom(UINT codePage, const wchar_t* wide, size_t count) {
  if (wide == nullptr || count == 0) return std::string();
  int length =
      WideCharToMultiByte(codePage, 0, wide, static_cast<int>(count), nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(codePage, 0, wide, static_cast<int>(count), text.data(), length, nullptr,
                      nullptr);
  return text;
}

std::string AnsiFromWide(const wchar_t* wide, size_t count) {
  return NarrowFrom(CP_ACP, wide, count);
}

// The argument as a VARIANT the caller clears; false for a type that is not
// passed. An object argument is `object`, the reference it stands for.
bool VariantFromValue(const AutomationValue& value, IUnknown* object, VARIANT* variant) {
  VariantInit(variant);
  switch (value.type) {
    case AutomationValueType::kText:
    case AutomationValueType::kUtf8Text: {
      std::wstring wide =
          WideFrom(value.type == AutomationValueType::kText ? CP_ACP : CP_UTF8, value.text);
      variant->vt = VT_BSTR;
      variant->bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
      return variant->bstrVal != nullptr;
    }
    case AutomationValueType::kNumber:
      variant->vt = VT_R8;
      variant->dblVal = value.number;
      return true;
    case AutomationValueType::kObject:
      variant->vt = VT_DISPATCH;
      variant->pdispVal = static_cast<IDispatch*>(object);
      if (variant->pdispVal != nullptr) variant->pdispVal->AddRef();
      return true;
    case AutomationValueType::kEmpty:
      return true;
    case AutomationValueType::kOther:
      return false;
  }
  return false;
}

// Takes the result over: an object keeps its reference in `value` (held in
// `apartment`), everything else is converted and the VARIANT is cleared.
void ValueFromVariant(VARIANT* variant, uint64_t apartment, AutomationValue* value) {
  *value = AutomationValue();
  switch (variant->vt) {
    case VT_EMPTY:
      break;
    case VT_BSTR:
      value->type = AutomationValueType::kUtf8Text;
      value->text = NarrowFrom(CP_UTF8, variant->bstrVal, SysStringLen(variant->bstrVal));
      break;
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
      if (SUCCEEDED(VariantChangeType(variant, variant, 0, VT_R8))) {
        value->type = AutomationValueType::kNumber;
        value->number = variant->dblVal;
      } else {
        value->type = AutomationValueType::kOther;
      }
      break;
    case VT_DISPATCH:
      if (variant->pdispVal != nullptr) {
        value->type = AutomationValueType::kObject;
        value->object = new AutomationObjectTag{variant->pdispVal, apartment};
        variant->vt = VT_EMPTY;  // the reference moved to `value`
        variant->pdispVal = nullptr;
      } else {
        value->type = AutomationValueType::kOther;
      }
      break;
    default:
      value->type = AutomationValueType::kOther;
      break;
  }
  VariantClear(variant);
}

}  // namespace

bool ClassIdFromProgId(const std::string& progId, AutomationClassId* classId) {
  struct Lookup {
    std::wstring progId;
    CLSID clsid{};
    HRESULT hr = E_FAIL;
  };
  auto lookup = std::make_shared<Lookup>();
  lookup->progId = WideFromAnsi(progId);
  AutomationOutcome ran = RunWith(
      lookup, [](Lookup& l, uint64_t) { l.hr = CLSIDFromProgID(l.progId.c_str(), &l.clsid); });
  if (ran != AutomationOutcome::kDone || FAILED(lookup->hr)) return false;
  std::memcpy(classId->bytes, &lookup->clsid, sizeof lookup->clsid);
  return true;
}

bool ProgIdFromClassId(const AutomationClassId& classId, std::string* progId) {
  struct Lookup {
    CLSID clsid;
    std::string progId;
    bool found = false;
  };
  auto lookup = std::make_shared<Lookup>();
  lookup->clsid = ToClsid(classId);
  AutomationOutcome ran = RunWith(lookup, [](Lookup& l, uint64_t) {
    LPOLESTR wide = nullptr;
    if (FAILED(ProgIDFromCLSID(l.clsid, &wide)) || wide == nullptr) return;
    l.progId = AnsiFromWide(wide, wcslen(wide));
    l.found = true;
    CoTaskMemFree(wide);
  });
  if (ran != AutomationOutcome::kDone || !lookup->found) return false;
  *progId = lookup->progId;
  return true;
}

namespace {

// A call that gives an object: `target` (or the class) in, `found` out.
struct Obtaining {
  CLSID clsid{};
  IUnknown* target = nullptr;
  IUnknown* found = nullptr;
  uint64_t apartment = 0;
  HRESULT hr = E_FAIL;
};

template <typename Work>
AutomationOutcome Obtain(const std::shared_ptr<Obtaining>& state, Work work,
                         AutomationObject* object) {
  *object = nullptr;
  AutomationOutcome ran = RunWith(state, [work](Obtaining& o, uint64_t apartment) {
    o.apartment = apartment;
    o.hr = work(o);
  });
  if (ran != AutomationOutcome::kDone) return ran;
  if (SUCCEEDED(state->hr) && state->found == nullptr) return AutomationOutcome::kFailed;
  if (FAILED(state->hr)) return OutcomeOf(state->hr);
  *object = new AutomationObjectTag{state->found, state->apartment};
  return AutomationOutcome::kDone;
}

}  // namespace

AutomationOutcome GetActiveAutomationObject(const AutomationClassId& classId,
                                            AutomationObject* object) {
  auto state = std::make_shared<Obtaining>();
  state->clsid = ToClsid(classId);
  return Obtain(
      state, [](Obtaining& o) { return GetActiveObject(o.clsid, nullptr, &o.found); }, object);
}

AutomationOutcome CreateAutomationObject(const AutomationClassId& classId,
                                         AutomationObject* object) {
  auto state = std::make_shared<Obtaining>();
  state->clsid = ToClsid(classId);
  return Obtain(
      state,
      [](Obtaining& o) {
        void* dispatch = nullptr;
        HRESULT hr = CoCreateInstance(o.clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                      IID_IDispatch, &dispatch);
        if (SUCCEEDED(hr)) o.found = static_cast<IDispatch*>(dispatch);
        return hr;
      },
      object);
}

AutomationOutcome QueryDispatchInterface(AutomationObject object, AutomationObject* dispatch) {
  *dispatch = nullptr;
  if (object == nullptr) return AutomationOutcome::kFailed;
  if (!Reachable(object)) return AutomationOutcome::kGone;
  auto state = std::make_shared<Obtaining>();
  state->target = object->unknown;
  return Obtain(
      state,
      [](Obtaining& o) {
        void* found = nullptr;
        HRESULT hr = o.target->QueryInterface(IID_IDispatch, &found);
        if (SUCCEEDED(hr)) o.found = static_cast<IDispatch*>(found);
        return hr;
      },
      dispatch);
}

AutomationOutcome InvokeAutomationMember(AutomationObject object, int32_t dispId,
                                         AutomationKind kind, const AutomationValue* arguments,
                                         size_t argumentCount, AutomationValue* result) {
  if (result != nullptr) *result = AutomationValue();
  if (object == nullptr) return AutomationOutcome::kFailed;
  if (!Reachable(object)) return AutomationOutcome::kGone;
  for (size_t i = 0; i < argumentCount; ++i) {
    const AutomationValue& argument = arguments[i];
    if (argument.type == AutomationValueType::kObject && argument.object != nullptr &&
        !Reachable(argument.object)) {
      return AutomationOutcome::kGone;
    }
  }

  struct Invocation {
    IDispatch* target = nullptr;
    DISPID dispId = 0;
    WORD kind = 0;
    std::vector<AutomationValue> arguments;  // without their object references
    std::vector<IUnknown*> argumentObjects;  // the object each stands for, or nullptr
    bool wantsResult = false;
    AutomationValue result;
    HRESULT hr = E_FAIL;
  };
  auto call = std::make_shared<Invocation>();
  call->target = static_cast<IDispatch*>(object->unknown);
  call->dispId = static_cast<DISPID>(dispId);
  call->kind = static_cast<WORD>(kind);
  for (size_t i = 0; i < argumentCount; ++i) {
    const AutomationValue& argument = arguments[i];
    call->arguments.push_back(argument);
    call->arguments.back().object = nullptr;
    call->argumentObjects.push_back(argument.type == AutomationValueType::kObject &&
                                            argument.object != nullptr
                                        ? argument.object->unknown
                                        : nullptr);
  }
  call->wantsResult = result != nullptr;

  AutomationOutcome ran = RunWith(call, [](Invocation& c, uint64_t apartment) {
    // IDispatch takes the arguments last first.
    const size_t count = c.arguments.size();
    std::vector<VARIANT> variants(count);
    for (VARIANT& variant : variants) VariantInit(&variant);
    auto clear = [&] {
      for (VARIANT& variant : variants) VariantClear(&variant);
    };
    for (size_t i = 0; i < count; ++i) {
      if (!VariantFromValue(c.arguments[i], c.argumentObjects[i], &variants[count - 1 - i])) {
        clear();
        c.hr = E_INVALIDARG;
        return;
      }
    }
    DISPID namedPut = DISPID_PROPERTYPUT;
    DISPPARAMS parameters = {};
    parameters.rgvarg = count > 0 ? variants.data() : nullptr;
    parameters.cArgs = static_cast<UINT>(count);
    if (c.kind == DISPATCH_PROPERTYPUT) {
      parameters.rgdispidNamedArgs = &namedPut;
      parameters.cNamedArgs = 1;
    }

    VARIANT resultVariant;
    VariantInit(&resultVariant);
    EXCEPINFO exception = {};
    UINT argumentError = 0;
    c.hr = c.target->Invoke(c.dispId, IID_NULL, LOCALE_SYSTEM_DEFAULT, c.kind, &parameters,
                            c.wantsResult ? &resultVariant : nullptr, &exception, &argumentError);
    clear();
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    if (c.wantsResult && SUCCEEDED(c.hr)) {
      ValueFromVariant(&resultVariant, apartment, &c.result);
    } else {
      VariantClear(&resultVariant);
    }
  });
  if (ran != AutomationOutcome::kDone) return ran;
  if (result != nullptr) *result = call->result;
  return OutcomeOf(call->hr);
}

AutomationOutcome LookUpMemberId(AutomationObject object, const std::string& name,
                                 int32_t* dispId) {
  *dispId = 0;
  if (object == nullptr) return AutomationOutcome::kFailed;
  if (!Reachable(object)) return AutomationOutcome::kGone;
  struct Lookup {
    IDispatch* target = nullptr;
    std::wstring name;
    DISPID dispId = DISPID_UNKNOWN;
    HRESULT hr = E_FAIL;
  };
  auto lookup = std::make_shared<Lookup>();
  lookup->target = static_cast<IDispatch*>(object->unknown);
  lookup->name = WideFromAnsi(name);
  AutomationOutcome ran = RunWith(lookup, [](Lookup& l, uint64_t) {
    LPOLESTR names[] = {l.name.data()};
    l.hr = l.target->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &l.dispId);
  });
  if (ran != AutomationOutcome::kDone) return ran;
  if (SUCCEEDED(lookup->hr)) *dispId = static_cast<int32_t>(lookup->dispId);
  return OutcomeOf(lookup->hr);
}

void ReleaseAutomationObject(AutomationObject object) {
  if (object == nullptr) return;
  if (Reachable(object)) {
    IUnknown* unknown = object->unknown;
    RunOnAutomationThread([unknown](uint64_t) { unknown->Release(); });
  }
  delete object;
}

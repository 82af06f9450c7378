// The automation object operations over real COM.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/automation.h"

namespace {

static_assert(sizeof(CLSID) == sizeof(AutomationClassId::bytes));

CLSID ToClsid(const AutomationClassId& classId) {
  CLSID clsid;
  std::memcpy(&clsid, classId.bytes, sizeof clsid);
  return clsid;
}

IUnknown* ToUnknown(AutomationObject object) { return reinterpret_cast<IUnknown*>(object); }
IDispatch* ToDispatch(AutomationObject object) { return reinterpret_cast<IDispatch*>(object); }
AutomationObject FromUnknown(IUnknown* unknown) {
  return reinterpret_cast<AutomationObject>(unknown);
}

std::wstring WideFromAnsi(const std::string& text) {
  if (text.empty()) return std::wstring();
  int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string AnsiFromWide(const wchar_t* wide, size_t count) {
  if (wide == nullptr || count == 0) return std::string();
  int length =
      WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(count), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(count), text.data(), length, nullptr,
                      nullptr);
  return text;
}

// The argument as a VARIANT the caller clears; false for a type that is not
// passed.
bool VariantFromValue(const AutomationValue& value, VARIANT* variant) {
  VariantInit(variant);
  switch (value.type) {
    case AutomationValueType::kText: {
      std::wstring wide = WideFromAnsi(value.text);
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
      variant->pdispVal = ToDispatch(value.object);
      if (variant->pdispVal != nullptr) variant->pdispVal->AddRef();
      return true;
    case AutomationValueType::kEmpty:
      return true;
    case AutomationValueType::kOther:
      return false;
  }
  return false;
}

// Takes the result over: an object keeps its reference in `value`, everything
// else is converted and the VARIANT is cleared.
void ValueFromVariant(VARIANT* variant, AutomationValue* value) {
  *value = AutomationValue();
  switch (variant->vt) {
    case VT_EMPTY:
      break;
    case VT_BSTR:
      value->type = AutomationValueType::kText;
      value->text = AnsiFromWide(variant->bstrVal, SysStringLen(variant->bstrVal));
      break;
    case VT_R8:
      value->type = AutomationValueType::kNumber;
      value->number = variant->dblVal;
      break;
    case VT_DISPATCH:
      if (variant->pdispVal != nullptr) {
        value->type = AutomationValueType::kObject;
        value->object = FromUnknown(variant->pdispVal);
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
  std::wstring wide = WideFromAnsi(progId);
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(wide.c_str(), &clsid))) return false;
  std::memcpy(classId->bytes, &clsid, sizeof clsid);
  return true;
}

bool ProgIdFromClassId(const AutomationClassId& classId, std::string* progId) {
  CLSID clsid = ToClsid(classId);
  LPOLESTR wide = nullptr;
  if (FAILED(ProgIDFromCLSID(clsid, &wide)) || wide == nullptr) return false;
  *progId = AnsiFromWide(wide, wcslen(wide));
  CoTaskMemFree(wide);
  return true;
}

AutomationObject GetActiveAutomationObject(const AutomationClassId& classId) {
  CLSID clsid = ToClsid(classId);
  IUnknown* unknown = nullptr;
  if (FAILED(GetActiveObject(clsid, nullptr, &unknown))) return nullptr;
  return FromUnknown(unknown);
}

AutomationObject CreateAutomationObject(const AutomationClassId& classId) {
  CLSID clsid = ToClsid(classId);
  void* dispatch = nullptr;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                              IID_IDispatch, &dispatch))) {
    return nullptr;
  }
  return FromUnknown(static_cast<IUnknown*>(static_cast<IDispatch*>(dispatch)));
}

AutomationObject QueryDispatchInterface(AutomationObject object) {
  if (object == nullptr) return nullptr;
  void* dispatch = nullptr;
  if (FAILED(ToUnknown(object)->QueryInterface(IID_IDispatch, &dispatch))) return nullptr;
  return FromUnknown(static_cast<IUnknown*>(static_cast<IDispatch*>(dispatch)));
}

bool InvokeAutomationMember(AutomationObject object, int32_t dispId, AutomationKind kind,
                            const AutomationValue* argument, AutomationValue* result) {
  if (result != nullptr) *result = AutomationValue();
  if (object == nullptr) return false;

  VARIANT argumentVariant;
  VariantInit(&argumentVariant);
  DISPID namedPut = DISPID_PROPERTYPUT;
  DISPPARAMS parameters = {};
  if (argument != nullptr) {
    if (!VariantFromValue(*argument, &argumentVariant)) {
      VariantClear(&argumentVariant);
      return false;
    }
    parameters.rgvarg = &argumentVariant;
    parameters.cArgs = 1;
  }
  if (kind == AutomationKind::kPropertyWrite) {
    parameters.rgdispidNamedArgs = &namedPut;
    parameters.cNamedArgs = 1;
  }

  VARIANT resultVariant;
  VariantInit(&resultVariant);
  EXCEPINFO exception = {};
  UINT argumentError = 0;
  HRESULT hr = ToDispatch(object)->Invoke(
      static_cast<DISPID>(dispId), IID_NULL, LOCALE_SYSTEM_DEFAULT, static_cast<WORD>(kind),
      &parameters, result != nullptr ? &resultVariant : nullptr, &exception, &argumentError);
  VariantClear(&argumentVariant);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);

  if (result != nullptr) {
    if (SUCCEEDED(hr)) {
      ValueFromVariant(&resultVariant, result);
    } else {
      VariantClear(&resultVariant);
    }
  }
  return SUCCEEDED(hr);
}

void ReleaseAutomationObject(AutomationObject object) {
  if (object != nullptr) ToUnknown(object)->Release();
}

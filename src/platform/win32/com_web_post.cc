#include "platform/win32/com_web_post.h"

#include <objbase.h>

#include <cstddef>
#include <utility>

#include "platform/win32/automation.h"

namespace sccevtmon {
namespace {

// IDispatch::Invoke reads DISPPARAMS and the VARIANTs of the arguments as the component's
// compiler laid them out; the shipped build is i686, which these machines never run.
#ifndef _WIN64
static_assert(sizeof(VARIANT) == 16 && sizeof(DISPPARAMS) == 16 && sizeof(BSTR) == 4);
static_assert(offsetof(VARIANT, bstrVal) == 8 && offsetof(VARIANT, pbstrVal) == 8);
#else
static_assert(sizeof(VARIANT) == 24 && sizeof(DISPPARAMS) == 24 && sizeof(BSTR) == 8);
static_assert(offsetof(VARIANT, bstrVal) == 8 && offsetof(VARIANT, pbstrVal) == 8);
#endif
static_assert(sizeof(VARIANT_BOOL) == 2 && VARIANT_TRUE == -1);

// The run-time error of a failed Invoke; an exception the component raised carries its own
// number and description.
Status invokeError(HRESULT hr, EXCEPINFO& exception) {
  if (hr != DISP_E_EXCEPTION) return automationError(hr);
  if (exception.pfnDeferredFillIn != nullptr) exception.pfnDeferredFillIn(&exception);
  Bstr description;
  *description.address() = exception.bstrDescription;
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrHelpFile);
  Status status = exception.scode != 0   ? automationError(exception.scode)
                  : exception.wCode != 0 ? runtimeError(exception.wCode)
                                         : automationError(E_FAIL);
  std::string text = oneLine(description.ansi());
  if (!text.empty()) status.description = text;
  return status;
}

class ComWebPostObject : public WebPostObject {
 public:
  explicit ComWebPostObject(IDispatch* dispatch) : dispatch_(dispatch) {}
  ~ComWebPostObject() override { dispatch_->Release(); }
  ComWebPostObject(const ComWebPostObject&) = delete;
  ComWebPostObject& operator=(const ComWebPostObject&) = delete;

  Status postXmlString(PostXmlCall& call, bool* result) override {
    *result = false;
    // The name is looked up at each call, as late binding does.
    OLECHAR name[] = L"PostXMLString";
    LPOLESTR names[] = {name};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return automationError(hr);

    Bstr xml(call.xml);
    Bstr url(call.url);
    Bstr user(call.user);
    Bstr password(call.password);
    Bstr answer(call.answer);
    Bstr error1(call.error1);
    Bstr error2(call.error2);
    Bstr error3(call.error3);
    // A text variable of the caller is never null: an empty one is an empty BSTR.
    for (Bstr* text : {&xml, &url, &answer, &error1, &error2, &error3}) {
      if (text->get() == nullptr) *text->address() = SysAllocString(L"");
    }

    // Invoke takes the arguments last first.
    VARIANTARG args[9];
    auto byReference = [](VARIANTARG& arg, Bstr& text) {
      VariantInit(&arg);
      V_VT(&arg) = VT_BSTR | VT_BYREF;
      V_BSTRREF(&arg) = text.address();
    };
    auto byValue = [](VARIANTARG& arg, Bstr& text) {
      VariantInit(&arg);
      V_VT(&arg) = VT_BSTR;
      V_BSTR(&arg) = text.get();
    };
    byReference(args[8], xml);
    VariantInit(&args[7]);
    V_VT(&args[7]) = VT_BOOL;
    V_BOOL(&args[7]) = call.flag ? VARIANT_TRUE : VARIANT_FALSE;
    byReference(args[6], url);
    byValue(args[5], user);
    byValue(args[4], password);
    byReference(args[3], answer);
    byReference(args[2], error1);
    byReference(args[1], error2);
    byReference(args[0], error3);
    DISPPARAMS parameters{args, nullptr, 9, 0};

    VARIANT returned;
    VariantInit(&returned);
    EXCEPINFO exception{};
    UINT badArgument = 0;
    // A call whose value is used: method or property get, as the runtime asks.
    hr =
        dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                          &parameters, &returned, &exception, &badArgument);
    // The by-reference texts are ours again, whatever the component put into them.
    call.answer = answer.ansi();
    call.error1 = error1.ansi();
    call.error2 = error2.ansi();
    call.error3 = error3.ansi();
    if (FAILED(hr)) {
      VariantClear(&returned);
      return invokeError(hr, exception);
    }
    Status s = variantBool(returned, result);
    VariantClear(&returned);
    return s;
  }

 private:
  IDispatch* dispatch_;
};

}  // namespace

Status ComWebPost::create(std::unique_ptr<WebPostObject>* object) {
  if (Status s = initialiseCom(); !s.ok()) return s;
  CLSID clsid;
  std::wstring progId = ansiToWide(progId_);
  HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
  if (FAILED(hr)) return automationError(hr);
  IDispatch* dispatch = nullptr;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch,
                        reinterpret_cast<void**>(&dispatch));
  if (FAILED(hr)) return automationError(hr);
  *object = std::make_unique<ComWebPostObject>(dispatch);
  return Status::success();
}

}  // namespace sccevtmon

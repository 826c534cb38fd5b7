// A stand-in for the agent's web-post component, for the Windows tests only (never shipped):
// an in-process COM server registered by regsvr32 (DllRegisterServer) under the agent's ProgID
// "qWbPost.WebPost", whose IDispatch (written by hand, no type library) has the one method
// the monitor calls:
//
//   PostXMLString(xml, flag, url, user, password, answer, error1, error2, error3) As Boolean
//
// It posts the XML with WinHTTP and answers as the portable build's CurlWebPost does: true
// only for an HTTP 2xx answer; answer (6) receives the body, of which the first 64 KiB are
// kept; 7 the transport's error text (empty when the exchange completed); 8 the HTTP status
// line; 9 the first 200 bytes of the body. Only http:// and https:// URLs are attempted. No
// proxy and no redirect is followed (the tests talk to 127.0.0.1).
//
// For the registration test only: when SCCEVTMON_TEST_WEBPOST_PROGID is set in the
// environment of regsvr32, DllRegisterServer registers that ProgID with a second class ID
// instead, so that a test can watch an unregistered component being registered without
// touching the registration the other tests use.
#include <windows.h>
// After <windows.h>, whose types they use:
#include <oleauto.h>
#include <olectl.h>
#include <winhttp.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

namespace {

// {6AF773B3-D4FB-4B3E-A1BD-7EFFAB245785}: the class registered under "qWbPost.WebPost".
const CLSID kWebPostClass = {
    0x6af773b3, 0xd4fb, 0x4b3e, {0xa1, 0xbd, 0x7e, 0xff, 0xab, 0x24, 0x57, 0x85}};
// {91A0CF7B-BEAD-46C1-A5AE-A52D8BD6B6D3}: the same class under the registration test's ProgID.
const CLSID kRegistrationTestClass = {
    0x91a0cf7b, 0xbead, 0x46c1, {0xa5, 0xae, 0xa5, 0x2d, 0x8b, 0xd6, 0xb6, 0xd3}};
const wchar_t kProgId[] = L"qWbPost.WebPost";
const wchar_t kDescription[] = L"sccevtmon test stand-in for qWbPost.WebPost";
const DISPID kPostXmlString = 1;
const std::size_t kAnswerKeptBytes = 64 * 1024;
const std::size_t kAnswerHeadBytes = 200;

HINSTANCE module = nullptr;
LONG liveObjects = 0;
LONG serverLocks = 0;

// ---- texts -------------------------------------------------------------------------------

std::string toAnsi(const std::wstring& wide) {
  if (wide.empty()) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                              "?", nullptr);
  std::string ansi(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), ansi.data(), n, "?",
                      nullptr);
  return ansi;
}

std::wstring fromAnsi(const std::string& ansi) {
  if (ansi.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), n);
  return wide;
}

// A string argument's text (by value or by reference); false when it is not a text.
bool argumentText(const VARIANT& value, std::wstring* text) {
  VARIANT copy;
  VariantInit(&copy);
  bool ok = SUCCEEDED(VariantCopyInd(&copy, const_cast<VARIANT*>(&value))) &&
            SUCCEEDED(VariantChangeType(&copy, &copy, 0, VT_BSTR));
  if (ok && V_BSTR(&copy) != nullptr) text->assign(V_BSTR(&copy), SysStringLen(V_BSTR(&copy)));
  VariantClear(&copy);
  return ok;
}

// Replaces the text a by-reference string argument refers to.
void setOutput(VARIANT& argument, const std::string& ansi) {
  std::wstring wide = fromAnsi(ansi);
  SysFreeString(*V_BSTRREF(&argument));
  *V_BSTRREF(&argument) = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

// "FUNCTION failed: CODE text" for a WinHTTP or system error.
std::string failure(const char* function, DWORD code) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                               FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           GetModuleHandleW(L"winhttp.dll"), code, 0,
                           reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::wstring message = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
  if (text != nullptr) LocalFree(text);
  while (!message.empty() &&
         (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
    message.pop_back();
  }
  return std::string(function) + " failed: " + std::to_string(code) +
         (message.empty() ? "" : " " + toAnsi(message));
}

// ---- the post ----------------------------------------------------------------------------

struct Outcome {
  bool posted = false;
  std::string body;        // at most kAnswerKeptBytes
  std::string error;       // the transport's error text
  std::string statusLine;  // "HTTP/1.1 200 OK"
};

class Internet {
 public:
  explicit Internet(HINTERNET h) : h_(h) {}
  ~Internet() {
    if (h_ != nullptr) WinHttpCloseHandle(h_);
  }
  HINTERNET get() const { return h_; }

 private:
  HINTERNET h_;
};

bool startsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() &&
         CompareStringOrdinal(text.data(), static_cast<int>(prefix.size()), prefix.data(),
                              static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

Outcome post(const std::string& xml, const std::wstring& url) {
  Outcome out;
  bool http = url.size() > 7 && startsWithNoCase(url, L"http://");
  bool https = url.size() > 8 && startsWithNoCase(url, L"https://");
  if (!http && !https) {
    out.error =
        url.empty() ? "No URL to post to" : "Not an http:// or https:// URL: " + toAnsi(url);
    return out;
  }
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
    out.error = failure("WinHttpCrackUrl", GetLastError());
    return out;
  }
  std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring target = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                        std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (target.empty()) target = L"/";

  Internet session(WinHttpOpen(L"sccevtmon-test-webpost", WINHTTP_ACCESS_TYPE_NO_PROXY,
                               WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (session.get() == nullptr) {
    out.error = failure("WinHttpOpen", GetLastError());
    return out;
  }
  // The portable component's time-outs: 30 s to connect, 120 s for the exchange.
  WinHttpSetTimeouts(session.get(), 30'000, 30'000, 120'000, 120'000);
  Internet connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
  if (connection.get() == nullptr) {
    out.error = failure("WinHttpConnect", GetLastError());
    return out;
  }
  Internet request(
      WinHttpOpenRequest(connection.get(), L"POST", target.c_str(), nullptr, WINHTTP_NO_REFERER,
                         WINHTTP_DEFAULT_ACCEPT_TYPES,
                         parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
  if (request.get() == nullptr) {
    out.error = failure("WinHttpOpenRequest", GetLastError());
    return out;
  }
  DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects);
  const wchar_t headers[] = L"Content-Type: text/xml\r\n";
  if (!WinHttpSendRequest(request.get(), headers, static_cast<DWORD>(-1),
                          const_cast<char*>(xml.data()), static_cast<DWORD>(xml.size()),
                          static_cast<DWORD>(xml.size()), 0)) {
    out.error = failure("WinHttpSendRequest", GetLastError());
    return out;
  }
  if (!WinHttpReceiveResponse(request.get(), nullptr)) {
    out.error = failure("WinHttpReceiveResponse", GetLastError());
    return out;
  }

  DWORD status = 0;
  DWORD size = sizeof status;
  WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                      WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
  size = 0;
  WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                      nullptr, &size, WINHTTP_NO_HEADER_INDEX);
  if (size > 0) {
    std::vector<wchar_t> raw(size / sizeof(wchar_t) + 1);
    if (WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF,
                            WINHTTP_HEADER_NAME_BY_INDEX, raw.data(), &size,
                            WINHTTP_NO_HEADER_INDEX)) {
      std::wstring all(raw.data(), size / sizeof(wchar_t));
      out.statusLine = toAnsi(all.substr(0, all.find_first_of(L"\r\n")));
    }
  }

  // The body: the start kept, the rest read and dropped.
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request.get(), &available)) {
      out.error = failure("WinHttpQueryDataAvailable", GetLastError());
      return out;
    }
    if (available == 0) break;
    std::vector<char> chunk(available);
    DWORD read = 0;
    if (!WinHttpReadData(request.get(), chunk.data(), available, &read)) {
      out.error = failure("WinHttpReadData", GetLastError());
      return out;
    }
    if (read == 0) break;
    if (out.body.size() < kAnswerKeptBytes) {
      out.body.append(chunk.data(),
                      std::min<std::size_t>(read, kAnswerKeptBytes - out.body.size()));
    }
  }
  out.posted = status >= 200 && status <= 299;
  return out;
}

// ---- the COM object ----------------------------------------------------------------------

class WebPost : public IDispatch {
 public:
  WebPost() { InterlockedIncrement(&liveObjects); }
  virtual ~WebPost() { InterlockedDecrement(&liveObjects); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
    HRESULT result = S_OK;
    for (UINT i = 0; i < count; ++i) {
      bool known =
          i == 0 && CompareStringOrdinal(names[0], -1, L"PostXMLString", -1, TRUE) == CSTR_EQUAL;
      ids[i] = known ? kPostXmlString : DISPID_UNKNOWN;
      if (!known) result = DISP_E_UNKNOWNNAME;
    }
    return result;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO*, UINT* badArgument) override {
    if (id != kPostXmlString) return DISP_E_MEMBERNOTFOUND;
    if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
    if (parameters == nullptr) return E_INVALIDARG;
    if (parameters->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (parameters->cArgs != 9) return DISP_E_BADPARAMCOUNT;
    // Argument n (1 to 9) stands at rgvarg[9 - n].
    auto argument = [&](int n) -> VARIANT& { return parameters->rgvarg[9 - n]; };
    std::wstring xml;
    std::wstring url;
    for (int n : {1, 3}) {
      if (!argumentText(argument(n), n == 1 ? &xml : &url)) {
        if (badArgument != nullptr) *badArgument = static_cast<UINT>(9 - n);
        return DISP_E_TYPEMISMATCH;
      }
    }
    for (int n = 6; n <= 9; ++n) {
      if (V_VT(&argument(n)) != (VT_BSTR | VT_BYREF)) {
        if (badArgument != nullptr) *badArgument = static_cast<UINT>(9 - n);
        return DISP_E_TYPEMISMATCH;
      }
    }

    Outcome out = post(toAnsi(xml), url);
    setOutput(argument(6), out.body);
    setOutput(argument(7), out.error);
    setOutput(argument(8), out.statusLine);
    setOutput(argument(9), out.body.substr(0, kAnswerHeadBytes));
    if (result != nullptr) {
      VariantInit(result);
      V_VT(result) = VT_BOOL;
      V_BOOL(result) = out.posted ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
  }

 private:
  LONG references_ = 1;
};

class Factory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // One static factory: counting its references would keep the server loaded.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    WebPost* created = new (std::nothrow) WebPost;
    if (created == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = created->QueryInterface(iid, object);
    created->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      InterlockedIncrement(&serverLocks);
    } else {
      InterlockedDecrement(&serverLocks);
    }
    return S_OK;
  }
};

Factory factory;

// ---- registration ------------------------------------------------------------------------

std::wstring guidText(const CLSID& clsid) {
  wchar_t text[40];
  StringFromGUID2(clsid, text, 40);
  return text;
}

// The ProgID and class this registration is for (see the file's comment).
void registration(std::wstring* progId, CLSID* clsid) {
  wchar_t name[256];
  DWORD n = GetEnvironmentVariableW(L"SCCEVTMON_TEST_WEBPOST_PROGID", name, 256);
  if (n > 0 && n < 256) {
    *progId = name;
    *clsid = kRegistrationTestClass;
  } else {
    *progId = kProgId;
    *clsid = kWebPostClass;
  }
}

bool setValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  LONG result =
      RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
  return result == ERROR_SUCCESS;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI
    DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, kWebPostClass) && !IsEqualCLSID(clsid, kRegistrationTestClass)) {
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  return factory.QueryInterface(iid, object);
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllCanUnloadNow() {
  return liveObjects == 0 && serverLocks == 0 ? S_OK : S_FALSE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return SELFREG_E_CLASS;
  std::wstring progId;
  CLSID clsid;
  registration(&progId, &clsid);
  const std::wstring classKey = L"CLSID\\" + guidText(clsid);
  bool ok = setValue(progId, nullptr, kDescription) &&
            setValue(progId + L"\\CLSID", nullptr, guidText(clsid)) &&
            setValue(classKey, nullptr, kDescription) &&
            setValue(classKey + L"\\InprocServer32", nullptr, path) &&
            setValue(classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
            setValue(classKey + L"\\ProgID", nullptr, progId);
  return ok ? S_OK : SELFREG_E_CLASS;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
  std::wstring progId;
  CLSID clsid;
  registration(&progId, &clsid);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, progId.c_str());
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + guidText(clsid)).c_str());
  RegDeleteKeyW(HKEY_CLASSES_ROOT, progId.c_str());
  RegDeleteKeyW(HKEY_CLASSES_ROOT, (L"CLSID\\" + guidText(clsid)).c_str());
  return S_OK;
}

#include "platform/win32/wevt_api.h"

#include <windows.h>
#include <winevt.h>

#include <algorithm>

#include "platform/win32/error.h"

namespace sccevtmon {
namespace {

EVT_HANDLE toEvt(WevtHandle h) { return reinterpret_cast<EVT_HANDLE>(h); }
WevtHandle fromEvt(EVT_HANDLE h) { return reinterpret_cast<WevtHandle>(h); }

// The failure of a call that left code. A function that fails without setting an error code
// (wine's stubs do) still fails.
Status failure(DWORD code) {
  return win32Error(code == ERROR_SUCCESS ? ERROR_CALL_NOT_IMPLEMENTED : code);
}

Status lastError() { return failure(GetLastError()); }

// Closes a handle when it goes out of scope.
class ScopedEvt {
 public:
  explicit ScopedEvt(EVT_HANDLE h) : h_(h) {}
  ~ScopedEvt() {
    if (h_ != nullptr) EvtClose(h_);
  }
  ScopedEvt(const ScopedEvt&) = delete;
  ScopedEvt& operator=(const ScopedEvt&) = delete;
  EVT_HANDLE get() const { return h_; }

 private:
  EVT_HANDLE h_;
};

class SystemWevtApi : public WevtApi {
 public:
  Status recordCount(const std::wstring& channel, std::uint64_t* count) override {
    ScopedEvt log(EvtOpenLog(nullptr, channel.c_str(), EvtOpenChannelPath));
    if (log.get() == nullptr) return lastError();
    EVT_VARIANT value{};
    DWORD used = 0;
    if (!EvtGetLogInfo(log.get(), EvtLogNumberOfLogRecords, sizeof value, &value, &used)) {
      return lastError();
    }
    *count = value.Type == EvtVarTypeNull ? 0 : value.UInt64Val;
    return Status::success();
  }

  Status query(const std::wstring& channel, const std::wstring& xpath,
               WevtHandle* results) override {
    EVT_HANDLE h = EvtQuery(nullptr, channel.c_str(), xpath.c_str(),
                            EvtQueryChannelPath | EvtQueryForwardDirection);
    if (h == nullptr) return lastError();
    *results = fromEvt(h);
    return Status::success();
  }

  Status next(WevtHandle results, std::size_t max, std::vector<WevtHandle>* events) override {
    std::vector<EVT_HANDLE> handles(max);
    DWORD returned = 0;
    if (!EvtNext(toEvt(results), static_cast<DWORD>(handles.size()), handles.data(), INFINITE, 0,
                 &returned)) {
      DWORD code = GetLastError();
      if (code == ERROR_NO_MORE_ITEMS) return Status::success();
      return failure(code);
    }
    for (DWORD i = 0; i < returned; ++i) events->push_back(fromEvt(handles[i]));
    return Status::success();
  }

  Status skip(WevtHandle results) override {
    if (!EvtSeek(toEvt(results), 1, nullptr, 0, EvtSeekRelativeToCurrent)) return lastError();
    return Status::success();
  }

  Status renderXml(WevtHandle event, std::wstring* xml) override {
    // The sizes EvtRender takes and gives are in bytes.
    DWORD used = 0;
    DWORD properties = 0;
    std::wstring buffer;
    for (int attempt = 0; attempt < 3; ++attempt) {
      if (EvtRender(nullptr, toEvt(event), EvtRenderEventXml,
                    static_cast<DWORD>(buffer.size() * sizeof(wchar_t)),
                    buffer.empty() ? nullptr : buffer.data(), &used, &properties)) {
        buffer.resize(used / sizeof(wchar_t));
        while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
        *xml = std::move(buffer);
        return Status::success();
      }
      if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return lastError();
      buffer.assign(used / sizeof(wchar_t) + 1, L'\0');
    }
    return lastError();
  }

  Status openPublisher(const std::wstring& provider, WevtHandle* publisher) override {
    EVT_HANDLE h = EvtOpenPublisherMetadata(nullptr, provider.c_str(), nullptr, 0, 0);
    if (h == nullptr) return lastError();
    *publisher = fromEvt(h);
    return Status::success();
  }

  Status formatXml(WevtHandle publisher, WevtHandle event, std::wstring* xml) override {
    // The sizes EvtFormatMessage takes and gives are in characters.
    xml->clear();
    DWORD used = 0;
    std::wstring buffer;
    for (int attempt = 0; attempt < 3; ++attempt) {
      BOOL ok = EvtFormatMessage(toEvt(publisher), toEvt(event), 0, 0, nullptr, EvtFormatMessageXml,
                                 static_cast<DWORD>(buffer.size()),
                                 buffer.empty() ? nullptr : buffer.data(), &used);
      DWORD code = ok ? ERROR_SUCCESS : GetLastError();
      if (code == ERROR_INSUFFICIENT_BUFFER) {
        buffer.assign(used + 1, L'\0');
        continue;
      }
      if (!buffer.empty()) {
        buffer.resize(std::min<std::size_t>(used, buffer.size()));
        while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
        *xml = std::move(buffer);
      }
      return ok ? Status::success() : failure(code);
    }
    return lastError();
  }

  Status channels(std::vector<std::wstring>* names) override {
    ScopedEvt list(EvtOpenChannelEnum(nullptr, 0));
    if (list.get() == nullptr) return lastError();
    std::wstring buffer(256, L'\0');
    for (;;) {
      DWORD used = 0;
      if (EvtNextChannelPath(list.get(), static_cast<DWORD>(buffer.size()), buffer.data(), &used)) {
        names->emplace_back(buffer.c_str());
        continue;
      }
      DWORD code = GetLastError();
      if (code == ERROR_NO_MORE_ITEMS) return Status::success();
      if (code != ERROR_INSUFFICIENT_BUFFER || used <= buffer.size()) return lastError();
      buffer.assign(used, L'\0');
    }
  }

  void close(WevtHandle handle) override {
    if (handle != 0) EvtClose(toEvt(handle));
  }
};

}  // namespace

std::unique_ptr<WevtApi> makeSystemWevtApi() { return std::make_unique<SystemWevtApi>(); }

}  // namespace sccevtmon

// A stand-in for the system's event-log API (wevtapi.dll), for the Windows tests only (never
// shipped): wine's EvtQuery answers nothing, so the whole program meets its live engine only
// through this DLL, loaded in place of wine's own by a DLL override in the test prefix.
//
// Each channel is a rendered-XML export in the folder SCCEVTMON_STAND_IN_EVENTLOGS: the
// channel's name with "/" written "%4", then ".xml" (a sequence of <Event> elements, with or
// without a root), read in document order. EvtFormatMessage(EvtFormatMessageXml) gives an
// event as exported, RenderingInfo and all; EvtRender(EvtRenderEventXml) gives it without its
// RenderingInfo. A publisher has metadata when some event names it. Queries take the XPath
// the engine sends ("*", or System tests of EventRecordID > N and of TimeCreated/@SystemTime
// >= and <); anything else fails with ERROR_EVT_INVALID_QUERY as Windows fails a bad query.
// Buffers are sized as Windows documents them: ERROR_INSUFFICIENT_BUFFER with the size
// needed, in bytes for EvtRender and in characters for EvtFormatMessage and
// EvtNextChannelPath.
//
// SCCEVTMON_STAND_IN_SWITCHES makes it misbehave as a busy desktop does, "name=value" items
// separated by ";":
//   batch-bytes=N    EvtNext fails with RPC_S_INVALID_BOUND (1734) when the XML of the events
//                    it would return passes N bytes (UTF-16), one event alone included
//   stale-after=N    once N events were returned, EvtNext fails with
//   stale-times=K    ERROR_EVT_QUERY_RESULT_STALE (15011), on K results in a row (default 1)
//   deny=CHANNEL     opening or querying the channel fails with access denied (5)
//   no-metadata=P    the publisher P has no metadata (15002)
//   unresolved=P     EvtFormatMessage of P's events fails with 15029 (an insert it cannot
//                    resolve) after writing the event's XML with the message as exported
#include <windows.h>
// After <windows.h>, whose types it uses:
#include <winevt.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

struct Event {
  std::wstring formatted;  // as exported
  std::wstring rendered;   // without RenderingInfo
  std::wstring provider;
  std::wstring created;  // TimeCreated/@SystemTime, as a sortable key
  unsigned long long record = 0;
};

struct Channel {
  std::vector<Event> events;
};

enum class Kind { kLog, kResults, kEvent, kPublisher, kChannelList };

struct Object {
  explicit Object(Kind k, std::shared_ptr<Channel> c = nullptr) : kind(k), channel(std::move(c)) {}

  Kind kind;
  std::shared_ptr<Channel> channel;
  std::vector<size_t> selected;  // kResults: the events the query selected
  size_t next = 0;               // kResults: the next of them; kEvent: the event's index
  bool stale = false;
  std::wstring provider;               // kPublisher
  std::vector<std::wstring> channels;  // kChannelList
};

std::wstring environment(const wchar_t* name) {
  wchar_t buffer[32768];
  DWORD n = GetEnvironmentVariableW(name, buffer, 32768);
  return n > 0 && n < 32768 ? std::wstring(buffer, n) : std::wstring();
}

struct Switches {
  size_t batchBytes = 0;
  unsigned long long staleAfter = 0;
  int staleTimes = 0;
  std::set<std::wstring> denied, noMetadata, unresolved;
};

const Switches& switches() {
  static const Switches s = [] {
    Switches s;
    std::wstring text = environment(L"SCCEVTMON_STAND_IN_SWITCHES");
    bool stale = false;
    for (size_t at = 0; at <= text.size();) {
      size_t end = std::min(text.find(L';', at), text.size());
      std::wstring item = text.substr(at, end - at);
      at = end + 1;
      size_t eq = item.find(L'=');
      if (eq == std::wstring::npos) continue;
      std::wstring name = item.substr(0, eq), value = item.substr(eq + 1);
      if (name == L"batch-bytes") s.batchBytes = std::wcstoull(value.c_str(), nullptr, 10);
      if (name == L"stale-after") {
        s.staleAfter = std::wcstoull(value.c_str(), nullptr, 10);
        stale = true;
      }
      if (name == L"stale-times") s.staleTimes = std::wcstol(value.c_str(), nullptr, 10);
      if (name == L"deny") s.denied.insert(value);
      if (name == L"no-metadata") s.noMetadata.insert(value);
      if (name == L"unresolved") s.unresolved.insert(value);
    }
    if (stale && s.staleTimes == 0) s.staleTimes = 1;
    return s;
  }();
  return s;
}

// What is left of the stale switch, and how many events were returned so far.
int staleLeft = -1;
unsigned long long eventsReturned = 0;

template <typename T>
T fail(DWORD code, T result) {
  SetLastError(code);
  return result;
}

std::wstring fromUtf8(const std::string& bytes) {
  if (bytes.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  return wide;
}

// The value of attribute name in the first tag named tag, or "".
std::wstring attribute(const std::wstring& xml, const std::wstring& tag, const std::wstring& name) {
  size_t at = xml.find(L"<" + tag);
  if (at == std::wstring::npos) return {};
  size_t close = xml.find(L'>', at);
  size_t a = xml.find(L" " + name + L"=", at);
  if (a == std::wstring::npos || a > close) return {};
  a += name.size() + 2;
  size_t end = xml.find(xml[a], a + 1);
  return xml.substr(a + 1, end - a - 1);
}

// "2026-03-07T13:10:00.5Z" as "20260307131000500000000": comparable as text.
std::wstring timeKey(const std::wstring& time) {
  std::wstring key;
  size_t k = 0;
  for (; k < time.size() && time[k] != L'.' && time[k] != L'Z'; ++k) {
    if (iswdigit(time[k])) key += time[k];
  }
  std::wstring fraction;
  if (k < time.size() && time[k] == L'.') {
    for (++k; k < time.size() && iswdigit(time[k]); ++k) fraction += time[k];
  }
  fraction.resize(9, L'0');
  return key + fraction.substr(0, 9);
}

// The channel's export, read once per process; nullptr when there is none.
std::shared_ptr<Channel> channelNamed(const std::wstring& name) {
  static std::map<std::wstring, std::shared_ptr<Channel>> cache;
  std::wstring key = name;
  CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
  auto found = cache.find(key);
  if (found != cache.end()) return found->second;
  std::wstring file = name;
  for (size_t at = 0; (at = file.find(L'/', at)) != std::wstring::npos;) file.replace(at, 1, L"%4");
  std::wstring path = environment(L"SCCEVTMON_STAND_IN_EVENTLOGS") + L"\\" + file + L".xml";
  if (name.empty() || name.find(L'\\') != std::wstring::npos) return nullptr;
  HANDLE h =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(h);
  std::wstring text = fromUtf8(bytes);
  auto channel = std::make_shared<Channel>();
  for (size_t at = 0;;) {
    at = text.find(L"<Event", at);
    if (at == std::wstring::npos) break;
    wchar_t after = at + 6 < text.size() ? text[at + 6] : L'\0';
    if (after != L' ' && after != L'>' && after != L'\t' && after != L'\r' && after != L'\n') {
      at += 6;
      continue;
    }
    size_t end = text.find(L"</Event>", at);
    if (end == std::wstring::npos) break;
    Event e;
    e.formatted = text.substr(at, end + 8 - at);
    e.rendered = e.formatted;
    size_t info = e.rendered.find(L"<RenderingInfo");
    if (info != std::wstring::npos) {
      size_t infoEnd = e.rendered.find(L"</RenderingInfo>", info);
      if (infoEnd != std::wstring::npos) e.rendered.erase(info, infoEnd + 16 - info);
    }
    e.provider = attribute(e.formatted, L"Provider", L"Name");
    e.created = timeKey(attribute(e.formatted, L"TimeCreated", L"SystemTime"));
    size_t record = e.formatted.find(L"<EventRecordID>");
    if (record != std::wstring::npos)
      e.record = std::wcstoull(&e.formatted[record + 15], nullptr, 10);
    channel->events.push_back(std::move(e));
    at = end + 8;
  }
  cache[key] = channel;
  return channel;
}

// The XPath subset: "*", or "*[System[T and T ...]]" with T one of "EventRecordID>N" and
// "TimeCreated[@SystemTime>='X' and @SystemTime<'Y']". False for anything else.
struct Selection {
  unsigned long long after = 0;
  bool timed = false;
  std::wstring from, to;
};

bool parseXPath(std::wstring text, Selection* s) {
  if (text == L"*") return true;
  const std::wstring head = L"*[System[", tail = L"]]";
  if (text.compare(0, head.size(), head) != 0 || text.size() < head.size() + tail.size() ||
      text.compare(text.size() - 2, 2, tail) != 0) {
    return false;
  }
  text = text.substr(head.size(), text.size() - head.size() - tail.size());
  bool any = false;
  while (!text.empty()) {
    const std::wstring record = L"EventRecordID>", time = L"TimeCreated[@SystemTime>='";
    if (text.compare(0, record.size(), record) == 0) {
      size_t k = record.size();
      size_t digits = k;
      while (k < text.size() && iswdigit(text[k])) ++k;
      if (k == digits) return false;
      s->after = std::wcstoull(text.c_str() + digits, nullptr, 10);
      text.erase(0, k);
    } else if (text.compare(0, time.size(), time) == 0) {
      size_t fromEnd = text.find(L'\'', time.size());
      const std::wstring middle = L"' and @SystemTime<'";
      if (fromEnd == std::wstring::npos || text.compare(fromEnd, middle.size(), middle) != 0) {
        return false;
      }
      size_t toStart = fromEnd + middle.size();
      size_t toEnd = text.find(L'\'', toStart);
      if (toEnd == std::wstring::npos || text.compare(toEnd, 2, L"']") != 0) return false;
      s->timed = true;
      s->from = timeKey(text.substr(time.size(), fromEnd - time.size()));
      s->to = timeKey(text.substr(toStart, toEnd - toStart));
      text.erase(0, toEnd + 2);
    } else {
      return false;
    }
    any = true;
    if (text.compare(0, 5, L" and ") == 0) {
      text.erase(0, 5);
      if (text.empty()) return false;
    } else if (!text.empty()) {
      return false;
    }
  }
  return any;
}

Object* object(EVT_HANDLE h, Kind kind) {
  auto* o = static_cast<Object*>(h);
  return o != nullptr && o->kind == kind ? o : nullptr;
}

EVT_HANDLE give(Object o) { return new Object(std::move(o)); }

// Copies text (with its NUL) into a buffer of size units of unitBytes, as the functions do.
BOOL answer(const std::wstring& text, DWORD size, void* buffer, PDWORD used, DWORD unitBytes) {
  DWORD needed = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t) / unitBytes);
  *used = needed;
  if (buffer == nullptr || size < needed) return fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  return TRUE;
}

}  // namespace

extern "C" {

EVT_HANDLE WINAPI EvtOpenLog(EVT_HANDLE, LPCWSTR path, DWORD) {
  if (switches().denied.count(path) != 0) return fail(ERROR_ACCESS_DENIED, EVT_HANDLE{});
  std::shared_ptr<Channel> channel = channelNamed(path);
  if (channel == nullptr) return fail(ERROR_EVT_CHANNEL_NOT_FOUND, EVT_HANDLE{});
  return give(Object(Kind::kLog, channel));
}

WINBOOL WINAPI EvtGetLogInfo(EVT_HANDLE log, EVT_LOG_PROPERTY_ID id, DWORD size, PEVT_VARIANT value,
                             PDWORD used) {
  Object* o = object(log, Kind::kLog);
  if (o == nullptr) return fail(ERROR_INVALID_HANDLE, FALSE);
  if (id != EvtLogNumberOfLogRecords) return fail(ERROR_NOT_SUPPORTED, FALSE);
  *used = sizeof(EVT_VARIANT);
  if (size < sizeof(EVT_VARIANT)) return fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  value->Type = EvtVarTypeUInt64;
  value->Count = 0;
  value->UInt64Val = o->channel->events.size();
  return TRUE;
}

EVT_HANDLE WINAPI EvtQuery(EVT_HANDLE, LPCWSTR path, LPCWSTR query, DWORD flags) {
  if ((flags & EvtQueryChannelPath) == 0) return fail(ERROR_INVALID_PARAMETER, EVT_HANDLE{});
  Selection selection;
  if (query == nullptr || !parseXPath(query, &selection)) {
    return fail(ERROR_EVT_INVALID_QUERY, EVT_HANDLE{});
  }
  if (switches().denied.count(path) != 0) return fail(ERROR_ACCESS_DENIED, EVT_HANDLE{});
  std::shared_ptr<Channel> channel = channelNamed(path);
  if (channel == nullptr) return fail(ERROR_EVT_CHANNEL_NOT_FOUND, EVT_HANDLE{});
  Object results(Kind::kResults, channel);
  for (size_t k = 0; k < channel->events.size(); ++k) {
    const Event& e = channel->events[k];
    if (e.record <= selection.after && selection.after != 0) continue;
    if (selection.timed && (e.created < selection.from || e.created >= selection.to)) continue;
    results.selected.push_back(k);
  }
  return give(std::move(results));
}

WINBOOL WINAPI EvtNext(EVT_HANDLE resultSet, DWORD count, EVT_HANDLE* events, DWORD, DWORD,
                       PDWORD returned) {
  Object* o = object(resultSet, Kind::kResults);
  if (o == nullptr || events == nullptr || returned == nullptr) {
    return fail(ERROR_INVALID_PARAMETER, FALSE);
  }
  *returned = 0;
  const Switches& s = switches();
  if (staleLeft < 0) staleLeft = s.staleTimes;
  if (o->stale) return fail(ERROR_EVT_QUERY_RESULT_STALE, FALSE);
  if (staleLeft > 0 && eventsReturned >= s.staleAfter) {
    --staleLeft;
    o->stale = true;
    return fail(ERROR_EVT_QUERY_RESULT_STALE, FALSE);
  }
  size_t end = std::min<size_t>(o->next + count, o->selected.size());
  if (end == o->next) return fail(ERROR_NO_MORE_ITEMS, FALSE);
  size_t bytes = 0;
  for (size_t k = o->next; k < end; ++k) {
    bytes += o->channel->events[o->selected[k]].formatted.size() * sizeof(wchar_t);
  }
  if (s.batchBytes != 0 && bytes > s.batchBytes) return fail(RPC_S_INVALID_BOUND, FALSE);
  for (; o->next < end; ++o->next) {
    Object event(Kind::kEvent, o->channel);
    event.next = o->selected[o->next];
    events[(*returned)++] = give(std::move(event));
  }
  eventsReturned += *returned;
  return TRUE;
}

WINBOOL WINAPI EvtSeek(EVT_HANDLE resultSet, LONGLONG position, EVT_HANDLE, DWORD, DWORD flags) {
  Object* o = object(resultSet, Kind::kResults);
  if (o == nullptr || flags != EvtSeekRelativeToCurrent)
    return fail(ERROR_INVALID_PARAMETER, FALSE);
  long long next = static_cast<long long>(o->next) + position;
  if (next < 0 || next > static_cast<long long>(o->selected.size())) {
    return fail(ERROR_NOT_FOUND, FALSE);
  }
  o->next = static_cast<size_t>(next);
  return TRUE;
}

WINBOOL WINAPI EvtRender(EVT_HANDLE, EVT_HANDLE fragment, DWORD flags, DWORD size, PVOID buffer,
                         PDWORD used, PDWORD propertyCount) {
  Object* o = object(fragment, Kind::kEvent);
  if (o == nullptr || flags != EvtRenderEventXml || used == nullptr) {
    return fail(ERROR_INVALID_PARAMETER, FALSE);
  }
  if (propertyCount != nullptr) *propertyCount = 0;
  return answer(o->channel->events[o->next].rendered, size, buffer, used, 1);
}

EVT_HANDLE WINAPI EvtOpenPublisherMetadata(EVT_HANDLE, LPCWSTR publisher, LPCWSTR, LCID, DWORD) {
  if (publisher == nullptr || switches().noMetadata.count(publisher) != 0) {
    return fail(ERROR_EVT_PUBLISHER_METADATA_NOT_FOUND, EVT_HANDLE{});
  }
  Object metadata(Kind::kPublisher);
  metadata.provider = publisher;
  return give(std::move(metadata));
}

WINBOOL WINAPI EvtFormatMessage(EVT_HANDLE publisher, EVT_HANDLE event, DWORD, DWORD, PEVT_VARIANT,
                                DWORD flags, DWORD size, LPWSTR buffer, PDWORD used) {
  Object* p = object(publisher, Kind::kPublisher);
  Object* o = object(event, Kind::kEvent);
  if (p == nullptr || o == nullptr || flags != EvtFormatMessageXml || used == nullptr) {
    return fail(ERROR_INVALID_PARAMETER, FALSE);
  }
  const Event& e = o->channel->events[o->next];
  if (!answer(e.formatted, size, buffer, used, sizeof(wchar_t))) return FALSE;
  // Windows writes what it could render, then says what it could not.
  if (e.formatted.find(L"<Message>") == std::wstring::npos) {
    return fail(ERROR_EVT_MESSAGE_NOT_FOUND, FALSE);
  }
  if (switches().unresolved.count(e.provider) != 0) {
    return fail(ERROR_EVT_UNRESOLVED_VALUE_INSERT, FALSE);
  }
  return TRUE;
}

EVT_HANDLE WINAPI EvtOpenChannelEnum(EVT_HANDLE, DWORD) {
  Object list(Kind::kChannelList);
  WIN32_FIND_DATAW found;
  std::wstring pattern = environment(L"SCCEVTMON_STAND_IN_EVENTLOGS") + L"\\*.xml";
  HANDLE h = FindFirstFileW(pattern.c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      name.resize(name.size() - 4);
      for (size_t at = 0; (at = name.find(L"%4", at)) != std::wstring::npos;) {
        name.replace(at, 2, L"/");
      }
      list.channels.push_back(name);
    } while (FindNextFileW(h, &found));
    FindClose(h);
  }
  return give(std::move(list));
}

WINBOOL WINAPI EvtNextChannelPath(EVT_HANDLE channelEnum, DWORD size, LPWSTR buffer, PDWORD used) {
  Object* o = object(channelEnum, Kind::kChannelList);
  if (o == nullptr || used == nullptr) return fail(ERROR_INVALID_PARAMETER, FALSE);
  if (o->next >= o->channels.size()) return fail(ERROR_NO_MORE_ITEMS, FALSE);
  if (!answer(o->channels[o->next], size, buffer, used, sizeof(wchar_t))) return FALSE;
  ++o->next;
  return TRUE;
}

WINBOOL WINAPI EvtClose(EVT_HANDLE h) {
  if (h == nullptr) return fail(ERROR_INVALID_HANDLE, FALSE);
  delete static_cast<Object*>(h);
  return TRUE;
}

}  // extern "C"

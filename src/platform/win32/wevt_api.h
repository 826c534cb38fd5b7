#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "util/status.h"

namespace sccevtmon {

// The handful of Windows event-log (wevtapi) calls the live log query engine makes, behind an
// interface of its own: the system's implementation is a thin layer over the functions, and
// the engine's tests drive everything else with a fake (wine's event log answers nothing).
//
// Texts are UTF-16, as the functions take and give them. A failure is a Status in the system
// domain: the Win32 code the function left (ERROR_EVT_CHANNEL_NOT_FOUND, ERROR_ACCESS_DENIED,
// ...) and the system's text for it.

// A handle the calls give out (EVT_HANDLE); 0 is none.
using WevtHandle = std::uintptr_t;

// Win32 codes of the event log.
inline constexpr long kErrorNoMoreItems = 259;
inline constexpr long kErrorEvtChannelNotFound = 15007;
inline constexpr long kErrorEvtPublisherMetadataNotFound = 15002;
inline constexpr long kErrorEvtMessageNotFound = 15027;
inline constexpr long kErrorEvtUnresolvedValueInsert = 15029;
inline constexpr long kErrorEvtQueryResultStale = 15011;
// EvtNext: the batch's data passes the RPC limit (about 2 MB before Windows 11).
inline constexpr long kRpcInvalidBound = 1734;

class WevtApi {
 public:
  virtual ~WevtApi() = default;

  // EvtOpenLog(channel) and EvtGetLogInfo(EvtLogNumberOfLogRecords): how many records the
  // channel holds now.
  virtual Status recordCount(const std::wstring& channel, std::uint64_t* count) = 0;
  // EvtQuery(channel, xpath) over the channel path, oldest record first.
  virtual Status query(const std::wstring& channel, const std::wstring& xpath,
                       WevtHandle* results) = 0;
  // EvtNext: up to max event handles of results, appended to events (the caller closes each).
  // At the end of the results it succeeds and appends none.
  virtual Status next(WevtHandle results, std::size_t max, std::vector<WevtHandle>* events) = 0;
  // EvtSeek(EvtSeekRelativeToCurrent, 1): passes over the event the next EvtNext would return
  // first (one EvtNext cannot return, however small the batch).
  virtual Status skip(WevtHandle results) = 0;
  // EvtRender(EvtRenderEventXml): the event's XML without RenderingInfo.
  virtual Status renderXml(WevtHandle event, std::wstring* xml) = 0;
  // EvtOpenPublisherMetadata for a provider's name, in the thread's locale.
  virtual Status openPublisher(const std::wstring& provider, WevtHandle* publisher) = 0;
  // EvtFormatMessage(EvtFormatMessageXml): the event's XML with RenderingInfo (message, level,
  // task, ... as the publisher's message tables give them). On a failure *xml holds what the
  // function wrote, if anything (the XML without a message it could not find, or with the
  // message's unresolved inserts).
  virtual Status formatXml(WevtHandle publisher, WevtHandle event, std::wstring* xml) = 0;
  // EvtOpenChannelEnum and EvtNextChannelPath: the names of every channel of this computer.
  virtual Status channels(std::vector<std::wstring>* names) = 0;
  // EvtClose; 0 is ignored.
  virtual void close(WevtHandle handle) = 0;
};

// The system's event log through wevtapi.dll.
std::unique_ptr<WevtApi> makeSystemWevtApi();

}  // namespace sccevtmon

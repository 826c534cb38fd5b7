#pragma once

#include <functional>
#include <string>

#include "platform/eventlog/event_record.h"
#include "platform/log_query.h"
#include "platform/eventlog/exported_log_engine.h"
#include "platform/win32/wevt_api.h"

namespace sccevtmon {

// The log query engine of the Windows build: the monitor's query subset (the shared parser)
// over this computer's event logs, read live through wevtapi; or, once a folder of exported
// logs is named, over the files in that folder exactly as the portable build reads them
// (ExportedLogQueryEngine). A log name is a channel ("System", "Microsoft-Windows-Sysmon/
// Operational") unless such a folder is named: then it is a file of that folder, and no
// channel is read. The two never mix within one query.
//
// A live query: EvtGetLogInfo counts the channel's records (inputUnitsProcessed); EvtQuery
// reads only the events of the window on TimeCreated (windowXPath), oldest first; each event
// is tested against the window in local time and whole seconds, as the portable engine tests
// it, and mapped to the columns by the shared event-XML mapping: the XML of
// EvtFormatMessage(EvtFormatMessageXml) through the provider's publisher metadata, with its
// RenderingInfo (message, task name); without a publisher or message, the XML of EvtRender,
// which gives the "The description for Event ID ... cannot be found" text with the event's
// data. An event that cannot be rendered is skipped; a query whose events are all unreadable
// fails. EvtNext asks for 30 events at first; a batch over the RPC limit (1734) is asked again
// at half the size, down to one event, and an event too large alone is passed over (EvtSeek)
// and counted as skipped. A result gone stale (15011: the log cleared or rolled over) is
// released and the query reissued after the last record number read, at most 3 times. Failures
// (number 440, as the portable engine's): "The specified event log N was not found on this
// computer" for a channel that does not exist, "The event log N cannot be read:
// ..." with the system's text and code for any other (access denied, EvtNext failing midway).
class WevtLogQueryEngine : public LogQueryEngine {
 public:
  // exportFolder gives, each time a query runs, the folder of exported logs that queries read
  // instead of the channels; empty (a desktop's case) for the channels.
  // Exported logs are read through files.
  WevtLogQueryEngine(WevtApi& api, FileSystem& files, std::function<std::string()> exportFolder);

  Status createQuery(std::unique_ptr<LogQuery>* query) override;
  Status createEventLogInputFormat(std::unique_ptr<LogInputFormat>* format) override;
  // The channels of this computer, sorted, with no location (a log the system keeps itself);
  // with a folder of exports, its files. A channel whose name the program's code page cannot
  // hold is left out (a query could not name it).
  Status listLogs(std::vector<EventLogSource>* logs) override;
  // From now on queries read the exported logs in folder, not the channels.
  void readLogsFrom(const std::string& folder) override;
  // Only once a folder of exports is named.
  bool readsLogFiles() override { return !exportFolder_().empty(); }

 private:
  WevtApi& api_;
  std::function<std::string()> exportFolder_;
  ExportedLogQueryEngine exported_;
};

// The XPath of EvtQuery for a window of local civil seconds (both bounds included): every
// event whose TimeCreated, in local time and whole seconds, can lie in the window. The bounds
// are turned into UTC with the zone's offsets around them (toLocal gives the local civil
// seconds of UTC seconds), so near a daylight-saving change the range takes in the hour the
// change shifts; the engine then tests each event exactly. "*" (every event) for no window.
std::wstring windowXPath(const EventWindow& window,
                         const std::function<long long(long long)>& toLocal);

}  // namespace sccevtmon

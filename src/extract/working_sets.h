#pragma once

#include <string>
#include <unordered_map>

#include "extract/record_set.h"

namespace sccevtmon {

// An event-row set: evttype, datetime, evtsrc, cat, evtid and msg.
RecordSet makeEventRowSet();
// A group set: evttype, evtsrc, evtid and TotalCount.
RecordSet makeGroupSet();

// The per type, source and ID counts of one entry, in order of first appearance. A row finds
// its group through an index, so counting costs the same however many groups there are.
class SummaryGroups {
 public:
  SummaryGroups() : groups_(makeGroupSet()) {}

  // Adds one to the group of these three values, creating it with a count of 1.
  Status count(const FieldValue& evttype, const FieldValue& evtsrc, const FieldValue& evtid);
  RecordSet& set() { return groups_; }
  void clear() {
    groups_.deleteAll();
    index_.clear();
  }

 private:
  RecordSet groups_;
  std::unordered_map<std::string, std::size_t> index_;  // key -> position in groups_
};

// The six working sets of one event log's extraction, and whether an entry had pairs.
struct WorkingSets {
  RecordSet loadedRows = makeEventRowSet();
  RecordSet typeRows = makeEventRowSet();
  RecordSet sourceRows = makeEventRowSet();
  RecordSet idRows = makeEventRowSet();
  RecordSet descRows = makeEventRowSet();
  SummaryGroups summaryGroups;
  bool pairsSeen = false;

  // The entry's final set: the pair stage's output once any entry had pairs.
  RecordSet& finalRows() { return pairsSeen ? typeRows : descRows; }
  void close();
};

// Column positions of an event-row set.
enum EventColumn : std::size_t { kEvtType, kDateTime, kEvtSrc, kCat, kEvtId, kMsg };

}  // namespace sccevtmon

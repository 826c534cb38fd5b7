#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "extract/record_set.h"

namespace sccevtmon {

// An event-row set: evttype, datetime, evtsrc, cat, evtid and msg.
RecordSet makeEventRowSet();

// Column positions of an event-row set.
enum EventColumn : std::size_t { kEvtType, kDateTime, kEvtSrc, kCat, kEvtId, kMsg };

// The per type, source and ID counts of one entry, in order of first appearance. A row finds
// its group through an index, so counting costs the same however many groups there are.
class SummaryGroups {
 public:
  struct Group {
    FieldValue evttype, evtsrc, evtid;
    std::int64_t count = 0;
  };

  // Adds one to the group of these three values, creating it with a count of 1.
  void count(FieldText evttype, FieldText evtsrc, FieldText evtid);
  const std::vector<Group>& groups() const { return groups_; }
  std::size_t size() const { return groups_.size(); }
  void clear() {
    groups_.clear();
    index_.clear();
  }

 private:
  std::vector<Group> groups_;
  std::unordered_map<std::string, std::size_t> index_;  // key -> position in groups_
  std::string key_;                                     // reused to look a key up
};

// The working sets of one event log's extraction, and whether an entry had pairs. The five
// event-row sets share the loaded rows' store.
//
// Each stage empties its output and fills it from the previous stage's set, so one set of each
// serves every entry of the log. The pair stage writes into typeRows, which the type stage is
// done with by then; that is why, once any entry of the log had pairs (pairsSeen), an entry's
// final rows are read from typeRows, even for a later entry without pairs: its pair stage
// copied descRows there. The report files depend on this order of rows and on the flag
// staying set for the rest of the log.
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
  // The message of the current row of set (one of the five) in upper case. Every description
  // test compares upper-cased texts; a message is upper-cased the first time a test needs it
  // and kept for the tests of every later entry.
  std::string_view upperMessage(const RecordSet& set);
  void close();

 private:
  static constexpr std::uint32_t kNotYet = 0xffffffffu;
  TextRows upper_{1};
  std::vector<std::uint32_t> upperAt_;  // by store row: the row of upper_, or kNotYet
  std::string scratch_;
};

}  // namespace sccevtmon

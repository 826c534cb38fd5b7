#include "extract/working_sets.h"

namespace sccevtmon {
namespace {

void appendKey(std::string& key, const FieldValue& v) {
  // Null and empty text are different groups.
  key += v ? 'T' : 'N';
  if (v) key += *v;
  key += '\x1f';
}

}  // namespace

RecordSet makeEventRowSet() {
  return RecordSet({{"evttype", kAdVarChar, 50},
                    {"datetime", kAdVarChar, 50},
                    {"evtsrc", kAdVarChar, 500},
                    {"cat", kAdVarChar, 500},
                    {"evtid", kAdVarChar, 500},
                    {"msg", kAdVarChar, 10000}});
}

RecordSet makeGroupSet() {
  return RecordSet({{"evttype", kAdVarChar, 50},
                    {"evtsrc", kAdVarChar, 500},
                    {"evtid", kAdVarChar, 500},
                    {"TotalCount", kAdInteger, 0}});
}

Status SummaryGroups::count(const FieldValue& evttype, const FieldValue& evtsrc,
                            const FieldValue& evtid) {
  std::string key;
  appendKey(key, evttype);
  appendKey(key, evtsrc);
  appendKey(key, evtid);
  auto it = index_.find(key);
  if (it == index_.end()) {
    index_.emplace(std::move(key), groups_.recordCount());
    return groups_.addRow({evttype, evtsrc, evtid, std::string("1")});
  }
  groups_.moveTo(it->second);
  FieldValue total;
  if (Status s = groups_.value("TotalCount", &total); !s.ok()) return s;
  return groups_.setValue("TotalCount", std::to_string(std::stoll(total.value_or("0")) + 1));
}

void WorkingSets::close() {
  loadedRows.close();
  typeRows.close();
  sourceRows.close();
  idRows.close();
  descRows.close();
  summaryGroups.clear();
}

}  // namespace sccevtmon

#include "extract/working_sets.h"

#include "base/text.h"

namespace sccevtmon {
namespace {

void appendKey(std::string& key, FieldText v) {
  // Null and empty text are different groups.
  key += v ? 'T' : 'N';
  if (v) key += *v;
  key += '\x1f';
}

FieldValue owned(FieldText v) { return v ? FieldValue(std::string(*v)) : std::nullopt; }

}  // namespace

RecordSet makeEventRowSet() {
  return RecordSet({{"evttype", kAdVarChar, 50},
                    {"datetime", kAdVarChar, 50},
                    {"evtsrc", kAdVarChar, 500},
                    {"cat", kAdVarChar, 500},
                    {"evtid", kAdVarChar, 500},
                    {"msg", kAdVarChar, 10000}});
}

void SummaryGroups::count(FieldText evttype, FieldText evtsrc, FieldText evtid) {
  key_.clear();
  appendKey(key_, evttype);
  appendKey(key_, evtsrc);
  appendKey(key_, evtid);
  auto it = index_.find(key_);
  if (it != index_.end()) {
    ++groups_[it->second].count;
    return;
  }
  index_.emplace(key_, groups_.size());
  groups_.push_back(Group{owned(evttype), owned(evtsrc), owned(evtid), 1});
}

std::string_view WorkingSets::upperMessage(const RecordSet& set) {
  const std::size_t row = set.storeRow();
  if (upperAt_.size() <= row) upperAt_.resize(row + 1, kNotYet);
  if (upperAt_[row] == kNotYet) {
    FieldText msg = set.valueAt(kMsg);
    upperInto(msg.value_or(std::string_view()), scratch_);
    const FieldText cell[] = {std::string_view(scratch_)};
    upper_.add(cell);
    upperAt_[row] = static_cast<std::uint32_t>(upper_.size() - 1);
  }
  return *upper_.cell(upperAt_[row], 0);
}

void WorkingSets::close() {
  loadedRows.close();
  typeRows.close();
  sourceRows.close();
  idRows.close();
  descRows.close();
  summaryGroups.clear();
  upper_.clear();
  upperAt_.clear();
}

}  // namespace sccevtmon

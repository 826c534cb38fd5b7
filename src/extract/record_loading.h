#pragma once

#include <memory>
#include <string>

#include "base/run_state.h"
#include "platform/platform.h"

namespace sccevtmon {

// Runs query on logQuery, loads every row and, for each monitoring entry of logName, filters
// the rows and writes them to the report files. True when every entry was handled; false when
// the query processed no input or an error ended the routine (failureReason then says why). A
// failure reason set earlier in the run is kept. Traps its own errors.
bool fncCreateRecordSet(RunState& rs, std::unique_ptr<LogQuery>& logQuery, const std::string& query,
                        const std::string& logName, std::string& failureReason);

// The record's message with every character removed that the reports do not take: "?", codes
// above 125, and the control characters XML forbids (tab, CR and LF stay). Null gives empty
// text.
std::string cleanMessage(const LogRecord& record);


}  // namespace sccevtmon

#pragma once

#include <memory>
#include <string>

#include "base/run_state.h"
#include "platform/platform.h"

namespace sccevtmon {

// Runs query on logQuery, loads every row and, for each monitoring entry of logName, filters
// the rows and writes them to the report files. True when every entry was handled; false when
// the query processed no input or an error ended the routine (failureReason then says why).
// Traps its own errors.
bool fncCreateRecordSet(RunState& rs, Platform& os, std::unique_ptr<LogQuery>& logQuery,
                        const std::string& query, const std::string& logName,
                        std::string& failureReason);

}  // namespace sccevtmon

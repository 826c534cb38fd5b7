#include "platform/posix/process.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>

namespace sccevtmon {
namespace {

// JOURNAL_STREAM names the journal as "DEV:INODE"; only the file standard error is counts.
TEST(PosixProcessTest, StandardErrorIsTheJournalWhenJournalStreamNamesIt) {
  struct stat st {};
  ASSERT_EQ(::fstat(2, &st), 0);
  const std::string self = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  const char* saved = ::getenv("JOURNAL_STREAM");
  const std::string kept = saved != nullptr ? saved : "";
  PosixProcess process;
  struct Case {
    bool set;
    std::string value;
    bool journal;
  } cases[] = {{false, "", false},
               {true, self, true},
               {true, self + "0", false},
               {true, std::to_string(st.st_dev) + ":x", false},
               {true, "", false}};
  for (const Case& c : cases) {
    if (c.set) {
      ::setenv("JOURNAL_STREAM", c.value.c_str(), 1);
    } else {
      ::unsetenv("JOURNAL_STREAM");
    }
    EXPECT_EQ(process.standardErrorIsJournal(), c.journal) << c.value;
  }
  if (saved != nullptr) {
    ::setenv("JOURNAL_STREAM", kept.c_str(), 1);
  } else {
    ::unsetenv("JOURNAL_STREAM");
  }
}

}  // namespace
}  // namespace sccevtmon

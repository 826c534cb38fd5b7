#include "extract/log_binding.h"

#include <gtest/gtest.h>

#include "testing/fake_platform.h"

namespace sccevtmon {
namespace {

class IdleQuery : public LogQuery {
 public:
  Status execute(const std::string&, LogInputFormat&, std::unique_ptr<LogRecordSet>*) override {
    return runtimeError(kErrAutomation);
  }
};
class IdleFormat : public LogInputFormat {};

// An engine whose two creations succeed or fail as told.
class ScriptedEngine : public LogQueryEngine {
 public:
  Status queryStatus;
  Status formatStatus;
  int queries = 0;
  int formats = 0;

  Status createQuery(std::unique_ptr<LogQuery>* query) override {
    if (!queryStatus.ok()) return queryStatus;
    ++queries;
    *query = std::make_unique<IdleQuery>();
    return Status::success();
  }
  Status createEventLogInputFormat(std::unique_ptr<LogInputFormat>* format) override {
    if (!formatStatus.ok()) return formatStatus;
    ++formats;
    *format = std::make_unique<IdleFormat>();
    return Status::success();
  }
  Status listLogs(std::vector<EventLogSource>*) override { return Status::success(); }
  void readLogsFrom(const std::string&) override {}
};

class LogBindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::unique_ptr<TextStream> stream;
    ASSERT_TRUE(fakes.files.createTextFile("/log.txt", true, &stream).ok());
    rs.activityLog.open(std::move(stream), fakes.clock);
  }

  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    std::string text = fakes.files.content("/log.txt");
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      out.push_back(text.substr(start + 20, end - start - 20));
    }
    return out;
  }

  FakePlatform fakes;
  ScriptedEngine engine;
  Platform os{fakes.registry, fakes.profile, fakes.files,   fakes.clock,
              fakes.process,  engine,        fakes.webPost, fakes.checksum};
  RunState rs;
};

const char kRule[] = "MSG : ---------------------------------------------------------------";
const char kCreating[] = "MSG : fncCreateLogParserObject, Creating objects for log parser";

TEST_F(LogBindingTest, CreatesFreshObjectsForEveryLog) {
  std::vector<std::string> expected;
  LogQuery* previousQuery = nullptr;
  for (int k = 0; k < 3; ++k) {
    EXPECT_TRUE(fncCreateLogParserObject(rs, os));
    ASSERT_NE(rs.logQuery, nullptr);
    ASSERT_NE(rs.logInputFormat, nullptr);
    EXPECT_NE(rs.logQuery.get(), previousQuery);
    previousQuery = rs.logQuery.get();
    expected.push_back(kRule);
    expected.push_back(kCreating);
  }
  EXPECT_EQ(std::string(kRule).size(), 6u + 63u);
  EXPECT_EQ(engine.queries, 3);
  EXPECT_EQ(engine.formats, 3);
  EXPECT_EQ(lines(), expected);
  EXPECT_EQ(rs.failureReason, "");
}

TEST_F(LogBindingTest, AFailedCreationIsLoggedAndRecorded) {
  ASSERT_TRUE(fncCreateLogParserObject(rs, os));
  LogQuery* oldQuery = rs.logQuery.get();
  LogInputFormat* oldFormat = rs.logInputFormat.get();

  // The query object cannot be created: both slots keep what they held.
  engine.queryStatus = Status{kErrCannotCreateObject, "Class not\r\n registered\r\n"};
  EXPECT_FALSE(fncCreateLogParserObject(rs, os));
  EXPECT_EQ(rs.failureReason, "Failed to instantiate logparser ,Class not registered");
  EXPECT_EQ(rs.logQuery.get(), oldQuery);
  EXPECT_EQ(rs.logInputFormat.get(), oldFormat);

  // The input format cannot be created: the new query object stays.
  engine.queryStatus = Status::success();
  engine.formatStatus = runtimeError(kErrCannotCreateObject);
  EXPECT_FALSE(fncCreateLogParserObject(rs, os));
  EXPECT_EQ(rs.failureReason,
            "Failed to instantiate logparser ,ActiveX component can't create object");
  EXPECT_NE(rs.logQuery.get(), oldQuery);
  EXPECT_EQ(rs.logInputFormat.get(), oldFormat);

  EXPECT_EQ(lines(), (std::vector<std::string>{
                         kRule, kCreating, kRule, kCreating,
                         "ERR : fncCreateLogParserObject,Failed to instantiate logparser ,Class "
                         "not registered",
                         kRule, kCreating,
                         "ERR : fncCreateLogParserObject,Failed to instantiate logparser "
                         ",ActiveX component can't create object"}));
}

TEST_F(LogBindingTest, WithoutAnEngineEveryLogFails) {
  fakes.logQuery.createStatus = runtimeError(kErrCannotCreateObject);
  Platform& missing = fakes.platform;
  EXPECT_FALSE(fncCreateLogParserObject(rs, missing));
  EXPECT_FALSE(fncCreateLogParserObject(rs, missing));
  EXPECT_EQ(rs.logQuery, nullptr);
  EXPECT_EQ(rs.failureReason,
            "Failed to instantiate logparser ,ActiveX component can't create object");
  EXPECT_EQ(lines().size(), 6u);
}

}  // namespace
}  // namespace sccevtmon

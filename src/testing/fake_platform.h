#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "testing/fake_file_system.h"
#include "testing/fake_log_query.h"
#include "testing/fake_profile.h"
#include "testing/fake_registry.h"
#include "testing/fake_web_post.h"

namespace sccevtmon {

// A clock that stands still until told otherwise; each call to now() may step it forward.
class FakeClock : public Clock {
 public:
  LocalTime time{2026, 3, 7, 14, 5, 9};
  int stepSeconds = 0;  // added after every call
  int calls = 0;

  LocalTime now() override;
};

class FakeProcess : public Process {
 public:
  std::string baseName = "sccevtmon";
  std::string version = "1.0.0.0";
  Status versionStatus;
  Status startStatus = runtimeError(kErrFileNotFound);
  bool hidden = false;
  bool consoleAttached = false;
  bool journal = false;    // what standardErrorIsJournal() answers
  bool terminal = false;   // what standardErrorIsTerminal() answers
  bool superuser = false;  // what runsAsSuperuser() answers
  std::vector<std::string> started;
  std::vector<std::string> errors;

  void hideFromTaskList() override { hidden = true; }
  std::string executableBaseName() override { return baseName; }
  Status ownFileVersion(std::string* v) override {
    if (!versionStatus.ok()) return versionStatus;
    *v = version;
    return Status::success();
  }
  Status startProcess(const std::string& commandLine) override {
    started.push_back(commandLine);
    return startStatus;
  }
  std::string systemMessage(long code) override {
    return code == kErrorFileNotFound ? "The system cannot find the file specified.\r\n" : "";
  }
  void printError(const std::string& line) override { errors.push_back(line); }
  void attachConsole() override { consoleAttached = true; }
  bool standardErrorIsJournal() override { return journal; }
  bool standardErrorIsTerminal() override { return terminal; }
  bool runsAsSuperuser() override { return superuser; }
  int startFailureExitStatus() override { return 1; }
  std::string helpIntroduction() override { return "Runs the monitor.\n"; }
  std::string helpConfiguration() override { return "Configuration: fakes.\n"; }
};

// A checksum library that answers from a script: each call takes the next answer, or the
// default one when the script is empty.
class FakeChecksum : public ChecksumLibrary {
 public:
  struct Answer {
    Status status;
    std::int16_t result = 1;
    ChecksumOutputs outputs;  // fields left empty are not touched
  };
  Answer md5Answer{Status::success(), 1, {"D41D8CD98F00B204E9800998ECF8427E", "0", ""}};
  Answer blockAnswer{Status::success(), 1, {"D41D8CD98F00B204E9800998ECF8427E", "0", ""}};
  std::vector<std::string> calls;                    // "md5 FILE" or "block FILE SIZE"
  std::vector<std::optional<std::string>> contents;  // the bytes each call was given
  bool readsFile = false;                            // answers readsTheFile
  std::function<void()> duringCall;                  // runs inside each call when set

  Status getMd5(const std::string& fileName, const std::string* bytes, ChecksumOutputs& out,
                std::int16_t* result) override {
    calls.push_back("md5 " + fileName);
    contents.push_back(bytes ? std::optional<std::string>(*bytes) : std::nullopt);
    if (duringCall) duringCall();
    return apply(md5Answer, out, result);
  }
  Status getMd5WithBlock(const std::string& fileName, const std::string* bytes,
                         const std::string& blockSize, ChecksumOutputs& out,
                         std::int16_t* result) override {
    calls.push_back("block " + fileName + " " + blockSize);
    contents.push_back(bytes ? std::optional<std::string>(*bytes) : std::nullopt);
    if (duringCall) duringCall();
    return apply(blockAnswer, out, result);
  }
  bool readsTheFile() override { return readsFile; }
  std::string operatorCommand(const std::string& fileName) override { return "md5sum " + fileName; }

 private:
  static Status apply(const Answer& a, ChecksumOutputs& out, std::int16_t* result) {
    if (!a.status.ok()) return a.status;
    if (!a.outputs.checksum.empty()) out.checksum = a.outputs.checksum;
    if (!a.outputs.fileSize.empty()) out.fileSize = a.outputs.fileSize;
    if (!a.outputs.errorInfo.empty()) out.errorInfo = a.outputs.errorInfo;
    *result = a.result;
    return Status::success();
  }
};

// Every fake, and the Platform that bundles them.
struct FakePlatform {
  FakeRegistry registry;
  FakeFileSystem files;
  FakeProfileFiles profile{files};
  FakeClock clock;
  FakeProcess process;
  FakeLogQueryEngine logQuery;
  FakeWebPost webPost;
  FakeChecksum checksum;
  Platform platform{registry, profile, files, clock, process, logQuery, webPost, checksum};
};

}  // namespace sccevtmon

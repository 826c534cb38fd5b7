#include "e2e_support.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>

extern char** environ;

namespace sccevtmon::e2e {
namespace {

// Reads both pipes until both are closed, so neither can fill up and stall the child.
void drain(int outFd, int errFd, std::string* out, std::string* err) {
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* sinks[2] = {out, err};
  int open = 2;
  char buffer[4096];
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else {
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

// Starts argv[0] (looked up on PATH) with env, standard input from /dev/null, and waits for
// it; its output is collected. JOURNAL_STREAM set to kJournalIsStandardError is replaced by
// the name of the child's standard error.
RunResult spawn(std::vector<std::string> argv, std::map<std::string, std::string> env) {
  int outPipe[2], errPipe[2];
  if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) return {};
  if (env["JOURNAL_STREAM"] == kJournalIsStandardError) {
    // As systemd names a service's journal stream: the device and inode of standard error.
    struct stat st {};
    ::fstat(errPipe[1], &st);
    env["JOURNAL_STREAM"] = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  } else if (env["JOURNAL_STREAM"].empty()) {
    env.erase("JOURNAL_STREAM");
  }

  std::vector<std::string> envStrings;
  for (auto& [k, v] : env) envStrings.push_back(k + "=" + v);
  std::vector<char*> argp, envp;
  for (auto& a : argv) argp.push_back(a.data());
  argp.push_back(nullptr);
  for (auto& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  posix_spawn_file_actions_addclose(&actions, outPipe[0]);
  posix_spawn_file_actions_addclose(&actions, errPipe[0]);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  RunResult result;
  if (rc != 0) {
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    result.err = "cannot start " + argv[0];
    return result;
  }
  drain(outPipe[0], errPipe[0], &result.out, &result.err);
  ::close(outPipe[0]);
  ::close(errPipe[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::map<std::string, std::string> currentEnvironment() {
  std::map<std::string, std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    size_t eq = entry.find('=');
    if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  return env;
}

// Wine quiet, in the test prefix, without a display, finding the test checksum library and
// loading the stand-in wevtapi.dll that scripts/test-windows put over wine's own in the prefix
// (whose default keeps wine's).
void addWineEnvironment(const WineTarget& wine, std::map<std::string, std::string>* env) {
  (*env)["WINEPREFIX"] = wine.prefix;
  (*env)["WINEDEBUG"] = "-all";
  (*env)["WINEDLLOVERRIDES"] = "mscoree,mshtml=;wevtapi=n";
  (*env)["WINEPATH"] = winePath(wine.dllFolder);
  env->erase("DISPLAY");
}

// UTF-8 text (valid, as the tests write it) as UTF-16LE after a byte-order mark.
std::string utf16leWithMark(const std::string& utf8) {
  std::string out = "\xFF\xFE";
  auto put = [&out](uint32_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  };
  for (size_t i = 0; i < utf8.size();) {
    auto byte = static_cast<unsigned char>(utf8[i]);
    int length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
    uint32_t code = length == 1 ? byte : byte & (0x7F >> length);
    for (int k = 1; k < length && i + k < utf8.size(); ++k) {
      code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    i += length;
    if (code >= 0x10000) {
      put(0xD800 + ((code - 0x10000) >> 10));
      put(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      put(code);
    }
  }
  return out;
}

}  // namespace

std::string programPath() { return SCCEVTMON_BINARY; }

std::string winePath(const std::string& posixPath) {
  std::string path = "Z:" + posixPath;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::string md5Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 0x0F];
  }
  return text;
}

Installation::Installation()
    : installPath_(folder_.path()), registry_(folder_.file("registry.reg")) {
  identity_ = {{"InstallationPath", installPath_},
               {"MEMBERID", "11"},
               {"SITEID", "22"},
               {"REGID", "4711"},
               {"TYPE", "3"},
               {"EVENT", ""}};
}

Installation::Installation(const WineTarget& wine) : Installation() {
  wine_ = &wine;
  installPath_ = winePath(folder_.path());
  identity_["InstallationPath"] = installPath_;
}

void Installation::writeRegistry(std::map<std::string, std::string> values) {
  for (auto& [name, value] : values) identity_[name] = value;
  std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\TORVEN]\r\n";
  for (auto& [name, value] : identity_) {
    std::string escaped;
    for (char c : value) {
      if (c == '\\' || c == '"') escaped += '\\';
      escaped += c;
    }
    text += "\"" + name + "\"=\"" + escaped + "\"\r\n";
  }
  // reg import reads a file without a byte-order mark in the ANSI code page; the UTF-16 that
  // regedit writes keeps every letter.
  folder_.write("registry.reg", wine_ != nullptr ? utf16leWithMark(text) : text);
}

void Installation::writeTemplate(const std::string& xml) {
  folder_.write("qSCC/MonitorTemplate/SCCEventLogTemplate.xml", xml);
  identity_["EVENT"] = md5Hex(xml);
  writeRegistry();
}

std::vector<std::string> Installation::list(const std::string& relative) const {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto& e : std::filesystem::directory_iterator(folder_.file(relative), ec)) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

RunResult Installation::run(const std::string& fakeTime, std::vector<std::string> args,
                            std::map<std::string, std::string> extraEnv) const {
  std::map<std::string, std::string> env = currentEnvironment();
  env["TZ"] = "UTC";
  env["FAKETIME_DONT_FAKE_MONOTONIC"] = "1";
  std::vector<std::string> argv;
  if (wine_ != nullptr) {
    if (!importRegistry()) return RunResult{-1, "", "cannot import " + registry_};
    addWineEnvironment(*wine_, &env);
    // The Windows program reads this computer's own event logs, which the stand-in event-log
    // API (wevtapi.dll, loaded in place of wine's) serves from the exports in the
    // installation's EventLogs folder, the folder the Linux program reads by default.
    std::string installation = identity_.at("InstallationPath");
    if (!installation.empty() && installation.back() == '\\') installation.pop_back();
    env["SCCEVTMON_STAND_IN_EVENTLOGS"] = installation + "\\EventLogs";
    argv = {wine_->wine, wine_->exe};
  } else {
    env["SCCEVTMON_REGISTRY"] = registry_;
    // Sanitizer runtimes must tolerate the faketime library loaded first.
    env["ASAN_OPTIONS"] = "verify_asan_link_order=0";
    argv = {programPath()};
  }
  for (auto& [k, v] : extraEnv) env[k] = v;

  if (!fakeTime.empty()) {
    std::string& preload = env["LD_PRELOAD"];
    preload = SCCEVTMON_FAKETIME_LIBRARY + (preload.empty() ? "" : " " + preload);
    env["FAKETIME"] = fakeTime;
  }
  argv.insert(argv.end(), args.begin(), args.end());
  return spawn(argv, env);
}

bool Installation::importRegistry() const {
  std::map<std::string, std::string> env = currentEnvironment();
  addWineEnvironment(*wine_, &env);
  // reg import adds values; the key goes first so that no value of an earlier run is left.
  // (Deleting a key that is not there fails, which is fine.)
  spawn({wine_->wine, "reg", "delete", "HKLM\\Software\\Wow6432Node\\TORVEN", "/f"}, env);
  return spawn({wine_->wine, "reg", "import", winePath(registry_)}, env).exitCode == 0;
}

std::string Installation::installFolderPrefix() const {
  return installPath_ + (wine_ != nullptr ? "\\" : "/");
}

ReportingAgent::ReportingAgent() {
  inst.writeRegistry();
  inst.write("Configuration/qScriptDNS.ini",
             "[wpdcmodjobexestsins]\r\nURL=" + receiver.baseUrl() +
                 "\r\n[wpdcmscctmpevtlgfail]\r\nURL=" + receiver.baseUrl() + "\r\n");
}

RunResult ReportingAgent::run(const std::string& fakeTime) {
  return inst.run(fakeTime, {}, {{"no_proxy", "*"}});
}

namespace {

// The text between open and close in each request body that holds open.
std::vector<std::string> elementTexts(const std::vector<testing::HttpReceiver::Request>& requests,
                                      const std::string& open, const std::string& close) {
  std::vector<std::string> out;
  for (const auto& r : requests) {
    size_t start = r.body.find(open);
    if (start == std::string::npos) continue;
    start += open.size();
    out.push_back(r.body.substr(start, r.body.find(close, start) - start));
  }
  return out;
}

}  // namespace

std::vector<std::string> ReportingAgent::statuses() const {
  return elementTexts(receiver.requests(), "<status>", "</status>");
}

std::vector<std::string> ReportingAgent::failures() const {
  return elementTexts(receiver.requests(), "<faildesc><![CDATA[", "]]></faildesc>");
}

bool ReportingAgent::logged(const std::string& message) const {
  return inst.activityLog().find("\t" + message + "\r\n") != std::string::npos;
}

}  // namespace sccevtmon::e2e

#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace sccevtmon {

// An in-memory file system. Paths are normalised as the real file layer does ('\' to '/',
// repeated separators collapsed). Every operation first asks the fail hook, which can make it
// fail with any status.
class FakeFileSystem : public FileSystem {
 public:
  struct File {
    std::string content;
    bool readOnly = false;
  };

  std::map<std::string, File> files;
  std::set<std::string> folders;
  std::set<std::string> others;               // paths holding a link, a pipe or a device
  std::map<std::string, std::string> owners;  // ownerName() of a path; empty when not listed
  std::set<std::string> locks;      // lock files held (by tryLock, or by "another process")
  std::multiset<std::string> held;  // files held by holdForReading, while their holds live
  // Called with the operation name ("createFolder", "createTextFile", "append", "write",
  // "copyFile", "deleteFile", "fileSize", "isWritable", "readFile", "openForReading", "readAt",
  // "listFiles", "createFileAside", "renameFile", "tryLock", "holdForReading", "close") and the
  // normalised path; a non-ok result fails it.
  std::function<Status(const std::string& op, const std::string& path)> fail;
  std::vector<std::string> operations;  // "op path" of every operation, in order
  // Text streams keep what is written until flush() or close(), as the real ones may; by
  // default it reaches the file at once.
  bool holdUntilFlush = false;
  // The largest single read of a file opened with openForReading, and the bytes so read.
  std::size_t largestRead = 0;
  std::uint64_t bytesRead = 0;

  static std::string normalise(const std::string& path);
  // Adds a folder and all its parents.
  void addFolder(const std::string& path);
  void addFile(const std::string& path, const std::string& content);
  bool hasFile(const std::string& path) const { return files.count(normalise(path)) != 0; }
  std::string content(const std::string& path) const;

  bool folderExists(const std::string& path) override;
  Status createFolder(const std::string& path) override;
  bool fileExists(const std::string& path) override;
  Status fileSize(const std::string& path, std::uint64_t* size) override;
  Status readFile(const std::string& path, std::string* bytes, std::uint64_t maxBytes) override;
  // Reads see the file's content as it is at each read; "readAt" can be failed too.
  Status openForReading(const std::string& path, std::unique_ptr<ReadableFile>* file) override;
  Status listFiles(const std::string& folder, std::vector<std::string>* names) override;
  Status createTextFile(const std::string& path, bool overwrite,
                        std::unique_ptr<TextStream>* stream) override;
  Status openTextFileForAppending(const std::string& path,
                                  std::unique_ptr<TextStream>* stream) override;
  Status copyFile(const std::string& source, const std::string& destination,
                  bool overwrite) override;
  Status deleteFile(const std::string& path, bool force) override;
  // An existing folder, or an existing file that is not read-only, unless the fail hook says no.
  bool isWritable(const std::string& path) override;
  PathKind pathKind(const std::string& path) override;
  std::string ownerName(const std::string& path) override {
    auto it = owners.find(normalise(path));
    return it == owners.end() ? std::string() : it->second;
  }
  std::string nativePath(const std::string& path) override { return normalise(path); }
  Status createFileAside(const std::string& path, std::string* asidePath,
                         std::unique_ptr<TextStream>* stream) override;
  Status renameFile(const std::string& from, const std::string& to) override;
  Status tryLock(const std::string& path, std::unique_ptr<FileHold>* lock) override;
  Status holdForReading(const std::string& path, std::unique_ptr<FileHold>* hold) override;

 private:
  int asideCount_ = 0;
  Status check(const std::string& op, const std::string& path);
  bool parentExists(const std::string& path) const;
  Status open(const std::string& path, bool truncate, std::unique_ptr<TextStream>* stream);
};

}  // namespace sccevtmon

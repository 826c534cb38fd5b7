#pragma once

#include <functional>
#include <utility>

#include "platform/file_system.h"

namespace sccevtmon {

// The file-system object over the Win32 file functions. Paths are used as the core builds
// them; Win32 error codes become the run-time errors the object raises.
class WinFileSystem : public FileSystem {
 public:
  // How often a replace held up by another opener is tried, and what runs between tries.
  static constexpr int kReplaceAttempts = 10;
  WinFileSystem();
  // pause: runs between the tries of a held-up replace (tests release the file there).
  explicit WinFileSystem(std::function<void()> pause) : pause_(std::move(pause)) {}

  bool folderExists(const std::string& path) override;
  Status createFolder(const std::string& path) override;
  bool fileExists(const std::string& path) override;
  Status fileSize(const std::string& path, std::uint64_t* size) override;
  Status readFile(const std::string& path, std::string* bytes, std::uint64_t maxBytes) override;
  Status openForReading(const std::string& path, std::unique_ptr<ReadableFile>* file) override;
  Status listFiles(const std::string& folder, std::vector<std::string>* names) override;
  Status listReadableFiles(const std::string& folder, std::vector<std::string>* names) override;
  Status createTextFile(const std::string& path, bool overwrite,
                        std::unique_ptr<TextStream>* stream) override;
  Status openTextFileForAppending(const std::string& path,
                                  std::unique_ptr<TextStream>* stream) override;
  Status createFileAside(const std::string& path, std::string* asidePath,
                         std::unique_ptr<TextStream>* stream) override;
  // Replacing a file another program holds open (the agent reading a report, a scanner
  // looking at a file just closed) fails until it lets go: both retry a while (see replace).
  Status renameFile(const std::string& from, const std::string& to) override;
  Status copyFile(const std::string& source, const std::string& destination,
                  bool overwrite) override;
  Status deleteFile(const std::string& path, bool force) override;
  // From the read-only attribute; access control lists are not consulted.
  bool isWritable(const std::string& path) override;
  // Repeated separators collapsed and a trailing one dropped.
  PathKind pathKind(const std::string& path) override;
  std::string ownerName(const std::string&) override { return {}; }
  std::string nativePath(const std::string& path) override;
  // The lock is a byte range of the lock file (LockFileEx, without waiting), the file opened
  // sharing reads and writes: a scanner or a backup that opens the file is no other run.
  // The hold opens the file sharing reads only.
  Status tryLock(const std::string& path, std::unique_ptr<FileHold>* lock) override;
  Status holdForReading(const std::string& path, std::unique_ptr<FileHold>* hold) override;

 private:
  // Moves from over to, replacing it: MoveFileExA needs delete access to an existing to, so
  // another opener that does not share deletion makes it fail with 5 or 32 for as long as it
  // holds the file. Tried kReplaceAttempts times with pause_ between; the last failure is
  // returned. The destination is never missing: the move replaces it or leaves it.
  Status replace(const std::string& from, const std::string& to);

  std::function<void()> pause_;
};

}  // namespace sccevtmon

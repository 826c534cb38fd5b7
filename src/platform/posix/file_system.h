#pragma once

#include "platform/file_system.h"

namespace sccevtmon {

// The file-system object over the POSIX file system; paths go through toPosixPath.
class PosixFileSystem : public FileSystem {
 public:
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
  Status copyFile(const std::string& source, const std::string& destination,
                  bool overwrite) override;
  Status deleteFile(const std::string& path, bool force) override;
  bool isWritable(const std::string& path) override;
  PathKind pathKind(const std::string& path) override;
  std::string ownerName(const std::string& path) override;
  std::string nativePath(const std::string& path) override;
  Status createFileAside(const std::string& path, std::string* asidePath,
                         std::unique_ptr<TextStream>* stream) override;
  Status renameFile(const std::string& from, const std::string& to) override;
  Status tryLock(const std::string& path, std::unique_ptr<FileHold>* lock) override;
  Status holdForReading(const std::string& path, std::unique_ptr<FileHold>* hold) override;
};

}  // namespace sccevtmon

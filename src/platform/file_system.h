#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "util/status.h"

namespace sccevtmon {

// A single-byte text file open for writing. Lines end with CR LF.
class TextStream {
 public:
  virtual ~TextStream() = default;
  virtual Status writeLine(const std::string& text) = 0;
  // Writes text without a line end.
  virtual Status write(const std::string& text) = 0;
  virtual Status close() = 0;
};

// Folder and file operations of the shared file-system object. Paths are Windows-shaped;
// failures carry run-time error numbers (53 file not found, 76 path not found, 70 permission
// denied, ...).
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual bool folderExists(const std::string& path) = 0;
  // Creates one folder; its parent must exist.
  virtual Status createFolder(const std::string& path) = 0;
  virtual bool fileExists(const std::string& path) = 0;
  virtual Status fileSize(const std::string& path, std::uint64_t* size) = 0;
  // The whole content of a file.
  virtual Status readFile(const std::string& path, std::string* bytes) = 0;

  // Creates (overwriting when asked) or opens for appending a text file.
  virtual Status createTextFile(const std::string& path, bool overwrite,
                                std::unique_ptr<TextStream>* stream) = 0;
  virtual Status openTextFileForAppending(const std::string& path,
                                          std::unique_ptr<TextStream>* stream) = 0;

  virtual Status copyFile(const std::string& source, const std::string& destination,
                          bool overwrite) = 0;
  // Deletes a file; force also deletes a read-only one.
  virtual Status deleteFile(const std::string& path, bool force) = 0;

  // Whether this process may create and replace files in an existing folder, or write an
  // existing file. Asks without writing anything.
  virtual bool isWritable(const std::string& path) = 0;
  // The path as this system writes it, for texts an operator reads or types.
  virtual std::string nativePath(const std::string& path) = 0;
};

}  // namespace sccevtmon

#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "util/status.h"

namespace sccevtmon {

// A single-byte text file open for writing. Lines end with CR LF. What is written may be held
// in a buffer until flush() or close(), whose failure then tells of it.
class TextStream {
 public:
  virtual ~TextStream() = default;
  virtual Status writeLine(const std::string& text) = 0;
  // Writes text without a line end.
  virtual Status write(const std::string& text) = 0;
  // Passes what the stream holds to the file.
  virtual Status flush() = 0;
  // Flushes and closes; a file created aside is also made durable before it is renamed.
  virtual Status close() = 0;
};

// What the file systems' text streams share: text gathers in a buffer that goes to the file
// when it is full, on flush() and on close(). Once a write to the file fails the stream stays
// failed, so no later line follows a gap.
class BufferedTextStream : public TextStream {
 public:
  Status writeLine(const std::string& text) final;
  Status write(const std::string& text) final;
  Status flush() final;

 protected:
  // Whether the file is still open.
  virtual bool isOpen() const = 0;
  // Writes all of the bytes to the file, or fails.
  virtual Status writeOut(const char* data, std::size_t size) = 0;

 private:
  static constexpr std::size_t kBufferBytes = 64 * 1024;
  std::string buffer_;
  Status failure_;
};

// A regular file open for reading a piece at a time, at any offset: an event log can be far
// larger than what the monitor may hold, so it is never read whole.
class ReadableFile {
 public:
  virtual ~ReadableFile() = default;
  // The file's size when it was opened.
  virtual std::uint64_t size() const = 0;
  // Reads up to size bytes from offset into buffer; *count is less than size only where the
  // file ends.
  virtual Status readAt(std::uint64_t offset, char* buffer, std::size_t size,
                        std::size_t* count) = 0;
};

// Something held for as long as the object lives (a lock, an open file), released by
// destroying it.
class FileHold {
 public:
  virtual ~FileHold() = default;
};

// What follows a file's name in the name of the file written aside for it (createFileAside),
// before the characters that make that name unique. A file whose name holds it is unfinished.
inline constexpr char kAsideMark[] = ".part-";

// The description of tryLock's failure when another process holds the lock; every other
// failure of tryLock means the lock file itself is unusable.
inline constexpr char kLockHeld[] = "another run holds it";

// The largest settings file (INI, registry file) or template the monitor reads: 16 MiB.
inline constexpr std::uint64_t kMaxSettingsFileBytes = std::uint64_t{16} << 20;

// What stands at a path, its last part not followed: nothing, a regular file, a folder, or
// anything else (a link or junction, a pipe, a device).
enum class PathKind { kMissing, kFile, kFolder, kOther };

// Folder and file operations of the shared file-system object. Paths are Windows-shaped;
// failures carry run-time error numbers (53 file not found, 76 path not found, 70 permission
// denied, ...). No operation follows a symbolic link (or junction) in the last part of a path
// where it creates or writes a file: it fails instead (75).
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual bool folderExists(const std::string& path) = 0;
  // Creates one folder; its parent must exist.
  virtual Status createFolder(const std::string& path) = 0;
  virtual bool fileExists(const std::string& path) = 0;
  virtual Status fileSize(const std::string& path, std::uint64_t* size) = 0;
  // The whole content of a regular file of at most maxBytes bytes; anything else (a folder,
  // a device, a pipe, a larger file) fails with 75 and is not read.
  virtual Status readFile(const std::string& path, std::string* bytes, std::uint64_t maxBytes) = 0;
  // Opens a regular file for reading in pieces (others may write it meanwhile); anything else
  // (a folder, a device, a pipe) fails with 75 and is not opened. Opening never blocks.
  virtual Status openForReading(const std::string& path, std::unique_ptr<ReadableFile>* file) = 0;
  // The names of the files (not folders) in a folder, in no particular order.
  virtual Status listFiles(const std::string& folder, std::vector<std::string>* names) = 0;
  // The names of the files in a folder that openForReading opens, in no particular order,
  // those reached through a symbolic link (or junction) included: what an operator links into
  // a folder to be read where it lies. listFiles leaves them out, as the monitor's own folders
  // hold no link it should follow. A file system without links lists what listFiles does.
  virtual Status listReadableFiles(const std::string& folder, std::vector<std::string>* names) {
    return listFiles(folder, names);
  }

  // Creates a new text file, or with overwrite replaces the content of an existing one, or
  // opens one for appending (created when missing).
  virtual Status createTextFile(const std::string& path, bool overwrite,
                                std::unique_ptr<TextStream>* stream) = 0;
  virtual Status openTextFileForAppending(const std::string& path,
                                          std::unique_ptr<TextStream>* stream) = 0;
  // Creates a new file beside path to be renamed to path once it is whole: its name is
  // path's name, kAsideMark and characters no file in the folder has (as mkstemp makes them).
  // *asidePath receives its path.
  virtual Status createFileAside(const std::string& path, std::string* asidePath,
                                 std::unique_ptr<TextStream>* stream) = 0;
  // Renames a file within its file system, replacing a file of the new name at once (a
  // reader sees the old file or the new one, never a part).
  virtual Status renameFile(const std::string& from, const std::string& to) = 0;

  // Copies a file; the destination appears whole or not at all: the copy is written beside
  // the source (as createFileAside names it) and renamed to the destination, which must be
  // on the same volume. The destination's folder never holds any other name.
  virtual Status copyFile(const std::string& source, const std::string& destination,
                          bool overwrite) = 0;
  // Deletes a file; force also deletes a read-only one.
  virtual Status deleteFile(const std::string& path, bool force) = 0;

  // Whether this process may create and replace files in an existing folder, or write an
  // existing file. Asks without writing anything.
  virtual bool isWritable(const std::string& path) = 0;
  // What stands at path, without following a link in its last part.
  virtual PathKind pathKind(const std::string& path) = 0;
  // The name of the user who owns path, where the system has one owner per file and tells
  // it; empty otherwise (Windows, a missing path).
  virtual std::string ownerName(const std::string& path) = 0;
  // The path as this system writes it, for texts an operator reads or types.
  virtual std::string nativePath(const std::string& path) = 0;
  // Takes the exclusive lock on the lock file path (created when missing) without waiting;
  // it lasts as long as *lock. Held by another process: fails with 70. On Windows the file is
  // opened without sharing; here it is an advisory lock of the whole file.
  virtual Status tryLock(const std::string& path, std::unique_ptr<FileHold>* lock) = 0;
  // Keeps a file as it is while *hold lives. On Windows the file is opened with writes and
  // deletes denied (sharing read only), so a library that reads the file itself sees what the
  // monitor read; the portable build cannot deny them, so its readers work on the bytes they
  // read instead, and the hold only checks that the file can be opened.
  virtual Status holdForReading(const std::string& path, std::unique_ptr<FileHold>* hold) = 0;
};

}  // namespace sccevtmon

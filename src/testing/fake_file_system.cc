#include "testing/fake_file_system.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace sccevtmon {
namespace {

class FakeStream : public TextStream {
 public:
  FakeStream(FakeFileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}

  Status writeLine(const std::string& text) override { return write(text + "\r\n"); }

  Status write(const std::string& text) override {
    if (closed_) return runtimeError(kErrBadFileName);
    if (fs_.fail) {
      Status s = fs_.fail("write", path_);
      if (!s.ok()) return s;
    }
    (fs_.holdUntilFlush ? held_ : fs_.files[path_].content) += text;
    return Status::success();
  }

  Status flush() override {
    if (closed_) return runtimeError(kErrBadFileName);
    if (!held_.empty()) fs_.files[path_].content += held_;
    held_.clear();
    return Status::success();
  }

  Status close() override {
    if (closed_) return Status::success();
    flush();
    closed_ = true;
    return fs_.fail ? fs_.fail("close", path_) : Status::success();
  }

 private:
  FakeFileSystem& fs_;
  std::string path_;
  std::string held_;  // written, not yet flushed (holdUntilFlush)
  bool closed_ = false;
};

}  // namespace

std::string FakeFileSystem::normalise(const std::string& path) {
  // Both separators are one, and repeated separators collapse, as on the portable file layer.
  std::string p;
  for (char c : path) {
    char mapped = c == '\\' ? '/' : c;
    if (mapped != '/' || p.empty() || p.back() != '/') p += mapped;
  }
  if (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

void FakeFileSystem::addFolder(const std::string& path) {
  std::string p = normalise(path);
  for (size_t i = 1; i <= p.size(); ++i) {
    if (i == p.size() || p[i] == '/') folders.insert(p.substr(0, i));
  }
}

void FakeFileSystem::addFile(const std::string& path, const std::string& content) {
  files[normalise(path)] = File{content, false};
}

std::string FakeFileSystem::content(const std::string& path) const {
  auto it = files.find(normalise(path));
  return it == files.end() ? std::string() : it->second.content;
}

Status FakeFileSystem::check(const std::string& op, const std::string& path) {
  operations.push_back(op + " " + path);
  return fail ? fail(op, path) : Status::success();
}

bool FakeFileSystem::parentExists(const std::string& path) const {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return true;
  return folders.count(path.substr(0, slash)) != 0;
}

bool FakeFileSystem::folderExists(const std::string& path) {
  return folders.count(normalise(path)) != 0;
}

Status FakeFileSystem::createFolder(const std::string& path) {
  std::string p = normalise(path);
  if (Status s = check("createFolder", p); !s.ok()) return s;
  if (folders.count(p) || files.count(p)) return runtimeError(kErrFileExists);
  if (!parentExists(p)) return runtimeError(kErrPathNotFound);
  folders.insert(p);
  return Status::success();
}

bool FakeFileSystem::fileExists(const std::string& path) { return hasFile(path); }

Status FakeFileSystem::fileSize(const std::string& path, std::uint64_t* size) {
  std::string p = normalise(path);
  if (Status s = check("fileSize", p); !s.ok()) return s;
  auto it = files.find(p);
  if (it == files.end()) return runtimeError(kErrFileNotFound);
  *size = it->second.content.size();
  return Status::success();
}

Status FakeFileSystem::readFile(const std::string& path, std::string* bytes,
                                std::uint64_t maxBytes) {
  std::string p = normalise(path);
  if (Status s = check("readFile", p); !s.ok()) return s;
  auto it = files.find(p);
  if (it == files.end()) return runtimeError(kErrFileNotFound);
  if (it->second.content.size() > maxBytes) return runtimeError(kErrPathFileAccess);
  *bytes = it->second.content;
  return Status::success();
}

namespace {

class FakeReadableFile : public ReadableFile {
 public:
  FakeReadableFile(FakeFileSystem& fs, std::string path)
      : fs_(fs), path_(std::move(path)), size_(fs.files[path_].content.size()) {}

  std::uint64_t size() const override { return size_; }
  Status readAt(std::uint64_t offset, char* buffer, std::size_t size, std::size_t* count) override {
    *count = 0;
    if (fs_.fail) {
      if (Status s = fs_.fail("readAt", path_); !s.ok()) return s;
    }
    auto it = fs_.files.find(path_);
    if (it == fs_.files.end()) return runtimeError(kErrDeviceIo);
    const std::string& content = it->second.content;
    fs_.largestRead = std::max(fs_.largestRead, size);
    if (offset < content.size()) {
      *count = std::min<std::uint64_t>(size, content.size() - offset);
      std::memcpy(buffer, content.data() + offset, *count);
    }
    fs_.bytesRead += *count;
    return Status::success();
  }

 private:
  FakeFileSystem& fs_;
  std::string path_;
  std::uint64_t size_;
};

}  // namespace

Status FakeFileSystem::openForReading(const std::string& path,
                                      std::unique_ptr<ReadableFile>* file) {
  std::string p = normalise(path);
  if (Status s = check("openForReading", p); !s.ok()) return s;
  if (folders.count(p)) return runtimeError(kErrPathFileAccess);
  if (!files.count(p)) return runtimeError(kErrFileNotFound);
  *file = std::make_unique<FakeReadableFile>(*this, p);
  return Status::success();
}

Status FakeFileSystem::listFiles(const std::string& folder, std::vector<std::string>* names) {
  std::string p = normalise(folder);
  if (Status s = check("listFiles", p); !s.ok()) return s;
  if (!folders.count(p)) return runtimeError(kErrPathNotFound);
  names->clear();
  for (const auto& [path, file] : files) {
    if (path.size() > p.size() + 1 && path.compare(0, p.size() + 1, p + "/") == 0 &&
        path.find('/', p.size() + 1) == std::string::npos) {
      names->push_back(path.substr(p.size() + 1));
    }
  }
  return Status::success();
}

Status FakeFileSystem::open(const std::string& p, bool truncate,
                            std::unique_ptr<TextStream>* stream) {
  if (!parentExists(p)) return runtimeError(kErrPathNotFound);
  if (folders.count(p)) return runtimeError(kErrPathFileAccess);
  auto it = files.find(p);
  if (it != files.end() && it->second.readOnly) return runtimeError(kErrPermissionDenied);
  if (truncate || it == files.end()) files[p] = File{};
  *stream = std::make_unique<FakeStream>(*this, p);
  return Status::success();
}

Status FakeFileSystem::createTextFile(const std::string& path, bool overwrite,
                                      std::unique_ptr<TextStream>* stream) {
  std::string p = normalise(path);
  if (Status s = check("createTextFile", p); !s.ok()) return s;
  if (!overwrite && files.count(p)) return runtimeError(kErrFileExists);
  return open(p, true, stream);
}

Status FakeFileSystem::openTextFileForAppending(const std::string& path,
                                                std::unique_ptr<TextStream>* stream) {
  std::string p = normalise(path);
  if (Status s = check("append", p); !s.ok()) return s;
  return open(p, false, stream);
}

Status FakeFileSystem::copyFile(const std::string& source, const std::string& destination,
                                bool overwrite) {
  std::string from = normalise(source);
  std::string to = normalise(destination);
  if (Status s = check("copyFile", from + " -> " + to); !s.ok()) return s;
  auto it = files.find(from);
  if (it == files.end()) return runtimeError(kErrFileNotFound);
  if (!parentExists(to)) return runtimeError(kErrPathNotFound);
  auto dst = files.find(to);
  if (dst != files.end()) {
    if (!overwrite) return runtimeError(kErrFileExists);
    if (dst->second.readOnly) return runtimeError(kErrPermissionDenied);
  }
  files[to] = File{it->second.content, false};
  return Status::success();
}

PathKind FakeFileSystem::pathKind(const std::string& path) {
  std::string p = normalise(path);
  if (others.count(p)) return PathKind::kOther;
  if (folders.count(p)) return PathKind::kFolder;
  return files.count(p) ? PathKind::kFile : PathKind::kMissing;
}

Status FakeFileSystem::deleteFile(const std::string& path, bool force) {
  std::string p = normalise(path);
  if (Status s = check("deleteFile", p); !s.ok()) return s;
  auto it = files.find(p);
  if (it == files.end()) return runtimeError(kErrFileNotFound);
  if (it->second.readOnly && !force) return runtimeError(kErrPermissionDenied);
  files.erase(it);
  return Status::success();
}

bool FakeFileSystem::isWritable(const std::string& path) {
  std::string p = normalise(path);
  if (!check("isWritable", p).ok()) return false;
  auto it = files.find(p);
  return folders.count(p) != 0 || (it != files.end() && !it->second.readOnly);
}

Status FakeFileSystem::createFileAside(const std::string& path, std::string* asidePath,
                                       std::unique_ptr<TextStream>* stream) {
  std::string p = normalise(path);
  if (Status s = check("createFileAside", p); !s.ok()) return s;
  std::string suffix = std::to_string(++asideCount_);
  std::string aside =
      p + kAsideMark + std::string(6 - std::min<size_t>(6, suffix.size()), '0') + suffix;
  if (files.count(aside)) return runtimeError(kErrFileExists);
  *asidePath = aside;
  return open(aside, true, stream);
}

Status FakeFileSystem::renameFile(const std::string& from, const std::string& to) {
  std::string f = normalise(from);
  std::string t = normalise(to);
  if (Status s = check("renameFile", f + " -> " + t); !s.ok()) return s;
  auto it = files.find(f);
  if (it == files.end()) return runtimeError(kErrFileNotFound);
  if (!parentExists(t)) return runtimeError(kErrPathNotFound);
  File moved = it->second;
  files.erase(it);
  files[t] = moved;
  return Status::success();
}

namespace {

class FakeLock : public FileHold {
 public:
  FakeLock(std::set<std::string>& locks, std::string path) : locks_(locks), path_(path) {}
  ~FakeLock() override { locks_.erase(path_); }

 private:
  std::set<std::string>& locks_;
  std::string path_;
};

}  // namespace

Status FakeFileSystem::tryLock(const std::string& path, std::unique_ptr<FileHold>* lock) {
  std::string p = normalise(path);
  if (Status s = check("tryLock", p); !s.ok()) return s;
  if (!parentExists(p)) return runtimeError(kErrPathNotFound);
  if (locks.count(p)) return Status{kErrPermissionDenied, kLockHeld};
  if (!files.count(p)) files[p] = File{};
  locks.insert(p);
  *lock = std::make_unique<FakeLock>(locks, p);
  return Status::success();
}

Status FakeFileSystem::holdForReading(const std::string& path, std::unique_ptr<FileHold>* hold) {
  std::string p = normalise(path);
  if (Status s = check("holdForReading", p); !s.ok()) return s;
  if (!files.count(p)) return runtimeError(kErrFileNotFound);
  class Hold : public FileHold {
   public:
    Hold(std::multiset<std::string>& held, std::string path) : held_(held), path_(std::move(path)) {
      held_.insert(path_);
    }
    ~Hold() override { held_.erase(held_.find(path_)); }

   private:
    std::multiset<std::string>& held_;
    std::string path_;
  };
  *hold = std::make_unique<Hold>(held, p);
  return Status::success();
}

}  // namespace sccevtmon

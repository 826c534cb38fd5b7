#include "platform/win32/agent_checksum.h"

#include <utility>

#include "platform/win32/automation.h"
#include "platform/win32/error.h"

namespace sccevtmon {
namespace {

using WholeFileFunction = short(WINAPI*)(VARIANT, VARIANT*, VARIANT*, VARIANT*);
using BlockFunction = short(WINAPI*)(VARIANT, VARIANT, VARIANT*, VARIANT*, VARIANT*);

// The 32-bit build (the one that ships) is never run here: what the agent's standard-call
// exports pop must be what these calls push (QGetMD5@28, QGetMD5WBlock@44), and a VARIANT
// passed by value must have the layout OLE Automation gives it.
#ifndef _WIN64
static_assert(sizeof(void*) == 4 && alignof(VARIANT) <= 8);
static_assert(sizeof(VARIANT) == 16, "a VARIANT by value is 16 bytes on i686");
static_assert(sizeof(VARIANT) + 3 * sizeof(VARIANT*) == 28, "QGetMD5 pops 28 bytes");
static_assert(2 * sizeof(VARIANT) + 3 * sizeof(VARIANT*) == 44, "QGetMD5WBlock pops 44 bytes");
#else
static_assert(sizeof(VARIANT) == 24, "a VARIANT is 24 bytes on x86_64");
#endif
static_assert(sizeof(short) == 2, "both functions answer a 16-bit integer");

// A VARIANT this side owns, cleared with it.
class Variant {
 public:
  Variant() { VariantInit(&value_); }
  ~Variant() { VariantClear(&value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;

  VARIANT* get() { return &value_; }
  const VARIANT& value() const { return value_; }
  // A string VARIANT holding text.
  void setText(const std::string& text) {
    VariantClear(&value_);
    V_VT(&value_) = VT_BSTR;
    V_BSTR(&value_) = Bstr(text).release();
  }
  // An output as the previous call left it: a text, or Empty when there was none.
  void setOutput(const std::string& text) {
    if (text.empty()) {
      VariantClear(&value_);
    } else {
      setText(text);
    }
  }

 private:
  VARIANT value_;
};

// Any function pointer, as the address GetProcAddress gives (through the one function type
// every other converts from without a warning).
template <typename Function>
Function functionAt(FARPROC address) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

}  // namespace

AgentChecksumLibrary::AgentChecksumLibrary(std::string library) : library_(std::move(library)) {}

AgentChecksumLibrary::~AgentChecksumLibrary() {
  if (module_ != nullptr) FreeLibrary(module_);
}

Status AgentChecksumLibrary::load() {
  if (module_ != nullptr) return Status::success();
  module_ = LoadLibraryA(library_.c_str());
  if (module_ != nullptr) return Status::success();
  DWORD code = GetLastError();
  if (code == ERROR_MOD_NOT_FOUND || code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
    return Status{kErrFileNotFound, "File not found: " + library_};
  }
  // "%1 is not a valid Win32 application" (Bad EXE format under wine) names the library; it
  // is what a 64-bit program meets with the agent's 32-bit library.
  std::string why = oneLine(win32Message(code, {library_}));
  if (code == ERROR_BAD_EXE_FORMAT) {
    why += sizeof(void*) == 8 ? " (a 64-bit program cannot load a 32-bit library: run the 32-bit "
                                "build)"
                              : " (a 32-bit program cannot load a 64-bit library)";
  }
  return Status{kErrDllLoad, "Error in loading DLL " + library_ + ": " +
                                 (why.empty() ? "error " + std::to_string(code) : why)};
}

Status AgentChecksumLibrary::call(const char* function, const std::string& fileName,
                                  const std::string* blockSize, ChecksumOutputs& out,
                                  std::int16_t* result) {
  *result = 0;
  if (Status s = load(); !s.ok()) return s;
  FARPROC address = GetProcAddress(module_, function);
  if (address == nullptr) {
    return Status{kErrDllEntryPoint,
                  "Can't find DLL entry point " + std::string(function) + " in " + library_};
  }

  Variant file;
  file.setText(fileName);
  Variant checksum;
  checksum.setText(out.checksum);
  Variant size;
  size.setOutput(out.fileSize);
  Variant error;
  error.setOutput(out.errorInfo);

  short answer = 0;
  if (blockSize == nullptr) {
    answer = functionAt<WholeFileFunction>(address)(file.value(), checksum.get(), size.get(),
                                                    error.get());
  } else {
    Variant block;
    block.setText(*blockSize);
    answer = functionAt<BlockFunction>(address)(file.value(), block.value(), checksum.get(),
                                                size.get(), error.get());
  }

  ChecksumOutputs read;
  if (Status s = variantText(checksum.value(), &read.checksum); !s.ok()) return s;
  if (Status s = variantText(size.value(), &read.fileSize); !s.ok()) return s;
  if (Status s = variantText(error.value(), &read.errorInfo); !s.ok()) return s;
  out = std::move(read);
  *result = answer;
  return Status::success();
}

std::string AgentChecksumLibrary::operatorCommand(const std::string& fileName) {
  // The path as Windows shows it: no doubled separators (a name holds no double quote).
  std::string path;
  for (std::size_t i = 0; i < fileName.size(); ++i) {
    bool doubled = i > 1 && fileName[i] == '\\' && path.back() == '\\';
    if (!doubled) path += fileName[i];
  }
  return "certutil -hashfile \"" + path + "\" MD5";
}

}  // namespace sccevtmon

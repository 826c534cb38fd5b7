// A stand-in for the agent's checksum library QGnMD5, for the Windows tests only (never
// shipped): the two exports the monitor calls, over BCrypt's MD5, answering as the portable
// build's OpenSslChecksum does (upper-case hex digest, the size in bytes, the block size only
// deciding how much is read at a time: its text in kilobytes, clamped to 1..65536, 64 when
// missing or not a number; on failure 0 and the Win32 code and its text in the error output).
//
//   short __stdcall QGetMD5(VARIANT fileName, VARIANT* checksum, VARIANT* size, VARIANT* error)
//   short __stdcall QGetMD5WBlock(VARIANT fileName, VARIANT blockSize, VARIANT* checksum,
//                                 VARIANT* size, VARIANT* error)
//
// The size goes out as a number (VT_I4, or VT_R8 beyond), so the caller's reading of outputs
// as text is exercised. One test-only block size, "stand-in:unknown-output", makes the call
// fail with an array in the error output that no text can be made of.
#include <windows.h>
// After <windows.h>, whose types they use:
#include <bcrypt.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace {

void setText(VARIANT* target, const std::wstring& text) {
  VariantClear(target);
  V_VT(target) = VT_BSTR;
  V_BSTR(target) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

void setSize(VARIANT* target, unsigned long long size) {
  VariantClear(target);
  if (size <= 0x7FFFFFFFull) {
    V_VT(target) = VT_I4;
    V_I4(target) = static_cast<LONG>(size);
  } else {
    V_VT(target) = VT_R8;
    V_R8(target) = static_cast<double>(size);
  }
}

// A string argument's text; empty when it is not a string.
std::wstring textOf(const VARIANT& value) {
  VARIANT copy;
  VariantInit(&copy);
  std::wstring text;
  if (SUCCEEDED(VariantCopyInd(&copy, const_cast<VARIANT*>(&value))) &&
      SUCCEEDED(VariantChangeType(&copy, &copy, 0, VT_BSTR)) && V_BSTR(&copy) != nullptr) {
    text.assign(V_BSTR(&copy), SysStringLen(V_BSTR(&copy)));
  }
  VariantClear(&copy);
  return text;
}

// The block size in bytes, as OpenSslChecksum::blockBytes reads its text.
std::size_t blockBytes(const std::wstring& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) {
    negative = text[i] == L'-';
    ++i;
  }
  unsigned long long kb = 0;
  bool any = false;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    any = true;
    if (kb < 1000000) kb = kb * 10 + static_cast<unsigned>(text[i] - L'0');
  }
  if (!any) {
    kb = 64;
  } else if (negative || kb < 1) {
    kb = 1;
  }
  if (kb > 65536) kb = 65536;
  return static_cast<std::size_t>(kb) * 1024;
}

// "CODE text" of a Win32 error.
std::wstring errorText(DWORD code) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::wstring message = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
  if (text != nullptr) LocalFree(text);
  while (!message.empty() &&
         (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
    message.pop_back();
  }
  return std::to_wstring(code) + (message.empty() ? L"" : L" " + message);
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

class Md5 {
 public:
  Md5() {
    if (BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_MD5_ALGORITHM, nullptr, 0) != 0) return;
    DWORD length = 0;
    ULONG written = 0;
    if (BCryptGetProperty(algorithm_, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&length),
                          sizeof length, &written, 0) != 0) {
      return;
    }
    object_.resize(length);
    if (BCryptCreateHash(algorithm_, &hash_, object_.data(), length, nullptr, 0, 0) != 0) {
      hash_ = nullptr;
    }
  }
  ~Md5() {
    if (hash_ != nullptr) BCryptDestroyHash(hash_);
    if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
  }
  bool ready() const { return hash_ != nullptr; }
  void add(const unsigned char* data, DWORD length) {
    BCryptHashData(hash_, const_cast<PUCHAR>(data), length, 0);
  }
  std::wstring hex() {
    unsigned char digest[16];
    BCryptFinishHash(hash_, digest, sizeof digest, 0);
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring text;
    for (unsigned char b : digest) {
      text += kHex[b >> 4];
      text += kHex[b & 0x0F];
    }
    return text;
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
  std::vector<unsigned char> object_;
};

short md5OfFile(const std::wstring& fileName, std::size_t block, VARIANT* checksum, VARIANT* size,
                VARIANT* error) {
  Handle file(CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    setText(error, errorText(GetLastError()));
    return 0;
  }
  Md5 md5;
  if (!md5.ready()) {
    setText(error, L"MD5 is not available");
    return 0;
  }
  // A block larger than the file is never filled: read the file at most whole.
  LARGE_INTEGER length{};
  if (GetFileSizeEx(file.get(), &length) &&
      static_cast<unsigned long long>(length.QuadPart) < static_cast<unsigned long long>(block)) {
    block = static_cast<std::size_t>(length.QuadPart);
  }
  std::vector<unsigned char> buffer(block == 0 ? 1 : block);
  unsigned long long total = 0;
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) {
      setText(error, errorText(GetLastError()));
      return 0;
    }
    if (n == 0) break;
    md5.add(buffer.data(), n);
    total += n;
  }
  setText(checksum, md5.hex());
  setSize(size, total);
  return 1;
}

}  // namespace

extern "C" __declspec(dllexport) short WINAPI
    QGetMD5(VARIANT fileName, VARIANT* checksum, VARIANT* size, VARIANT* error) {
  return md5OfFile(textOf(fileName), 64 * 1024, checksum, size, error);
}

extern "C" __declspec(dllexport) short WINAPI
    QGetMD5WBlock(VARIANT fileName, VARIANT blockSize, VARIANT* checksum, VARIANT* size,
                  VARIANT* error) {
  std::wstring block = textOf(blockSize);
  if (block == L"stand-in:unknown-output") {
    VariantClear(error);
    V_VT(error) = VT_ARRAY | VT_I4;
    V_ARRAY(error) = SafeArrayCreateVector(VT_I4, 0, 1);
    return 0;
  }
  return md5OfFile(textOf(fileName), blockBytes(block), checksum, size, error);
}

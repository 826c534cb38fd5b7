#pragma once

// The text of binary XML values, as the event's XML shows them.

#include <cstddef>
#include <cstdint>
#include <string>

namespace evtx::detail {

// Value types, as the "Value types" section of the public "Windows XML Event Log (EVTX) format"
// description lists them (MS-EVEN6 2.2.12.1 names the same codes); kArrayFlag marks an array
// of the type in the low bits.
enum ValueType : std::uint8_t {
  kNull = 0x00,
  kString = 0x01,
  kAnsiString = 0x02,
  kInt8 = 0x03,
  kUInt8 = 0x04,
  kInt16 = 0x05,
  kUInt16 = 0x06,
  kInt32 = 0x07,
  kUInt32 = 0x08,
  kInt64 = 0x09,
  kUInt64 = 0x0A,
  kReal32 = 0x0B,
  kReal64 = 0x0C,
  kBool = 0x0D,
  kBinary = 0x0E,
  kGuid = 0x0F,
  kSizeT = 0x10,
  kFileTime = 0x11,
  kSystemTime = 0x12,
  kSid = 0x13,
  kHexInt32 = 0x14,
  kHexInt64 = 0x15,
  kEvtHandle = 0x20,
  kBinXml = 0x21,
  kEvtXml = 0x23,
  kArrayFlag = 0x80,
};

// Appends UTF-16LE text (count code units, stopping at the first NUL) as UTF-8; an unpaired
// surrogate becomes U+FFFD.
void appendUtf16(const unsigned char* p, std::size_t count, std::string& out);

// Appends one code point as UTF-8.
void appendCodePoint(char32_t c, std::string& out);

// Whether a value's bytes form a value of its type.
enum class Fit : std::uint8_t {
  kFits,
  kBadLength,  // a size that the type cannot have (an odd UTF-16 size, 3 bytes of an Int32)
  kBadValue,   // a type without text, or a SYSTEMTIME out of range
};

// Appends the text of a scalar value of type (no array flag) held in size bytes at p. Nothing
// is appended when the bytes do not fit the type.
Fit appendScalar(std::uint8_t type, const unsigned char* p, std::size_t size, std::string& out);

// The size of one element of an array of type (array flag removed): 0 for the types whose
// elements are NUL-terminated strings, -1 for types that cannot form arrays.
int arrayElementSize(std::uint8_t type);

// Walks the elements of an array value: calls f(p, size) for each. Nothing is walked when the
// type cannot form arrays or the bytes do not divide into elements.
template <typename F>
Fit forEachArrayElement(std::uint8_t type, const unsigned char* p, std::size_t size, F&& f) {
  int element = arrayElementSize(type);
  if (element < 0) return Fit::kBadValue;
  if (element == 0) {
    std::size_t unit = type == kString ? 2 : 1;
    if (size % unit != 0) return Fit::kBadLength;
    std::size_t start = 0;
    for (std::size_t i = 0; i + unit <= size; i += unit) {
      bool nul = p[i] == 0 && (unit == 1 || p[i + 1] == 0);
      if (nul) {
        f(p + start, i - start);
        start = i + unit;
      }
    }
    if (start < size) f(p + start, size - start);
    return Fit::kFits;
  }
  if (size % static_cast<std::size_t>(element) != 0) return Fit::kBadLength;
  for (std::size_t i = 0; i < size; i += element) f(p + i, static_cast<std::size_t>(element));
  return Fit::kFits;
}

// The civil date and time of a FILETIME: false when it lies beyond year 9999.
struct CivilTime {
  int year, month, day, hour, minute, second;
  std::uint32_t ticks;  // 100 ns units within the second
};
bool fileTimeToCivil(std::uint64_t fileTime, CivilTime* out);

}  // namespace evtx::detail

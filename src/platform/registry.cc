#include "platform/registry.h"

namespace sccevtmon {

long copyRegistryData(const std::string& bytes, std::string* data, std::uint32_t* size) {
  auto needed = static_cast<std::uint32_t>(bytes.size());
  if (data == nullptr) {
    if (size) *size = needed;
    return 0;
  }
  std::uint32_t capacity = size ? *size : 0;
  if (size) *size = needed;
  if (capacity < needed) return kErrorMoreData;
  if (data->size() < needed) data->resize(needed);
  data->replace(0, needed, bytes);
  return 0;
}

}  // namespace sccevtmon

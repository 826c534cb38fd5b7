#include "platform/registry.h"

namespace sccevtmon {

Status copyRegistryData(const std::string& bytes, std::string* data, std::uint32_t* size) {
  auto needed = static_cast<std::uint32_t>(bytes.size());
  if (data == nullptr) {
    if (size) *size = needed;
    return Status::success();
  }
  std::uint32_t capacity = size ? *size : 0;
  if (size) *size = needed;
  if (capacity < needed) return Status::systemError(kErrorMoreData);
  if (data->size() < needed) data->resize(needed);
  data->replace(0, needed, bytes);
  return Status::success();
}

}  // namespace sccevtmon

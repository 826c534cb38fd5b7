#include "testing/fake_registry.h"

namespace sccevtmon {

std::string FakeRegistry::lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

Status FakeRegistry::openKey(RegistryRoot root, const std::string& subKey, std::uint32_t access,
                             RegistryKey* key) {
  *key = 0;
  ++openCount;
  if (failOpen != 0) return Status::systemError(failOpen);
  std::string sub = lower(subKey);
  if (root == RegistryRoot::kLocalMachine && (access & kKeyWow64_64Key) == 0 &&
      sub.rfind("software\\", 0) == 0 && sub.rfind("software\\wow6432node", 0) != 0) {
    sub = "software\\wow6432node\\" + sub.substr(9);
  }
  std::string prefix = root == RegistryRoot::kLocalMachine ? "hkey_local_machine\\" : "other\\";
  std::string path = prefix + sub;
  if (keys_.find(path) == keys_.end()) return Status::systemError(kErrorFileNotFound);
  *key = next_++;
  open_[*key] = path;
  accessOf[*key] = access;
  return Status::success();
}

Status FakeRegistry::queryValue(RegistryKey key, const std::string& name, std::uint32_t* type,
                                std::string* data, std::uint32_t* size) {
  if (failQuery != 0) return Status::systemError(failQuery);
  auto handle = open_.find(key);
  if (handle == open_.end()) return Status::systemError(kErrorInvalidHandle);
  auto& values = keys_[handle->second];
  auto it = values.find(lower(name));
  if (it == values.end()) return Status::systemError(kErrorFileNotFound);
  std::string bytes = it->second.type == kRegSz ? it->second.data + '\0' : it->second.data;
  if (type) *type = it->second.type;
  return copyRegistryData(bytes, data, size);
}

void FakeRegistry::closeKey(RegistryKey key) {
  ++closeCount;
  open_.erase(key);
}

}  // namespace sccevtmon

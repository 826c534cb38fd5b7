#include "platform/win32/registry.h"

#include <windows.h>

#include "platform/win32/error.h"

namespace sccevtmon {
namespace {

HKEY rootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegistryRoot::kCurrentUser:
      return HKEY_CURRENT_USER;
    case RegistryRoot::kClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegistryRoot::kUsers:
      return HKEY_USERS;
    case RegistryRoot::kCurrentConfig:
      return HKEY_CURRENT_CONFIG;
  }
  return HKEY_LOCAL_MACHINE;
}

HKEY handle(RegistryKey key) { return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(key)); }

}  // namespace

Status WinRegistry::openKey(RegistryRoot root, const std::string& subKey, std::uint32_t access,
                            RegistryKey* key) {
  *key = 0;
  REGSAM sam = access;
  if ((sam & (KEY_WOW64_32KEY | KEY_WOW64_64KEY)) == 0) sam |= KEY_WOW64_32KEY;
  HKEY opened = nullptr;
  LONG rc = RegOpenKeyExA(rootKey(root), subKey.c_str(), 0, sam, &opened);
  if (rc != ERROR_SUCCESS) return win32Error(rc);
  *key = reinterpret_cast<std::uintptr_t>(opened);
  return Status::success();
}

Status WinRegistry::queryValue(RegistryKey key, const std::string& name, std::uint32_t* type,
                               std::string* data, std::uint32_t* size) {
  DWORD valueType = 0;
  DWORD length = size != nullptr ? *size : 0;
  LONG rc;
  if (data == nullptr) {
    rc = RegQueryValueExA(handle(key), name.c_str(), nullptr, &valueType, nullptr, &length);
  } else {
    // The call writes only into a buffer of the given capacity; what lies beyond the data in
    // the caller's string stays as it was.
    std::string buffer(length, '\0');
    rc = RegQueryValueExA(handle(key), name.c_str(), nullptr, &valueType,
                          reinterpret_cast<BYTE*>(buffer.data()), &length);
    if (rc == ERROR_SUCCESS) {
      if (data->size() < length) data->resize(length);
      data->replace(0, length, buffer, 0, length);
    }
  }
  if (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
    if (size != nullptr) *size = length;
    if (type != nullptr) *type = valueType;
  }
  return rc == ERROR_SUCCESS ? Status::success() : win32Error(rc);
}

void WinRegistry::closeKey(RegistryKey key) {
  if (key != 0) RegCloseKey(handle(key));
}

}  // namespace sccevtmon

#include "platform/ResourceBlock.h"

#include <windows.h>

#include "platform/Exceptions.h"
#include "text/Wide.h"

using text::Wide;

namespace platform {

namespace {

ResourceBlock Find(const std::string& name, const wchar_t* type) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(module, Wide(name).c_str(), type);
  HGLOBAL loaded = info ? LoadResource(module, info) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) throw Exception(name + " リソースが見つかりません");
  return {data, SizeofResource(module, info)};
}

}  // namespace

ResourceBlock FindResourceBlock(const std::string& name, const std::string& type) {
  return Find(name, Wide(type).c_str());
}

ResourceBlock FindResourceBlock(const std::string& name, unsigned short typeId) {
  return Find(name, MAKEINTRESOURCEW(typeId));
}

}  // namespace platform

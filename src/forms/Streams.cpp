#include "forms/Streams.h"

#include <windows.h>

#include "forms/Exceptions.h"
#include "forms/Wide.h"

namespace forms {

ResourceBlock FindResourceBlock(const std::string& name, const std::string& type) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(module, Wide(name).c_str(), Wide(type).c_str());
  HGLOBAL loaded = info ? LoadResource(module, info) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) throw Exception(name + " リソースが見つかりません");
  return {data, SizeofResource(module, info)};
}

}  // namespace forms

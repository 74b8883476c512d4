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

void WriteWholeFile(const std::string& path, const void* data, size_t size) {
  HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw Exception("ファイル " + path + " を作成できません");
  DWORD written = 0;
  const BOOL ok = WriteFile(h, data, static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(h);
  if (!ok || written != size) throw Exception("ストリームへの書き込みエラー");
}

}  // namespace forms

// Resource blocks and whole-file writes, with the framework's error texts.
#pragma once

#include <cstddef>
#include <string>

namespace forms {

// One of the running program's own resources, used in place, read-only.
struct ResourceBlock {
  const void* Data;
  size_t Size;
};

// Finds a resource by name and type (both matched without regard to case).
// Raises Exception("<name> リソースが見つかりません") when it is missing.
ResourceBlock FindResourceBlock(const std::string& name, const std::string& type);

// Creates (or truncates) a file and writes the whole block with one write.
// Raises "ファイル <path> を作成できません" or "ストリームへの書き込みエラー".
void WriteWholeFile(const std::string& path, const void* data, size_t size);

}  // namespace forms

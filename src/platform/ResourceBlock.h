// Resource blocks of the running program, with the framework's error text.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// One of the running program's own resources, used in place, read-only.
struct ResourceBlock {
  const void* Data;
  size_t Size;
};

// Finds a resource by name and type (both matched without regard to case).
// Raises Exception("<name> リソースが見つかりません") when it is missing.
ResourceBlock FindResourceBlock(const std::string& name, const std::string& type);
// The same for a type given by number (10 for RCDATA).
ResourceBlock FindResourceBlock(const std::string& name, unsigned short typeId);

}  // namespace platform

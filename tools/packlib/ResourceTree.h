// Reading a resource tree (type, name, language) into the resources it holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "packlib/PeResources.h"

namespace pe {

// Reads the tree of `treeSize` bytes at file offset `treeAt` into `out`,
// finding the data through the image's sections. Resources of more than
// `heldBytes` stay in the file; the others are read into memory.
bool ReadResourceTree(archive::RandomSource& file, const Image& image, uint64_t treeAt, uint64_t treeSize,
                      size_t heldBytes, std::vector<Resource>& out, std::string& error);

}  // namespace pe

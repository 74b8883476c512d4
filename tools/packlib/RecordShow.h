// Record names and extraction stops as the packer's messages show them.
#pragma once

#include <string>

#include "engine/Extractor.h"

namespace packer {

// A record name as UTF-8 with '/', or, when it is not CP932, its printable
// ASCII with every other byte as \xNN.
std::string ShowName(const std::string& cp932);

// Why the engine stopped, in words.
const char* Describe(archive::ExtractStop reason);

}  // namespace packer

// The attribute certificate table a signer appends: where it is, and taking it away.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "packlib/PeParse.h"

namespace pe {

// Reads data directory entry 4 into image.certificateEntry, certificateOffset
// and certificateSize; false when the table it names lies outside the file.
bool ReadCertificateEntry(std::span<const uint8_t> head, const Layout& layout, uint64_t fileSize, Image& image,
                          std::string& error);

// True when the image's certificate table ends the file of `fileSize` bytes,
// after the sections' data (ending at `sectionsEnd`): the only table this
// writer can drop whole.
bool CertificatesAtEnd(const Image& image, uint64_t fileSize, uint64_t sectionsEnd, std::string& error);

}  // namespace pe

// The certificate table: its directory entry read, and the file written without it.
#include "packlib/Certificates.h"

#include "packlib/PeFormat.h"

namespace pe {

bool ReadCertificateEntry(std::span<const uint8_t> head, const Layout& layout, uint64_t fileSize, Image& image,
                          std::string& error) {
  if (layout.directoryCount > kDirCertificates) image.certificateEntry = layout.directories + kDirectoryEntrySize * kDirCertificates;
  const Directory certificates = GetDirectory(head, layout, kDirCertificates);
  if (certificates.size != 0) {
    if (!Fits(certificates.rva, certificates.size, fileSize) || certificates.rva < layout.sectionTable) {
      error = "damaged certificate table entry (outside the file)";
      return false;
    }
    image.certificateOffset = certificates.rva;
    image.certificateSize = certificates.size;
  }
  return true;
}

bool CertificatesAtEnd(const Image& image, uint64_t fileSize, uint64_t sectionsEnd, std::string& error) {
  if (static_cast<uint64_t>(image.certificateOffset) + image.certificateSize != fileSize ||
      image.certificateOffset < sectionsEnd) {
    error = "the certificate table is not at the end of the file";
    return false;
  }
  return true;
}

bool DropCertificates(std::span<const uint8_t> file, const Image& image, std::vector<uint8_t>& out,
                      std::string& error) {
  if (!image.Signed()) {
    out.assign(file.begin(), file.end());
    return true;
  }
  if (!CertificatesAtEnd(image, file.size(), image.sectionsEnd, error)) return false;
  out.assign(file.begin(), file.begin() + image.certificateOffset);
  Put32(out.data() + image.certificateEntry, 0);
  Put32(out.data() + image.certificateEntry + 4, 0);
  Put32(out.data() + image.checksumOffset, 0);
  Put32(out.data() + image.checksumOffset, Checksum(out, image.checksumOffset));
  return true;
}

}  // namespace pe

// Rewrite: the file with a new resource tree, the sections after it moved and the headers set anew.
#include "packlib/PeResources.h"

#include <algorithm>

#include "packlib/Certificates.h"
#include "packlib/PeCopy.h"
#include "packlib/PeFormat.h"
#include "packlib/PeParse.h"
#include "packlib/ResourceWriter.h"

namespace pe {

bool VectorOutput::Write(const uint8_t* data, size_t size) {
  out_.insert(out_.end(), data, data + size);
  return true;
}

bool VectorOutput::Overwrite(uint64_t offset, const uint8_t* data, size_t size) {
  if (offset > out_.size() || size > out_.size() - offset) return false;
  std::copy(data, data + size, out_.begin() + static_cast<std::ptrdiff_t>(offset));
  return true;
}

namespace {

// What a rewrite keeps and where it puts it.
struct RewritePlan {
  std::vector<uint8_t> head;      // the file up to the resources, its headers set for the new file
  Layout layout;
  std::vector<size_t> moved;      // the sections after the resources, by address
  std::vector<uint64_t> movedAt;  // their new file offsets
  uint64_t rawEnd = 0;            // the end of the last section's data in the file
  uint64_t tailEnd = 0;           // the end of what follows the sections and stays
  uint64_t newRawEnd = 0;         // the end of the sections in the new file
};

// The sections after the resource section, which have to move with its new
// size: only base relocations may (their content names other sections'
// addresses, not their own), and nothing else may point into them.
bool FindMovingSections(archive::RandomSource& file, const Image& image, RewritePlan& plan, std::string& error) {
  const Section& rsrc = image.sections[image.resourceSection];
  const Directory relocations = GetDirectory(plan.head, plan.layout, kDirRelocations);
  for (size_t i = 0; i < image.sections.size(); ++i) {
    const Section& s = image.sections[i];
    if (s.rawSize != 0) plan.rawEnd = std::max<uint64_t>(plan.rawEnd, static_cast<uint64_t>(s.rawOffset) + s.rawSize);
    if (i == image.resourceSection) continue;
    const bool afterInMemory = s.virtualAddress > rsrc.virtualAddress;
    const bool afterInFile = s.rawSize != 0 && s.rawOffset >= rsrc.rawOffset;
    if (!afterInMemory && !afterInFile) continue;
    const bool isRelocations = relocations.size != 0 && relocations.rva >= s.virtualAddress &&
                               relocations.rva - s.virtualAddress < std::max(s.virtualSize, s.rawSize);
    if (!afterInMemory || !isRelocations || (s.rawSize != 0 && !afterInFile)) {
      error = "section " + s.name + " follows the resources and cannot be moved";
      return false;
    }
    plan.moved.push_back(i);
  }
  std::sort(plan.moved.begin(), plan.moved.end(), [&](size_t a, size_t b) {
    return image.sections[a].virtualAddress < image.sections[b].virtualAddress;
  });
  for (uint32_t d = 0; d < plan.layout.directoryCount; ++d) {
    if (d == kDirResources || d == kDirCertificates || d == kDirRelocations) continue;
    const Directory dir = GetDirectory(plan.head, plan.layout, d);
    if (dir.size == 0) continue;
    for (size_t i : plan.moved) {
      const Section& s = image.sections[i];
      if (dir.rva >= s.virtualAddress && dir.rva - s.virtualAddress < std::max(s.virtualSize, s.rawSize)) {
        error = "data directory " + std::to_string(d) + " points into " + s.name + ", which has to move";
        return false;
      }
    }
    if (d != kDirDebug) continue;
    // Debug data is found by file offset as well.
    const size_t section = SectionOf(image, dir.rva, dir.size);
    if (section == image.sections.size()) continue;
    const Section& s = image.sections[section];
    std::vector<uint8_t> entries(dir.size);
    if (!file.ReadAt(s.rawOffset + static_cast<uint64_t>(dir.rva - s.virtualAddress), entries.data(), entries.size())) {
      error = "cannot read the debug directory";
      return false;
    }
    for (size_t at = 0; at + kDebugEntrySize <= entries.size(); at += kDebugEntrySize) {
      if (Get32(entries, at + kDebugRawPointer) >= rsrc.rawOffset) {
        error = "debug data lies after the resources";
        return false;
      }
    }
  }
  return true;
}

// Sets the headers in plan.head for a resource tree of `treeSize` bytes: the
// resource section's sizes, the moved sections' addresses and file offsets,
// the symbol table's offset, the image's sizes and directories. The checksum
// field is left 0, to be summed as the file is written.
void LayOutRewrite(const Image& image, uint64_t treeSize, RewritePlan& plan, RewriteReport& report) {
  const Section& rsrc = image.sections[image.resourceSection];
  const Layout& layout = plan.layout;
  uint8_t* const head = plan.head.data();
  auto sectionHeader = [&](size_t i) { return head + layout.sectionTable + kSectionHeaderSize * i; };
  auto directory = [&](uint32_t d) { return head + layout.directories + kDirectoryEntrySize * d; };
  const uint64_t rsrcRaw = AlignUp(treeSize, image.fileAlignment);
  Put32(sectionHeader(image.resourceSection) + kSectionVirtualSize, static_cast<uint32_t>(treeSize));
  Put32(sectionHeader(image.resourceSection) + kSectionRawSize, static_cast<uint32_t>(rsrcRaw));

  const Directory relocations = GetDirectory(plan.head, layout, kDirRelocations);
  uint64_t end = rsrc.rawOffset + rsrcRaw;
  uint64_t nextAddress = AlignUp(static_cast<uint64_t>(rsrc.virtualAddress) + treeSize, image.sectionAlignment);
  for (size_t i : plan.moved) {
    const Section& s = image.sections[i];
    end = AlignUp(end, image.fileAlignment);
    plan.movedAt.push_back(end);
    Put32(sectionHeader(i) + kSectionAddress, static_cast<uint32_t>(nextAddress));
    if (s.rawSize != 0) {
      Put32(sectionHeader(i) + kSectionRawOffset, static_cast<uint32_t>(end));
      end += s.rawSize;
    }
    if (relocations.rva >= s.virtualAddress && relocations.rva - s.virtualAddress < std::max(s.virtualSize, s.rawSize)) {
      Put32(directory(kDirRelocations), static_cast<uint32_t>(nextAddress + (relocations.rva - s.virtualAddress)));
    }
    nextAddress = AlignUp(nextAddress + std::max(s.virtualSize, s.rawSize), image.sectionAlignment);
    ++report.movedSections;
  }
  plan.newRawEnd = AlignUp(end, image.fileAlignment);
  report.fileSize = plan.newRawEnd + (plan.tailEnd - std::min(plan.rawEnd, plan.tailEnd));
  const uint32_t symbols = Get32(plan.head, layout.coff + kCoffSymbolTable);
  if (symbols != 0 && symbols >= plan.rawEnd) {
    Put32(head + layout.coff + kCoffSymbolTable, static_cast<uint32_t>(symbols - plan.rawEnd + plan.newRawEnd));
  }
  // The image ends with its last section, whichever that is now.
  uint64_t imageEnd = 0;
  for (size_t i = 0; i < image.sections.size(); ++i) {
    const size_t at = layout.sectionTable + kSectionHeaderSize * i;
    const uint64_t span = std::max(Get32(plan.head, at + kSectionVirtualSize), Get32(plan.head, at + kSectionRawSize));
    imageEnd = std::max(imageEnd, AlignUp(Get32(plan.head, at + kSectionAddress) + span, image.sectionAlignment));
  }
  report.imageSize = imageEnd;
  Put32(head + layout.optional + kOptSizeOfImage, static_cast<uint32_t>(imageEnd));
  const uint32_t initialised = Get32(plan.head, layout.optional + kOptInitialisedData);
  Put32(head + layout.optional + kOptInitialisedData, initialised - rsrc.rawSize + static_cast<uint32_t>(rsrcRaw));
  Put32(directory(kDirResources), rsrc.virtualAddress);
  Put32(directory(kDirResources) + kDirectorySizeField, static_cast<uint32_t>(treeSize));
  if (layout.directoryCount > kDirCertificates) {
    Put32(directory(kDirCertificates), 0);
    Put32(directory(kDirCertificates) + kDirectorySizeField, 0);
  }
  Put32(head + image.checksumOffset, 0);
}

// Writes the new file in order, summing its checksum on the way, then puts
// the checksum in.
bool WriteRewrite(archive::RandomSource& file, const Image& image, TreeWriter& tree, const RewritePlan& plan,
                  const RewriteReport& report, Output& out, std::string& error) {
  const Section& rsrc = image.sections[image.resourceSection];
  ChecksumSum sum(image.checksumOffset);
  uint64_t written = 0;
  auto put = [&](const uint8_t* data, size_t size) {
    sum.Add(data, size);
    written += size;
    return out.Write(data, size);
  };
  const uint8_t zeros[512] = {};
  auto padTo = [&](uint64_t offset) {
    while (written < offset) {
      if (!put(zeros, static_cast<size_t>(std::min<uint64_t>(offset - written, sizeof zeros)))) return false;
    }
    return true;
  };
  std::vector<std::pair<uint64_t, const Resource*>> placed;
  const std::vector<uint8_t> directory = tree.Directory(rsrc.virtualAddress, placed);
  bool ok = put(plan.head.data(), plan.head.size()) && put(directory.data(), directory.size());
  for (const auto& [offset, resource] : placed) {
    if (!ok) break;
    ok = padTo(rsrc.rawOffset + offset) &&
         (resource->from != nullptr ? CopyRange(*resource->from, resource->fileOffset, resource->size, put)
                                    : put(resource->data.data(), resource->data.size()));
  }
  for (size_t k = 0; k < plan.moved.size() && ok; ++k) {
    const Section& s = image.sections[plan.moved[k]];
    ok = padTo(plan.movedAt[k]) && CopyRange(file, s.rawOffset, s.rawSize, put);
  }
  const uint64_t tail = plan.tailEnd - std::min(plan.rawEnd, plan.tailEnd);
  ok = ok && padTo(plan.newRawEnd) && CopyRange(file, plan.rawEnd, tail, put);
  if (!ok || written != report.fileSize) {
    error = "cannot read the stub, a resource, or write the new file";
    return false;
  }
  uint8_t checksum[4];
  Put32(checksum, sum.Value());
  if (!out.Overwrite(image.checksumOffset, checksum, sizeof checksum)) {
    error = "cannot write the new file";
    return false;
  }
  return true;
}

}  // namespace

bool Rewrite(archive::RandomSource& file, const Image& image, const std::vector<Resource>& resources, Output& out,
             RewriteReport& report, std::string& error, uint64_t imageLimit) {
  report = {};
  if (!image.hasResources) {
    error = "the file has no resource section to rewrite";
    return false;
  }
  const Section& rsrc = image.sections[image.resourceSection];
  if (rsrc.rawSize == 0 || rsrc.rawOffset % image.fileAlignment != 0) {
    error = "the resource section has no file data or is not aligned";
    return false;
  }
  // Everything before the resources (headers and code) is kept in memory and
  // patched; everything from the resources on is written as it is streamed.
  RewritePlan plan;
  const uint64_t fileSize = file.Length();
  plan.head.resize(rsrc.rawOffset);
  Image current;
  if (!file.ReadAt(0, plan.head.data(), plan.head.size())) {
    error = "cannot read the file";
    return false;
  }
  if (!ReadLayout(plan.head, fileSize, current, plan.layout, error)) return false;
  if (GetDirectory(plan.head, plan.layout, kDirResources).rva != rsrc.virtualAddress) {
    error = "the resources do not start their section (" + rsrc.name + ")";
    return false;
  }
  if (!FindMovingSections(file, image, plan, error)) return false;

  // Anything after the sections stays, except the certificate table: a
  // signature over the old file means nothing for the new one.
  plan.tailEnd = fileSize;
  if (image.Signed()) {
    if (!CertificatesAtEnd(image, fileSize, plan.rawEnd, error)) return false;
    plan.tailEnd = image.certificateOffset;
    report.droppedSignature = true;
  }
  const uint32_t symbols = Get32(plan.head, plan.layout.coff + kCoffSymbolTable);
  if (symbols != 0 && symbols >= rsrc.rawOffset && symbols < plan.rawEnd) {
    error = "the symbol table lies among the sections that move";
    return false;
  }

  TreeWriter tree;
  if (!tree.Build(resources, error)) return false;
  LayOutRewrite(image, tree.Size(), plan, report);
  if (report.fileSize > 0xFFFFFFFFull) {
    error = "the executable would be 4 GiB or larger";
    return false;
  }
  if (report.imageSize > imageLimit) {
    error = "the image would take " + std::to_string(report.imageSize) + " bytes of memory, more than the limit of " +
            std::to_string(imageLimit);
    return false;
  }
  return WriteRewrite(file, image, tree, plan, report, out, error);
}

bool Rewrite(std::span<const uint8_t> file, const Image& image, const std::vector<Resource>& resources,
             std::vector<uint8_t>& out, RewriteReport& report, std::string& error) {
  archive::MemoryRandomSource source(file);
  VectorOutput output(out);
  return Rewrite(source, image, resources, output, report, error);
}

}  // namespace pe

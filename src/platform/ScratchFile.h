// The scratch file "work.tmp" beside the program, which holds the carried
// archive while it is extracted. It is never written or deleted through a
// link: a leftover is removed only when it is a plain file, and the new file
// is created exclusively.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/FileStreams.h"

namespace platform {

class ScratchFile {
 public:
  // Writes `archive` to a new file `folder` + `name`, which is deleted when
  // this object goes (also if the program ends abruptly). A plain file left
  // there is removed first. Raises Exception("ファイル <path> を作成できません")
  // when anything else stands there or the file cannot be created, and
  // Exception("ストリームへの書き込みエラー") when the write fails.
  ScratchFile(const std::string& folder, const std::string& name, std::span<const uint8_t> archive);
  // The file, for reading; positioned at its start.
  FileSource& Source() { return *source_; }

 private:
  std::unique_ptr<FileSource> source_;
};

// Removes a scratch file left at `path` by an earlier run: only a plain file
// (no folder, no reparse point, a single name), whatever it holds. Anything
// else is left untouched. True when nothing is left at `path` afterwards.
bool RemoveLeftoverScratch(const std::string& path);

}  // namespace platform

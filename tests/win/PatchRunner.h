// The program's patch run (patchrun::RunPatch) in a test: on an archive given
// as bytes, with a folder of its own for the scratch file, and with the
// game's shortcut on the user's desktop cleared before and after.
#pragma once

#include <windows.h>

#include <string>

#include "engine/Ring.h"
#include "platform/Disk.h"
#include "platform/Library.h"
#include "platform/Shelllink.h"
#include "run/PatchRun.h"

namespace wintest {

// Removes the shortcuts a patch run renames or makes on the user's desktop.
void RemoveGameShortcuts();

// M4 to M7: the patch is in place, whatever became of the shortcut.
bool Succeeded(patchrun::Outcome outcome);

class PatchRunner {
 public:
  // `folder`: where the scratch file goes, as the program's folder would be;
  // empty as for a program whose folder has no CP932 name.
  explicit PatchRunner(std::string folder);
  ~PatchRunner();
  PatchRunner(const PatchRunner&) = delete;
  PatchRunner& operator=(const PatchRunner&) = delete;

  patchrun::Outcome Run(const std::string& target, const std::string& archive,
                        platform::Disk& disk = platform::Disk::System());

  patchrun::Report report;  // the last run's
  archive::Ring ring;

 private:
  std::string folder_;
  platform::TShellLink shell_;
  platform::TLibrary library_;
};

}  // namespace wintest

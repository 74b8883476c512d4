#include "PatchRunner.h"

#include <shlobj.h>

#include <span>

#include "run/Texts.h"
#include "text/Wide.h"

namespace wintest {
namespace {

class Silent : public patchrun::Progress {};

}  // namespace

void RemoveGameShortcuts() {
  wchar_t desktop[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop))) return;
  const std::wstring folder = desktop;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((folder + L"\\" + text::Wide(texts::kGameTitle) + L"*.lnk").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    DeleteFileW((folder + L"\\" + found.cFileName).c_str());
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

bool Succeeded(patchrun::Outcome outcome) {
  using patchrun::Outcome;
  return outcome == Outcome::kDone || outcome == Outcome::kRenameFailed || outcome == Outcome::kCreated ||
         outcome == Outcome::kNoShortcut;
}

PatchRunner::PatchRunner(std::string folder) : folder_(std::move(folder)) { RemoveGameShortcuts(); }

PatchRunner::~PatchRunner() { RemoveGameShortcuts(); }

patchrun::Outcome PatchRunner::Run(const std::string& target, const std::string& archive, platform::Disk& disk) {
  patchrun::Settings settings;
  settings.target = target;
  settings.exeDir = folder_.empty() ? folder_ : folder_ + "\\";
  settings.ring = &ring;
  settings.shell = &shell_;
  settings.library = &library_;
  settings.disk = &disk;
  settings.archive = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(archive.data()), archive.size());
  Silent progress;
  report = {};
  return patchrun::RunPatch(settings, progress, report);
}

}  // namespace wintest

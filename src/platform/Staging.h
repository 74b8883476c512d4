// Staged writing of a patch into the game folder, under a journal, and the
// recovery of a run that was cut off: the protocol of engine/Protocol.h carried
// out on the disk (Disk), which is all this file adds to it.
//
// The run makes a folder of its own at the game folder's root
// (engine/RunLayout.h) and writes its plan there, flushed: the folders it will
// make, and every file it will place with its size and CRC-32. Each new file
// is written into the run's folder and flushed as it closes; then every one is
// read back and checked against the plan. Only then does the journal get its
// commit mark; then the folders are made, each original is moved aside into
// the run's folder and the new file put in its place, every placed file is
// checked, the placed mark written, the last step taken (the version and the
// shortcut), the finished mark written, and the run's folder goes, the journal
// last. A run that cannot go on puts the folder back as it was.
//
// Every level of the game folder, of the run's folder and of each file's
// folder is held open while the run works, so that none of them can be
// replaced by a junction or a symbolic link meanwhile; one that already is
// stops the run before it touches anything.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/Check.h"
#include "engine/Journal.h"
#include "engine/OutputSink.h"
#include "engine/Protocol.h"
#include "platform/Disk.h"
#include "platform/Handles.h"

namespace platform {

// How far an observation proves that a file is the one the journal records.
enum class Proof {
  kSize,     // a plain file of the journal's size
  kContent,  // and read back through a handle that refuses links, with the journal's CRC-32
};

// One run's change of the game folder, as its plan has it: the host of the
// protocol (engine/Protocol.h) on the disk. It holds the journal open, nobody
// else sharing it, and the folders it works in.
class Change : public archive::ProtocolHost {
 public:
  Change(Disk& disk, std::string target, archive::JournalPlan plan);
  ~Change() override;
  Change(const Change&) = delete;
  Change& operator=(const Change&) = delete;

  const archive::JournalPlan& Plan() const { return plan_; }
  // The run's folder and its journal, open, of which `validBytes` count.
  void Attach(const std::string& staging, FileHandle journal, size_t validBytes);
  // A plan whose items are the originals found kept, for putting them back.
  void AttachKept(const std::string& staging);

  std::wstring Final(size_t item) const;
  std::wstring Fresh(size_t item) const;
  std::wstring Kept(size_t item) const;
  std::wstring RunFolder() const;

  // Holds every level of the game folder, of the run's folder (once it has
  // one) and of each final path's folders that is a folder. False, with the
  // level (CP932) in `refused`, when one is a link.
  bool HoldLevels(std::string& refused);
  void SetProof(Proof fresh, Proof final);
  void SetLastStep(std::function<void()> lastStep) { lastStep_ = std::move(lastStep); }
  // Whether item's new file is in place and is the one the plan records.
  archive::Seen ProveFresh(size_t item);
  // Item's new file is written anew: what was proven of it no longer holds.
  void Forget(size_t item);

  archive::ItemFacts Observe(size_t item, archive::Look look = archive::Look::kAll) override;
  bool Perform(size_t item, archive::Step step) override;
  bool Mark(archive::JournalMark mark) override;
  bool MakeFolders() override;
  bool RemoveFolders() override;
  void LastStep() override;
  bool Close(archive::Closing closing) override;

 private:
  std::wstring Below(const std::string& relative) const;
  archive::Seen Prove(const std::wstring& path, const Entry& entry, size_t item, Proof proof, uint8_t& proven);
  bool Hold(const std::wstring& path, std::string* refused);
  bool MakeKeptFolders(size_t item);
  void FindKept(const std::wstring& folder, const std::string& relative);
  // Removes the run's folder's own entries but the journal; false when one
  // could not go. `originals` is set when kept originals remain in it.
  bool Sweep(bool& originals);
  bool Prune(const std::wstring& path, bool& ok);
  void LeaveToRestart(const std::wstring& path, const std::wstring& journal);

  Disk& disk_;
  std::string target_;
  archive::JournalPlan plan_;
  FileHandle journal_;  // held without sharing while the change is carried out
  size_t validBytes_ = 0;
  std::vector<uint8_t> placedHere_;                 // this process moved the new file to the final path
  std::vector<uint8_t> freshProven_, finalProven_;  // content proven since the file last changed
  Proof freshProof_ = Proof::kContent, finalProof_ = Proof::kContent;
  std::function<void()> lastStep_;
  std::map<std::wstring, FileHandle> held_;  // folders held open, by path
};

class Staging {
 public:
  // `check` holds the final paths the extraction opens, in order (duplicates
  // stay: the last one of a name wins), each target + "\" + a record name,
  // with their sizes and CRC-32s.
  Staging(const std::string& target, const archive::CheckResult& check, Disk& disk = Disk::System());
  ~Staging();  // rolls back unless committed
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;

  const archive::JournalPlan& Plan() const { return change_.Plan(); }
  // Holds every level of the game folder and of the files' folders; the
  // first that is a link, before anything is touched.
  std::optional<std::string> RefusedLevel();
  // Makes the run's folder and writes the journal's plan, flushed. False
  // when it cannot (nothing of the run is left then).
  bool Begin();
  // True when `folder` is an existing folder or one the commit will make.
  bool MakeFolder(const std::string& folder);
  // A new file that will become `finalPath`. Null when it cannot be created,
  // or when `finalPath` is a folder or a read-only file (an original that
  // could not be replaced). A later output for the same path (compared as
  // Windows compares names) replaces an earlier one.
  std::unique_ptr<archive::OutputSink> OpenOutput(const std::string& finalPath);
  // True when an earlier output was opened for `finalPath`: opening another
  // deletes that one's file, so it must be closed first.
  bool Stages(const std::string& finalPath) const;
  // The plan's item a final path (as the extraction names it) is staged as.
  std::optional<size_t> ItemOf(const std::string& finalPath) const;
  // Reads every new file back: the items whose files are missing or are not
  // what the plan records.
  std::vector<size_t> Unverified();
  // The commit mark, then every file placed and proven, `lastStep`, the
  // finished mark and the cleaning up; or, when a file cannot be placed or
  // is not found as placed, everything put back.
  archive::Carried Commit(std::function<void()> lastStep);
  // Removes everything of the run. Safe to call more than once.
  void Rollback();
  // False when a roll-back could not put everything back: the journal stays,
  // and the next start finishes it.
  bool Restored() const { return restored_; }

 private:
  // The plan for `check`'s outputs; fills the two maps.
  static archive::JournalPlan PlanFor(const std::string& target, const archive::CheckResult& check, Disk& disk,
                                      std::map<std::wstring, size_t>& itemByKey, std::set<std::wstring>& planned);

  Disk& disk_;
  std::string target_;
  std::map<std::wstring, size_t> itemByKey_;
  std::set<std::wstring> plannedFolders_;  // keys of the folders the commit makes
  Change change_;
  std::vector<bool> opened_;
  bool begun_ = false;
  bool finished_ = false;
  bool restored_ = true;
};

enum class Recovered {
  kNothing,      // no cut-off run was found, or only its leftovers were removed
  kUndone,       // a run cut off before its commit: the folder is as before it
  kCompleted,    // a run cut off during its commit: the patch is now complete
  kPutBack,      // a run without a readable journal: its kept originals went back
  kKept,         // originals that could not go back stay in `folder`
  kIncomplete,   // something could not be put back yet: the journal stays for the next start
  kInUse,        // another setup holds the journal: nothing was touched
  kOtherFormat,  // a run of another version of the installer: nothing was touched
  kLinked,       // `folder` is a link or not a folder: nothing was touched
};

struct RecoveryReport {
  Recovered what = Recovered::kNothing;
  std::string folder;              // kKept, kOtherFormat, kLinked (CP932)
  std::vector<std::string> files;  // kKept: the final paths whose originals are kept (CP932)
};

// Finds the folders of cut-off runs in `target` and finishes each as the
// journal and the disk call for (engine/Protocol.h); `lastStep` is the
// version and shortcut step of a run that is completed.
RecoveryReport Recover(const std::string& target, Disk& disk = Disk::System(),
                       const std::function<void()>& lastStep = {});

}  // namespace platform

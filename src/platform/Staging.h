// Staged writing of a patch into the game folder, under a journal.
//
// The run first makes a staging folder of its own at the game folder's root
// ("~ps" + 5 hex digits + ".stg") and writes its plan there (engine/Journal.h),
// flushed: the folders it will make, and every file it will place. Each new
// file is written into the staging folder and flushed as it closes. Only
// when all are complete does the journal get its commit mark (flushed); then
// the folders are made, each original is moved aside into the staging folder
// and the new file put in its place; then the placed mark, and the staging
// folder with the kept-aside originals and the journal goes, the journal last.
// Any failure puts the folder back exactly as it was.
//
// A run cut off at any instant (the process killed, the power cut) leaves a
// staging folder that Recover() finds at the next start: before the commit
// mark it undoes the run, after it it completes the commit, and either way it
// leaves nothing of the run behind. Recover() is itself safe to cut off.
#pragma once

#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include "engine/Journal.h"
#include "engine/OutputSink.h"
#include "platform/Disk.h"
#include "platform/Handles.h"

namespace filesys {

// One run's change of the game folder as its plan says, carried forward or
// back by what the disk shows: every name it uses is its own, so a file's
// presence tells how far it got.
class PlannedChange {
 public:
  PlannedChange(Disk& disk, std::string target, archive::JournalPlan plan, FileHandle journal,
                const archive::JournalState& marks);
  PlannedChange(const PlannedChange&) = delete;
  PlannedChange& operator=(const PlannedChange&) = delete;

  // Appends a mark to the journal and flushes it (disk cache included).
  bool Mark(archive::JournalMark mark);
  // Makes the folders and places every new file, keeping originals aside,
  // then marks the journal placed and cleans up. False when a step failed.
  bool Forward();
  // Puts back every original, removes every new file and folder and, when
  // that succeeded, the staging folder and the journal. False when something
  // could not be put back: the journal stays for the next start.
  bool Backward();
  // After the placed mark: removes the kept-aside originals and the staging
  // folder, the journal last. One that cannot go (a program still running
  // from it) is deleted at the next restart, and the journal stays.
  void CleanUp();

  const archive::JournalPlan& Plan() const { return plan_; }
  std::wstring Final(size_t item) const;
  std::wstring NewFile(size_t item) const;
  std::wstring Aside(size_t item) const;

 private:
  std::wstring Below(const std::string& relative) const;
  bool RemoveStagingFolder();

  Disk& disk_;
  std::string target_;
  archive::JournalPlan plan_;
  std::wstring staging_;  // the staging folder's full path
  FileHandle journal_;    // held without sharing while the change is carried out
  bool committed_;
};

class Staging {
 public:
  // `outputs` are the final paths the extraction opens, in order (duplicates
  // stay: the last one of a name wins), each target + "\" + a record name.
  Staging(const std::string& target, const std::vector<std::string>& outputs, Disk& disk = Disk::System());
  ~Staging();  // rolls back unless committed
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;

  // Makes the staging folder and writes the journal's plan, flushed. False
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
  // Puts every staged file in place. False when one cannot be put in place;
  // everything is rolled back then.
  bool Commit();
  // Removes everything of the run. Safe to call more than once.
  void Rollback();
  // False when a roll-back could not put everything back: the journal stays,
  // and the next start finishes it.
  bool Restored() const { return restored_; }

 private:
  static std::wstring Key(const std::wstring& path);

  Disk& disk_;
  std::string target_;
  archive::JournalPlan plan_;
  std::map<std::wstring, size_t> itemByKey_;
  std::set<std::wstring> plannedFolders_;  // keys of the folders the commit makes
  std::vector<bool> opened_;
  std::unique_ptr<PlannedChange> change_;
  bool finished_ = false;
  bool restored_ = true;
};

enum class Recovered {
  kNothing,     // no cut-off run was found, or only its leftovers were removed
  kUndone,      // a run cut off before its commit: the folder is as before it
  kCompleted,   // a run cut off during its commit: the patch is now complete
  kIncomplete,  // something could not be put back yet: the journal stays for the next start
};

// Finds the staging folders of cut-off runs in `target` and finishes each:
// undone before its commit mark, completed after it (undone when completing
// fails). Only the journal's valid part is followed; without a valid plan
// only the run's own new files and the staging folder are removed. A run
// still at work (its journal open) is left alone.
Recovered Recover(const std::string& target, Disk& disk = Disk::System());

}  // namespace filesys

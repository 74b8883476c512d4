// Every access by which a patch run looks at or changes the game folder,
// behind one small interface: the staging, the commit, the journal and the
// recovery query, read and change the disk only through it. The system's own
// is Disk::System(); tests put one in its place that records the order of the
// operations, ends the process at a chosen one, or plays a virus scanner or a
// planted junction at any of them, to prove that no instant of a run leaves
// the folder anything but as it was or as patched.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/OutputSink.h"
#include "platform/Handles.h"

namespace platform {

// What a query found at a path, or what an open handle is.
struct Entry {
  bool exists = false;  // false also when it could not be queried (GetLastError tells)
  bool folder = false;
  // A junction, symbolic link or mount point: a reparse point that stands for
  // another place. (Other reparse points, such as a cloud file's, are not.)
  bool link = false;
  bool readOnly = false;
  uint64_t size = 0;
  uint32_t names = 1;  // hard links (known for an open handle only)
};

class Disk {
 public:
  virtual ~Disk() = default;

  // Looks at a path without following a link at its end.
  virtual Entry Query(const std::wstring& path);
  // The names in a folder (not "." and ".."), each with what it is; false
  // when the folder cannot be listed.
  virtual bool List(const std::wstring& folder, std::vector<std::pair<std::wstring, Entry>>& entries);
  // An existing file for reading, never through a link at its end: others
  // may read it too, not change, rename or delete it meanwhile.
  virtual HANDLE OpenRead(const std::wstring& path);
  // An existing folder held open so that it can be neither renamed nor
  // deleted (nor replaced by a link) while the handle lives.
  virtual HANDLE HoldFolder(const std::wstring& path);
  // An existing journal for reading and writing, nobody else sharing it.
  virtual HANDLE OpenJournal(const std::wstring& path);
  // What an open file or folder is.
  virtual bool Describe(HANDLE handle, Entry& entry);
  // Reads up to `size` bytes; `got` 0 at the end.
  virtual bool Read(HANDLE file, uint8_t* data, size_t size, size_t& got);

  // A new file for writing, nobody else sharing it; INVALID_HANDLE_VALUE when
  // the name exists or the file cannot be made (GetLastError tells).
  virtual HANDLE CreateNewFile(const std::wstring& path);
  virtual bool Write(HANDLE file, const uint8_t* data, size_t size);
  // Cuts an open file to `size` bytes; later writes go to its end.
  virtual bool Truncate(HANDLE file, uint64_t size);
  // The file's data reaches the disk, without flushing the disk's own cache
  // where the system can do that (Windows 8 on); FlushFileBuffers elsewhere.
  virtual bool FlushData(HANDLE file);
  // The file's data and the disk's cache: what was flushed before is durable.
  virtual bool Flush(HANDLE file);
  virtual bool Move(const std::wstring& from, const std::wstring& to, bool replace);
  virtual bool Delete(const std::wstring& path);
  virtual bool MakeFolder(const std::wstring& path);
  virtual bool RemoveFolder(const std::wstring& path);
  // Deletes the file or empty folder at the next restart (needs elevation).
  virtual bool DeleteAtRestart(const std::wstring& path);

  static Disk& System();
};

// One attempt of an operation that throws nothing: a callable passed by
// reference, so that the retrying loop below exists once in the program.
class Attempt {
 public:
  template <class Op>
  Attempt(Op& op) : op_(&op), call_([](void* o) noexcept { return static_cast<bool>((*static_cast<Op*>(o))()); }) {}
  bool operator()() const { return call_(op_); }

 private:
  void* op_;
  bool (*call_)(void*) noexcept;
};

// Retries `op` while it fails on a sharing violation, a lock violation or
// access denied, as a virus scanner or indexer holding a fresh file for a
// moment gives, for about 2 s with a growing pause. GetLastError() is the
// last attempt's.
bool Retrying(Attempt op);
template <class Op>
bool Retrying(Op&& op) {
  return Retrying(Attempt(op));
}

// A file made with Disk::CreateNewFile, written through the disk; its data is
// flushed (FlushData) as it closes, so that it is on the disk before anything
// relies on it.
class DiskSink : public archive::OutputSink {
 public:
  DiskSink(Disk& disk, HANDLE file) : disk_(disk), file_(file) {}
  ~DiskSink() override;
  DiskSink(const DiskSink&) = delete;
  DiskSink& operator=(const DiskSink&) = delete;
  bool Write(const uint8_t* data, size_t size) override { return disk_.Write(file_.get(), data, size); }
  bool Close() override;

 private:
  Disk& disk_;
  FileHandle file_;
};

}  // namespace platform

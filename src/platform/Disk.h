// Every operation by which a patch run changes the game folder, behind one
// small interface: the staging, the commit, the journal and the recovery make
// their changes only through it. The system's own is Disk::System(); tests put
// one in its place that records the order of the operations, or ends the
// process at a chosen one, to prove that no instant of a cut-off run leaves
// the folder anything but as it was or as patched.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/OutputSink.h"
#include "platform/Handles.h"

namespace filesys {

class Disk {
 public:
  virtual ~Disk() = default;
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

}  // namespace filesys

// Files that must survive a crash or a power cut the moment after they are
// written: the update utility's copies of the calibrations it is about to
// overwrite in the ECM, and the converted files that replace earlier ones.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace zrm {

// Creates the file for raw writing only when it does not exist yet (never
// through a link); nullptr when it exists or cannot be created.
std::FILE* CreateFileExclusive(const std::string& path);

// Flushes the stream and asks the system to put the file's data on the disk.
// 0, or -1 when either step failed.
int SyncFile(std::FILE* file);

// Puts the folder entry of a newly created or renamed file on the disk.
// 0, or -1 (always 0 where the system keeps entries durable by itself).
int SyncFolderOf(const std::string& path);

// Marks the file read-only for everybody. 0 or -1.
int MakeFileReadOnly(const std::string& path);

// Replaces `target` with `source` in one step. 0 or -1.
int ReplaceFile(const std::string& source, const std::string& target);

// Gives `source` the name `target` in one step, only when no file has that
// name yet. 0, or -1 (nothing renamed) when it exists or the step fails.
int PublishFileExclusive(const std::string& source, const std::string& target);

// Removes a file, also one that is read-only. 0 or -1.
int RemoveFile(const std::string& path);

}  // namespace zrm

namespace zrm {

// A new content for the file at `path` (following a link to it), written to
// a file of its own beside it and put in its place in one step by Commit():
// until then, and after any failure, the old file stays exactly as it was
// and no half-written file is left under its name. An existing file keeps
// its permissions. Dropped without Commit(), the new file is removed.
class ReplacingFile {
 public:
  ReplacingFile() = default;
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Creates the new file beside `path`. 0, or -1 with errno set.
  int Open(const std::string& path);
  // Appends bytes; a failure is kept and reported by Commit().
  void Write(const void* data, std::size_t size);
  // Puts the data on the disk, renames the new file over the old one and
  // syncs the folder. 0, or -1 with errno set (the old file untouched).
  int Commit();
  // The stream being written, for writers that format into it.
  std::FILE* Stream() const { return file_; }

 private:
  void Discard();

  std::FILE* file_ = nullptr;
  std::string target_;
  std::string temporary_;
  bool failed_ = false;
  int error_ = 0;
};

// The whole of a new content, through a ReplacingFile. 0, or -1 with errno set.
int WriteFileReplacing(const std::string& path, const void* data, std::size_t size);

}  // namespace zrm

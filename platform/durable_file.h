// Files that must survive a crash or a power cut the moment after they are
// written: the update utility's copies of the calibrations it is about to
// overwrite in the ECM, and the converted files that replace earlier ones.
#pragma once

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

// The timeline library's file side, shared by synctool build and the demo's authoring mode: reading
// a timeline file with its errors as "file:line: reason", and replacing files on disk so that a
// reader, a full disk or a killed process never leaves a partly written file under its name.
//
// Errors are one line in `error` with the reason, e.g. "data/sync_fog.track: cannot write (No space
// left on device)", and a false result; nothing here prints or exits. Writes wait for the disk
// (every file is flushed): keep them off the frame loop.
#pragma once

#include <string>
#include <vector>

#include "timeline/timeline.h"

// The whole file as bytes; false with "path: cannot open (reason)", "path: cannot read (reason)",
// or "path: is a folder, not a file" / "path: not a regular file" (a FIFO is refused, never waited on).
bool read_file_bytes(const std::string& path, std::vector<unsigned char>& bytes, std::string& error);

// Reads and parses a timeline; a mistake comes back as "path:LINE: reason".
bool load_timeline_file(const std::string& path, Timeline& timeline, std::string& error);

// "data/" and "data//" as "data"; "/" stays itself.
std::string trim_trailing_slashes(std::string path);

// Replaces `path` whole: the bytes go to a hidden temporary in the same folder (".NAME.XXXXXX"), are
// flushed to disk and renamed over `path`, and the folder is flushed. Readers see the old file or
// the new one, never a part. A replaced file keeps its permission bits; a new one gets rw for all
// less the umask; a symbolic link stays one and the file it leads to is replaced. On a failure the
// old file is unchanged and the temporary removed; temporaries of a killed run are removed by the
// next write of the same file.
bool write_file_atomically(const std::string& path, const std::vector<unsigned char>& bytes,
                           std::string& error);

// Replaces `path` as write_file_atomically does, but only over the bytes `expected` (when given):
// a file that holds anything else, a save that landed a moment ago included, is left as it is
// (Changed, `error` untouched). The check and the replacement are one exchange of the two names
// where the file system can do that, so no save is ever lost between them. Failed: `error` says
// why, and the old file is unchanged.
enum class ReplaceResult { Replaced, Changed, Failed };
ReplaceResult replace_file(const std::string& path, const std::vector<unsigned char>& bytes,
                           const std::vector<unsigned char>* expected, std::string& error);

// Writes every track of `timeline` as "sync_NAME.track" into `folder`, each file as above: all of
// them are written and flushed as hidden temporaries first, then renamed into place one by one.
// - A failure before the renames (a full disk, a folder in the way) leaves every old file as it was
//   and no temporary behind.
// - Each file is always whole, but the twenty are not replaced as one: a crash, a power cut or a
//   failed rename (an I/O error) between the renames can leave some files old and some new until
//   the next good write.
// - The next write removes a killed run's temporaries (hidden names of these files, in `folder`
//   only). Writers into one folder take turns.
bool write_track_files(const Timeline& timeline, const std::string& folder, std::string& error);

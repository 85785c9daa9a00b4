// TO DELETE AT MERGE: stand-ins for the edit library (timeline/timeline_edit.cpp) and for
// write_file_atomically (timeline/timeline_files.cpp), which are built elsewhere. Editing answers
// "not built yet" until then; the file writer here is a plain write, flush and rename.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "timeline/timeline_edit.h"
#include "timeline/timeline_files.h"

bool apply_edits(const std::string&, const std::vector<EditOp>&, int32_t, std::string&, std::string& error)
{
    error = "editing the timeline is not built yet";
    return false;
}

TextPatch make_patch(const std::string&, const std::string&)
{
    return {};
}

bool revert_patch(const std::string&, const TextPatch&, std::string&, std::string& error)
{
    error = "editing the timeline is not built yet";
    return false;
}

TextPatch invert_patch(const TextPatch& patch)
{
    return patch;
}

bool write_file_atomically(const std::string& path, const std::vector<unsigned char>& bytes,
                           std::string& error)
{
    const std::string temporary = path + ".saving";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        error = temporary + ": cannot create (" + std::strerror(errno) + ")";
        return false;
    }
    const bool written =
        write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    if (!written || !closed || rename(temporary.c_str(), path.c_str()) != 0) {
        error = path + ": cannot write (" + std::strerror(errno) + ")";
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

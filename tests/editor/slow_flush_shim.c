// Preloaded into the demo to hold the editor's write of the timeline at its flush, as a slow or
// network disk does, for as long as the test wants: while a file "hold-flush" stands in the current
// folder, a flush of the timeline's temporary (".timeline.txt.XXXXXX") creates "flush-held" and
// waits (10 s at most) until "hold-flush" is gone. Every other flush goes straight through.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static int is_timeline_temporary(int fd)
{
    char link[64], path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, path, sizeof path - 1);
    if (length <= 0)
        return 0;
    path[length] = '\0';
    const char* name = strrchr(path, '/');
    return name != NULL && strncmp(name, "/.timeline.txt.", 15) == 0;
}

int fsync(int fd)
{
    typedef int (*Real)(int);
    if (is_timeline_temporary(fd) && access("hold-flush", F_OK) == 0) {
        close(open("flush-held", O_WRONLY | O_CREAT, 0644));
        const struct timespec poll = {0, 10000000};
        for (int i = 0; i < 1000 && access("hold-flush", F_OK) == 0; ++i)
            nanosleep(&poll, NULL);
    }
    return ((Real)dlsym(RTLD_NEXT, "fsync"))(fd);
}

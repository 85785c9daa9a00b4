// Writes a capture test timeline's track files: write_test_timeline FOLDER short|fade
#include <cstdio>
#include <cstring>

#include "test_timeline.h"

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::puts("usage: write_test_timeline FOLDER short|fade");
        return 0;
    }
    if (argc != 3) {
        std::fputs("write_test_timeline: usage: write_test_timeline FOLDER short|fade\n", stderr);
        return 1;
    }
    if (!write_test_timeline(argv[1], argv[2])) {
        std::fprintf(stderr, "write_test_timeline: %s: cannot write the '%s' timeline there\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}

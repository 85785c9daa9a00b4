// vordel-images: draws the demo's seven pictures from code into a folder (default "data").
//
// Usage: vordel-images [--out DIR]. The output is deterministic: running it twice gives the same
// bytes. Exit status 0 on success, 1 when a file cannot be written, 2 for a usage error.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/images/pictures.h"

namespace {

constexpr int EXIT_WRITE_FAILED = 1;
constexpr int EXIT_USAGE = 2;

void print_help()
{
    std::printf("usage: vordel-images [--out DIR]\n"
                "Draws jimage.bmp, dry_grass.png, marble.jpg, text1.png, greets.png, more.png and\n"
                "jimage.png into DIR (default: data). Same program, same bytes.\n");
}

}  // namespace

int main(int argc, char** argv)
{
    std::string folder = "data";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            print_help();
            return 0;
        }
        if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
            folder = argv[++i];
            continue;
        }
        std::fprintf(stderr, "vordel-images: unknown argument '%s' (try --help)\n", argv[i]);
        return EXIT_USAGE;
    }
    std::string error;
    if (!write_all_pictures(folder, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return EXIT_WRITE_FAILED;
    }
    return 0;
}

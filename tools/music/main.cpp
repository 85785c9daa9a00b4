// vordel-music: renders the demo's music and writes it as an MP3 file (data/music.mp3 by default).
// The output is the same on every run of the same build; see score.cpp for the piece.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/music/mp3_writer.h"
#include "tools/music/synth.h"

namespace {

constexpr const char* DEFAULT_OUT = "data/music.mp3";
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_WRITE = 1;

void print_usage(FILE* stream)
{
    std::fprintf(stream,
                 "usage: vordel-music [--out FILE]\n"
                 "Synthesises the demo's music (%.1f s, %d Hz stereo, 128 beats per minute) and writes it\n"
                 "as a %d kbit/s MP3 to FILE (default: %s, relative to the working directory).\n",
                 static_cast<double>(SONG_FRAMES) / MUSIC_SAMPLE_RATE, MUSIC_SAMPLE_RATE, MP3_BITRATE_KBPS,
                 DEFAULT_OUT);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string out = DEFAULT_OUT;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            print_usage(stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
            out = argv[++i];
            continue;
        }
        if (std::strcmp(argv[i], "--out") == 0) {
            std::fprintf(stderr, "vordel-music: --out needs a file name\n");
        } else {
            std::fprintf(stderr, "vordel-music: unknown argument '%s' (try --help)\n", argv[i]);
        }
        return EXIT_USAGE;
    }
    std::vector<int16_t> pcm = render_song(SONG_FRAMES);
    std::string error;
    if (!write_mp3(out, pcm, MUSIC_SAMPLE_RATE, error)) {
        std::fprintf(stderr, "vordel-music: %s\n", error.c_str());
        return EXIT_WRITE;
    }
    std::printf("wrote %s: %.2f s, %d Hz stereo\n", out.c_str(),
                static_cast<double>(pcm.size() / MUSIC_CHANNELS) / MUSIC_SAMPLE_RATE, MUSIC_SAMPLE_RATE);
    return 0;
}

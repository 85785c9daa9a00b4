// How long decoding a whole minute of music takes (the demo does it once at start-up, before
// playback). Prints figures; not a pass/fail test. Pass a file name to time that file instead.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "audio/mp3_decoder.h"
#include "tests/audio/tone_mp3.h"

namespace {

std::vector<uint8_t> input;

void BM_DecodeWholeFileFromMemory(benchmark::State& state)
{
    DecodedAudio out;
    for (auto _ : state) {
        if (!decode_mp3_memory(input.data(), input.size(), out))
            state.SkipWithError("decoding failed");
        benchmark::DoNotOptimize(out.samples.data());
    }
    const double seconds =
        out.rate > 0 ? static_cast<double>(out.samples.size() / static_cast<size_t>(out.channels)) / out.rate
                     : 0.0;
    state.counters["audio_seconds"] = seconds;
    state.counters["mp3_bytes"] = static_cast<double>(input.size());
}
BENCHMARK(BM_DecodeWholeFileFromMemory)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (argc > 1) {
        std::ifstream file(argv[1], std::ios::binary);
        input.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    } else {
        input = encode_tone_mp3({60.0, 44100, 2, 440.0, 0.5, 128});
    }
    if (input.empty()) {
        std::fprintf(stderr, "no input to decode\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

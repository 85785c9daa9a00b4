// The audio layer: MP3 decoding, the smooth position against a simulated mixer, and the audio calls
// over a real OpenAL Soft mixer that writes what it plays to a wave file, in real time (under 1 s).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string_view>
#include <thread>

#include "audio/audio.h"
#include "audio/mp3_decoder.h"
#include "audio/position_smoother.h"
#include "tests/audio/tone_mp3.h"

TEST(Mp3Decoder, DecodesToTheExactLengthRateAndLevelOrRefusesWithAnEmptyResult)
{
    // More than one read from the file; mono at another rate. Junk before the first frame is skipped.
    for (const ToneSpec& wanted : {ToneSpec{4.5, 44100, 2}, ToneSpec{0.5, 22050, 1, 440.0, 0.25, 64}}) {
        std::vector<uint8_t> mp3(100, 'x'), tone = encode_tone_mp3(wanted);
        mp3.insert(mp3.end(), tone.begin(), tone.end());
        DecodedAudio file;
        ASSERT_TRUE(decode_mp3_file(write_temp_file("tone.mp3", mp3).c_str(), file));
        EXPECT_TRUE(file.rate == wanted.rate && file.channels == wanted.channels);
        EXPECT_EQ(file.samples.size(), std::lround(wanted.seconds * wanted.rate) * wanted.channels);
        const int16_t peak = *std::max_element(file.samples.begin(), file.samples.end());
        EXPECT_NEAR(peak / (wanted.amplitude * 32767.0), 1.0, 0.1) << "the tone's crest";
    }
    // Refused, leaving nothing in the result: no bytes, no file, a file cut inside its first frame.
    const std::vector<uint8_t> tone = encode_tone_mp3({}), cut(tone.begin(), tone.begin() + 40);
    DecodedAudio stale[4] = {{{1}, 2, 44100}, {{1}, 2, 44100}, {{1}, 2, 44100}, {{1}, 2, 44100}};
    EXPECT_FALSE(decode_mp3_memory(nullptr, 1, stale[0]) || decode_mp3_file(nullptr, stale[1]) ||
                 decode_mp3_memory(cut.data(), cut.size(), stale[2]) ||
                 decode_mp3_file(write_temp_file("cut.mp3", cut).c_str(), stale[3]));
    for (const DecodedAudio& out : stale)
        EXPECT_TRUE(out.samples.empty() && out.channels == 0 && out.rate == 0);
}

TEST(PositionSmoother, FollowsTheClockFromTheLeastLaggingMixWithinTheBoundsAndStopsAtTheEnd)
{
    // Queries every 2 ms; mix k comes 7 ms + (k periods + up to 1.5 ms of wake-up) / speed in, mix 60
    // `late` more. The truth, from the earliest mixes, is never behind a report; the estimate never
    // ahead of it, nor behind by more than a query, the jitter and 1 ms it may lag the latest report.
    constexpr double MIX = 1024.0 / 44100.0, LATENCY = 2.0 * MIX, STEP = 0.002, JITTER = 0.0015, END = 2.0;
    for (const auto& [late, speed] : {std::pair{0.0, 1.0}, {0.015, 1.0}, {0.15, 1.0}, {0.0, 1.001}}) {
        PositionSmoother smoother;
        double position = 0.0;
        const auto mix_at = [&, late = late, speed = speed](double k) {
            return 0.007 + (k * MIX + std::fmod(k * 0.618, 1.0) * JITTER) / speed + (k == 60 ? late : 0.0);
        };
        for (double t = 0.0, mixes = 0; t < END + 0.5; t += STEP) {
            while (mix_at(mixes) <= t)
                ++mixes;
            const double lower = mixes * MIX - LATENCY, upper = std::min(lower + LATENCY + 0.9 * MIX, END);
            const double truth = std::min((t - 0.007) * speed + MIX - LATENCY, END), last = position;
            position = smooth_position(smoother, {lower, upper, END}, t);
            const bool stalled = late > 0.1 && t > 1.4 && t < 1.6;  // waits at `upper`, then jumps
            ASSERT_TRUE(position >= last && position <= upper + 1e-9 &&
                        position <= std::max(truth, 0.0) + 1e-9 &&
                        (stalled || position >= truth - STEP - JITTER - 0.001 - (speed - 1.0) - 1e-9))
                << t << " " << late << " " << speed;
        }
        EXPECT_TRUE(position == END && smooth_position(smoother, {1.0, 1.0, END}, 3.0) == END) << "went back";
    }
}

TEST(PositionSmoother, RunsFromTheReportThatLaggedLeastWhenALaterOneComesLate)
{
    constexpr double UPPER = 1.0, END = 2.0;
    PositionSmoother smoother;
    smooth_position(smoother, {0.0, UPPER, END}, 0.0);
    smooth_position(smoother, {0.010, UPPER, END}, 0.010);  // on time
    EXPECT_EQ(smooth_position(smoother, {0.015, UPPER, END}, 0.020), 0.020) << "a report 5 ms late moved it";
}

TEST(PositionSmoother, KeepsToTheSoundOfAMixerThatIsLateForGoodOrMostlyLateAndToTheClockOnceItIsLost)
{
    // Queries every 2 ms; mix k comes 7 ms + k periods in, `stall` later from EVENT on, and 20 ms late
    // unless k is a multiple of `on_time`. From `settled` on, the position is never ahead of the
    // truth nor a query behind it; once the output is lost it runs on from where it stood, exactly.
    constexpr double MIX = 1024.0 / 44100.0, LATENCY = 2.0 * MIX, STEP = 0.002, EVENT = 1.0, END = 4.0;
    struct Mixer {
        const char* what;
        double stall;
        double on_time;
        bool lost;
        double settled;
    };
    for (const Mixer& mixer :
         {Mixer{"late for good after a stall", 0.3, 1, false, EVENT + 1.5},
          Mixer{"on time once in 0.93 s", 0.0, 40, false, 0.5}, Mixer{"lost", 0.0, 1, true, EVENT}}) {
        const auto mix_at = [&](double k) {
            return 0.007 + k * MIX + (k * MIX >= EVENT ? mixer.stall : 0.0) +
                   (std::fmod(k, mixer.on_time) == 0.0 ? 0.0 : 0.02);
        };
        PositionSmoother smoother;
        double position = 0.0, last_t = 0.0, lost_offset = NAN;
        for (double t = 0.0, mixes = 0; t < END + 1.0; last_t = t, t += STEP) {
            while (mix_at(mixes) <= t)
                ++mixes;
            const double lower = mixes * MIX - LATENCY, upper = std::min(lower + LATENCY + 0.9 * MIX, END);
            const bool lost = mixer.lost && t >= EVENT;
            if (lost && std::isnan(lost_offset))
                lost_offset = position - last_t;
            const double last = position;
            position = smooth_position(smoother, {lower, upper, END, lost}, t);
            const double truth =
                std::min(lost ? t + lost_offset : t - 0.007 - mixer.stall + MIX - LATENCY, END);
            ASSERT_TRUE(position >= last && position <= END) << mixer.what << " " << t;
            const double behind = lost ? 1e-9 : STEP + 1e-9;
            ASSERT_TRUE(t < mixer.settled || (position <= truth + 1e-9 && position >= truth - behind))
                << mixer.what << " at " << t << ": " << position - truth;
        }
        EXPECT_EQ(position, END) << mixer.what;
    }
}

TEST(AudioCalls, PlayTheDecodedSamplesAtTheVolumeSetWhereThePositionSaidAndRefuseTheRest)
{
    constexpr int RATE = 48000;       // asked of audio_init: not OpenAL Soft's default
    constexpr double PERIOD = 0.024;  // OpenAL Soft's mixing period, rounded up
    // Mono at the output's rate (not resampled); its length in frames does not survive a trip via seconds.
    const std::string mono = write_temp_file("mono.mp3", encode_tone_mp3({0.6445, RATE, 1}));
    // OpenAL Soft reads this at its first call. Without dither, silence is zeros, the rest as mixed.
    const std::string wave = temp_dir() + "/out.wav", conf = temp_dir() + "/al.conf";
    std::ofstream(conf) << "[general]\ndrivers=wave\nsample-type=int16\ndither=false\n[wave]\nfile=" << wave;
    ASSERT_TRUE(setenv("ALSOFT_CONF", conf.c_str(), 1) == 0 && setenv("ALSOFT_DRIVERS", "wave", 1) == 0);
    const auto init = [](int device, uint32_t rate) { return audio_init(device, rate, 0, 0, nullptr); };
    const auto open = [](std::string file, bool memory = false, uint64_t offset = 0, uint64_t length = 0) {
        return audio_stream_create_file(memory, file.c_str(), offset, length, AUDIO_STREAM_PRESCAN);
    };
    const auto refused = [](AudioStream bad) {  // by every call
        return !audio_channel_play(bad, false) && !audio_channel_set_attribute(bad, AUDIO_ATTRIB_VOL, 1) &&
               !audio_channel_get_position(bad, AUDIO_POS_BYTE) && !audio_channel_bytes_to_seconds(bad, 9) &&
               !audio_channel_pause(bad) && !audio_channel_resume(bad) &&
               !audio_channel_set_position(bad, 0, AUDIO_POS_BYTE) && !audio_stream_free(bad);
    };
    DecodedAudio pcm;
    AudioStream first = 0, stream = 0;
    std::filesystem::create_directory(wave);  // the wave writer cannot open its file: no output
    const std::pair<const char*, bool> steps[] = {
        {"no output", !init(-1, RATE) && !open(mono) && !audio_free()},
        {"default device, audio rate", std::filesystem::remove(wave) && !init(3, RATE) && !init(-1, 192001)},
        {"open, and again", init(-1, RATE) && init(-1, RATE)},
        {"whole files",
         !open("missing") && !open(mono, true) && !open(mono, false, 1) && !open(mono, false, 0, 1)},
        {"own byte rate", (first = open(mono)) != 0 && audio_channel_bytes_to_seconds(first, RATE * 2) == 1},
        {"volume only", !audio_channel_set_attribute(first, 7, 1) && refused(0) && refused(0xFFFFFFFF)},
        {"freed once", audio_stream_free(first) && refused(first)},
        {"a new handle", (stream = open(mono)) != 0 && stream != first && decode_mp3_file(mono.c_str(), pcm)},
        {"no transport before play; seek in bytes, to the end at most",
         !audio_channel_pause(stream) && !audio_channel_resume(stream) &&
             !audio_channel_set_position(stream, 0, 1) &&
             audio_channel_set_position(stream, ~0ull, AUDIO_POS_BYTE) &&
             audio_channel_get_position(stream, AUDIO_POS_BYTE) == pcm.samples.size() * 2},
        {"at 0 until played", audio_channel_set_position(stream, 0, AUDIO_POS_BYTE) &&
                                  !audio_channel_get_position(stream, AUDIO_POS_BYTE) &&
                                  audio_channel_play(stream, false)},
        {"full volume", audio_channel_set_attribute(stream, AUDIO_ATTRIB_VOL, 2)},
    };  // each after the one before
    for (const auto& [what, ok] : steps)
        ASSERT_TRUE(ok) << what;
    std::vector<double> set_at;  // where the volume went to 0.5, then NaN (silent); play again is idle
    for (uint64_t bytes = 0, last = 0, polls = 0; bytes != pcm.samples.size() * 2; last = bytes, ++polls) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));  // like the frame loop
        bytes = audio_channel_get_position(stream, AUDIO_POS_BYTE);
        const double seconds = audio_channel_bytes_to_seconds(stream, bytes);
        ASSERT_TRUE(bytes >= last && polls < 1000) << "backwards, or stuck";
        if (set_at.size() < 2 && seconds >= 0.2 * (set_at.size() + 1)) {
            audio_channel_set_attribute(stream, AUDIO_ATTRIB_VOL, set_at.empty() ? 0.5f : std::nanf(""));
            set_at.push_back(seconds);
            ASSERT_TRUE(audio_channel_play(stream, false) && !audio_channel_get_position(stream, 1));
        }
    }
    // At the end the stream still pauses and resumes, and stays there. Back from the end to an odd
    // byte at full volume: exactly there. Then paused: still and silent.
    const uint64_t back = 9601;  // bytes
    ASSERT_TRUE(audio_channel_pause(stream) && audio_channel_resume(stream) &&
                audio_channel_get_position(stream, AUDIO_POS_BYTE) == pcm.samples.size() * 2);
    ASSERT_TRUE(audio_channel_set_attribute(stream, AUDIO_ATTRIB_VOL, 1) &&
                audio_channel_set_position(stream, back, AUDIO_POS_BYTE) &&
                audio_channel_get_position(stream, AUDIO_POS_BYTE) == back - 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(audio_channel_pause(stream) && audio_channel_pause(stream));
    const uint64_t paused_at = audio_channel_get_position(stream, AUDIO_POS_BYTE);
    const size_t quiet_from = std::filesystem::file_size(wave) / 2 + 4 * size_t(PERIOD * RATE);  // 2 mixes on
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const size_t quiet_to = std::filesystem::file_size(wave) / 2;
    ASSERT_TRUE(paused_at > back && audio_channel_get_position(stream, AUDIO_POS_BYTE) == paused_at &&
                audio_channel_resume(stream));
    ASSERT_TRUE(audio_free() && refused(stream) && !audio_free()) << "the streams go with the library";
    std::vector<int16_t> out(std::filesystem::file_size(wave) / 2);  // stereo
    std::ifstream(wave, std::ios::binary).read(reinterpret_cast<char*>(out.data()), out.size() * 2);
    // The stream starts after the header, which ends with the data chunk's 8 bytes, and after zeros.
    size_t start = (std::string_view(reinterpret_cast<char*>(out.data()), 100).find("data") + 8) / 4;
    while (out[2 * start] == 0)
        ++start;
    const auto first_off = [&](size_t from, double gain) {  // the first frame not at this gain
        for (size_t i = from; i < pcm.samples.size(); ++i)
            if (std::abs(out[2 * (start + i)] - std::lround(gain * pcm.samples[i])) > 1 ||
                out[2 * (start + i) + 1] != out[2 * (start + i)])
                return i;
        return pcm.samples.size();
    };
    // Centred: between the linear and the equal-power pan law's centre (0.5 and 0.71 of the level).
    const double centre = *std::max_element(out.begin() + 2 * start, out.begin() + 2 * start + 9600) /
                          double(*std::max_element(pcm.samples.begin(), pcm.samples.begin() + 4800));
    EXPECT_TRUE(centre >= 0.5 && centre <= 0.71) << centre;
    // Each change lands in the next mix: not before what was written at the position read, and
    // soon after (with room for a busy machine between reading the position and setting it).
    const size_t half = first_off(0, centre), silent = first_off(half + PERIOD * RATE, centre / 2);
    EXPECT_EQ(first_off(silent + PERIOD * RATE, 0.0), pcm.samples.size());
    for (const auto& [frame, position] : {std::pair{half, set_at[0]}, {silent, set_at[1]}})
        EXPECT_TRUE(frame >= position * RATE && frame <= (position + 0.2) * RATE) << frame << " " << position;
    const auto quiet = std::count(out.begin() + quiet_from, out.begin() + quiet_to, 0);  // silent samples
    EXPECT_TRUE(quiet_to > quiet_from + RATE / 5 && quiet == std::ptrdiff_t(quiet_to - quiet_from));
}

// The generator's DSP blocks: pitch, oscillators, the filter and the peak limiter.
#include <gtest/gtest.h>

#include <cmath>

#include "tools/music/dsp.h"

namespace {

double rms(const std::vector<double>& samples) {
    double sum = 0.0;
    for (double sample : samples) {
        sum += sample * sample;
    }
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

// RMS of a sine of `hz` after the low-pass, skipping the filter's settling.
double lowpassed_rms(double hz, double cutoff_hz) {
    Oscillator oscillator;
    StateVariableFilter filter;
    filter.set(cutoff_hz, 0.707);
    std::vector<double> out;
    for (int i = 0; i < SAMPLE_RATE / 2; ++i) {
        double value = filter.process(oscillator.sine(hz)).low;
        if (i > SAMPLE_RATE / 10) {
            out.push_back(value);
        }
    }
    return rms(out);
}

}  // namespace

TEST(MusicDsp, NotesAreEqualTemperedFromA440) {
    EXPECT_DOUBLE_EQ(note_hz(69), 440.0);
    EXPECT_NEAR(note_hz(81), 880.0, 1e-9);
    EXPECT_NEAR(note_hz(57), 220.0, 1e-9);
    EXPECT_NEAR(note_hz(60), 261.6255653, 1e-6);
}

TEST(MusicDsp, OscillatorsStayInRangeWithoutOffset) {
    Oscillator saw;
    Oscillator square;
    Oscillator triangle;
    double sums[3] = {0.0, 0.0, 0.0};
    const int frames = SAMPLE_RATE;  // exactly 1000 cycles at 1000 Hz
    for (int i = 0; i < frames; ++i) {
        double values[3] = {saw.saw(1000.0), square.square(1000.0), triangle.triangle(1000.0)};
        for (int k = 0; k < 3; ++k) {
            EXPECT_LE(std::fabs(values[k]), 1.0 + 1e-9) << "oscillator " << k << " frame " << i;
            sums[k] += values[k];
        }
    }
    for (double sum : sums) {
        EXPECT_NEAR(sum / frames, 0.0, 0.01);
    }
}

TEST(MusicDsp, LowPassKeepsLowsAndCutsHighs) {
    EXPECT_NEAR(lowpassed_rms(100.0, 1000.0), std::sqrt(0.5), 0.02);
    EXPECT_LT(lowpassed_rms(10000.0, 1000.0), 0.02);  // over three octaves up: about -40 dB
}

TEST(MusicDsp, NoiseIsSeededAndBounded) {
    Noise a(7);
    Noise b(7);
    Noise c(8);
    bool differs = false;
    for (int i = 0; i < 1000; ++i) {
        double value = a.next();
        EXPECT_EQ(value, b.next());
        EXPECT_GE(value, -1.0);
        EXPECT_LT(value, 1.0);
        differs = differs || value != c.next();
    }
    EXPECT_TRUE(differs);
}

TEST(MusicDsp, LimiterHoldsTheCeilingAndLeavesQuietPartsAlone) {
    // A quiet tone, one loud burst in the middle, quiet again.
    const size_t frames = SAMPLE_RATE;
    std::vector<float> samples(frames * 2);
    Oscillator oscillator;
    for (size_t i = 0; i < frames; ++i) {
        double level = (i >= 20000 && i < 20500) ? 2.5 : 0.3;
        float value = static_cast<float>(level * oscillator.sine(440.0));
        samples[2 * i] = value;
        samples[2 * i + 1] = -value;
    }
    std::vector<float> original = samples;
    limit_peaks(samples, 0.9, 220, 0.05);
    for (float sample : samples) {
        EXPECT_LE(std::fabs(sample), 0.9f);
    }
    // Well before the burst nothing changes; well after it the gain has recovered.
    for (size_t i = 0; i < 19000 * 2; ++i) {
        ASSERT_EQ(samples[i], original[i]) << i;
    }
    EXPECT_NEAR(samples[2 * 40000 + 1] / original[2 * 40000 + 1], 1.0, 0.01);
    // The burst is turned down, not flattened into a square.
    size_t at_ceiling = 0;
    for (size_t i = 20000 * 2; i < 20500 * 2; ++i) {
        at_ceiling += std::fabs(samples[i]) > 0.899f ? 1 : 0;
    }
    EXPECT_LT(at_ceiling, 50u);
}

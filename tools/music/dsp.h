// Building blocks of the music generator: band-limited oscillators, a state-variable filter, noise,
// a stereo reverb, a ping-pong delay and a look-ahead peak limiter.
//
// Samples are floats or doubles in -1..1 at SAMPLE_RATE frames per second (a frame is one sample per
// channel); times are in seconds or frames as each name says. Nothing here is random in the sense of
// time-dependent: noise comes from a seeded generator, so equal inputs give equal outputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int SAMPLE_RATE = 44100;

// Frequency in Hz of a MIDI note number (69 is A4 at 440 Hz); fractional notes glide between.
double note_hz(double note);

// A phase accumulator (phase in cycles, 0..1). Saw and square carry a polynomial band-limiting
// correction at their jumps, which keeps audible aliasing low up to a few kHz of fundamental.
struct Oscillator {
    double phase = 0.0;

    double saw(double hz);
    double square(double hz);
    double triangle(double hz);  // uncorrected: its harmonics fall fast enough
    double sine(double hz);
};

// Seeded xorshift noise; the same seed gives the same sequence.
struct Noise {
    uint32_t state;

    explicit Noise(uint32_t seed);
    double next();  // uniform in -1..1
};

// Trapezoidal state-variable filter (low, band and high pass from one state).
// `set` is cheap enough to call every few samples for sweeps; cutoff is clamped below Nyquist.
struct StateVariableFilter {
    double ic1 = 0.0;
    double ic2 = 0.0;
    double a1 = 0.0;
    double a2 = 0.0;
    double a3 = 0.0;
    double k = 1.0;

    struct Output {
        double low;
        double band;
        double high;
    };

    void set(double cutoff_hz, double q);
    Output process(double input);
};

// A plate-like stereo reverb: parallel damped feedback combs followed by series all-passes,
// with the right channel's delays slightly longer for width. Output is the wet signal only.
class Reverb {
public:
    Reverb(double room_feedback, double damping);
    void process(double in_left, double in_right, double& out_left, double& out_right);

private:
    struct Comb {
        std::vector<double> line;
        size_t pos = 0;
        double store = 0.0;
    };
    struct AllPass {
        std::vector<double> line;
        size_t pos = 0;
    };
    std::vector<Comb> combs_[2];
    std::vector<AllPass> allpasses_[2];
    double feedback_;
    double damping_;
};

// Ping-pong echo: the left input echoes on the right and back, each repeat darker and quieter.
class PingPongDelay {
public:
    PingPongDelay(size_t delay_frames, double feedback, double tone_hz);
    void process(double in_left, double in_right, double& out_left, double& out_right);

private:
    std::vector<double> left_;
    std::vector<double> right_;
    size_t pos_ = 0;
    double feedback_;
    StateVariableFilter tone_left_;
    StateVariableFilter tone_right_;
};

// Lowers the gain of interleaved stereo floats wherever a peak would pass `ceiling`: the gain
// starts falling `lookahead_frames` before the peak (no clicks) and recovers over `release_seconds`.
// Afterwards no sample's magnitude exceeds `ceiling`.
void limit_peaks(std::vector<float>& interleaved, double ceiling, size_t lookahead_frames,
                 double release_seconds);

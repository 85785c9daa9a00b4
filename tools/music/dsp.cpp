// Oscillators, filter, noise and effects of the music generator (see dsp.h).
#include "tools/music/dsp.h"

#include <algorithm>
#include <cmath>

#include "base/angles.h"
#include <deque>

namespace {

constexpr double A4_HZ = 440.0;
constexpr int A4_NOTE = 69;
constexpr double NYQUIST_MARGIN = 0.45;  // highest cutoff as a fraction of the sample rate

// Comb and all-pass lengths in frames; mutually prime-ish so their echoes do not line up.
constexpr size_t COMB_FRAMES[] = {1103, 1171, 1249, 1327, 1399, 1453, 1531, 1601};
constexpr size_t ALLPASS_FRAMES[] = {227, 347, 461, 569};
constexpr size_t STEREO_SPREAD_FRAMES = 29;
constexpr double ALLPASS_FEEDBACK = 0.5;
constexpr double REVERB_INPUT_GAIN = 0.05;  // combs add up, so the input is scaled down first

// Correction for a unit jump at phase 0 of a phase accumulator advancing `dt` per sample.
double poly_blep(double t, double dt)
{
    if (t < dt) {
        double x = t / dt;
        return x + x - x * x - 1.0;
    }
    if (t > 1.0 - dt) {
        double x = (t - 1.0) / dt;
        return x * x + x + x + 1.0;
    }
    return 0.0;
}

double advance(double& phase, double hz)
{
    double dt = hz / SAMPLE_RATE;
    phase += dt;
    if (phase >= 1.0) {
        phase -= std::floor(phase);
    }
    return dt;
}

}  // namespace

double note_hz(double note)
{
    return A4_HZ * std::pow(2.0, (note - A4_NOTE) / 12.0);
}

double Oscillator::saw(double hz)
{
    double t = phase;
    double dt = advance(phase, hz);
    return 2.0 * t - 1.0 - poly_blep(t, dt);
}

double Oscillator::square(double hz)
{
    double t = phase;
    double dt = advance(phase, hz);
    double value = t < 0.5 ? 1.0 : -1.0;
    double shifted = t + 0.5;
    if (shifted >= 1.0) {
        shifted -= 1.0;
    }
    return value + poly_blep(t, dt) - poly_blep(shifted, dt);
}

double Oscillator::triangle(double hz)
{
    double t = phase;
    advance(phase, hz);
    return t < 0.5 ? 4.0 * t - 1.0 : 3.0 - 4.0 * t;
}

double Oscillator::sine(double hz)
{
    double t = phase;
    advance(phase, hz);
    return std::sin(2.0 * PI * t);
}

Noise::Noise(uint32_t seed) : state(seed == 0 ? 0x9E3779B9u : seed) {}

double Noise::next()
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<double>(state) / 2147483648.0 - 1.0;
}

void StateVariableFilter::set(double cutoff_hz, double q)
{
    double cutoff = std::min(std::max(cutoff_hz, 10.0), NYQUIST_MARGIN * SAMPLE_RATE);
    double g = std::tan(PI * cutoff / SAMPLE_RATE);
    k = 1.0 / q;
    a1 = 1.0 / (1.0 + g * (g + k));
    a2 = g * a1;
    a3 = g * a2;
}

StateVariableFilter::Output StateVariableFilter::process(double input)
{
    double v3 = input - ic2;
    double v1 = a1 * ic1 + a2 * v3;
    double v2 = ic2 + a2 * ic1 + a3 * v3;
    ic1 = 2.0 * v1 - ic1;
    ic2 = 2.0 * v2 - ic2;
    return Output{v2, v1, input - k * v1 - v2};
}

Reverb::Reverb(double room_feedback, double damping) : feedback_(room_feedback), damping_(damping)
{
    for (int channel = 0; channel < 2; ++channel) {
        size_t spread = channel == 0 ? 0 : STEREO_SPREAD_FRAMES;
        for (size_t frames : COMB_FRAMES) {
            Comb comb;
            comb.line.assign(frames + spread, 0.0);
            combs_[channel].push_back(comb);
        }
        for (size_t frames : ALLPASS_FRAMES) {
            AllPass allpass;
            allpass.line.assign(frames + spread, 0.0);
            allpasses_[channel].push_back(allpass);
        }
    }
}

void Reverb::process(double in_left, double in_right, double& out_left, double& out_right)
{
    double input = (in_left + in_right) * REVERB_INPUT_GAIN;
    double outputs[2] = {0.0, 0.0};
    for (int channel = 0; channel < 2; ++channel) {
        double sum = 0.0;
        for (Comb& comb : combs_[channel]) {
            double delayed = comb.line[comb.pos];
            comb.store = delayed * (1.0 - damping_) + comb.store * damping_;
            comb.line[comb.pos] = input + comb.store * feedback_;
            comb.pos = (comb.pos + 1) % comb.line.size();
            sum += delayed;
        }
        for (AllPass& allpass : allpasses_[channel]) {
            double delayed = allpass.line[allpass.pos];
            allpass.line[allpass.pos] = sum + delayed * ALLPASS_FEEDBACK;
            allpass.pos = (allpass.pos + 1) % allpass.line.size();
            sum = delayed - sum;
        }
        outputs[channel] = sum;
    }
    out_left = outputs[0];
    out_right = outputs[1];
}

PingPongDelay::PingPongDelay(size_t delay_frames, double feedback, double tone_hz)
    : left_(std::max<size_t>(delay_frames, 1), 0.0), right_(std::max<size_t>(delay_frames, 1), 0.0),
      feedback_(feedback)
{
    tone_left_.set(tone_hz, 0.7);
    tone_right_.set(tone_hz, 0.7);
}

void PingPongDelay::process(double in_left, double in_right, double& out_left, double& out_right)
{
    double delayed_left = left_[pos_];
    double delayed_right = right_[pos_];
    // Each side is fed from the other, so a repeat crosses the stereo field.
    left_[pos_] = (in_left + in_right) * 0.5 + tone_left_.process(delayed_right).low * feedback_;
    right_[pos_] = tone_right_.process(delayed_left).low * feedback_;
    pos_ = (pos_ + 1) % left_.size();
    out_left = delayed_left;
    out_right = delayed_right;
}

void limit_peaks(std::vector<float>& interleaved, double ceiling, size_t lookahead_frames,
                 double release_seconds)
{
    size_t frames = interleaved.size() / 2;
    if (frames == 0) {
        return;
    }
    size_t window = std::max<size_t>(lookahead_frames, 1);
    std::vector<double> needed(frames);
    for (size_t i = 0; i < frames; ++i) {
        double peak = std::max(std::fabs(interleaved[2 * i]), std::fabs(interleaved[2 * i + 1]));
        needed[i] = peak > ceiling ? ceiling / peak : 1.0;
    }
    // Smallest needed gain over the coming window, by a monotonic queue of candidate frames.
    std::vector<double> ahead_min(frames);
    std::deque<size_t> candidates;
    size_t next = 0;
    for (size_t i = 0; i < frames; ++i) {
        while (next < frames && next < i + window) {
            while (!candidates.empty() && needed[candidates.back()] >= needed[next]) {
                candidates.pop_back();
            }
            candidates.push_back(next);
            ++next;
        }
        while (candidates.front() < i) {
            candidates.pop_front();
        }
        ahead_min[i] = needed[candidates.front()];
    }
    // Averaging the last `window` minima ramps the gain down; every term already covers frame i.
    double release = 1.0 - std::exp(-1.0 / (release_seconds * SAMPLE_RATE));
    double sum = 0.0;
    double gain = 1.0;
    for (size_t i = 0; i < frames; ++i) {
        sum += ahead_min[i];
        if (i >= window) {
            sum -= ahead_min[i - window];
        }
        double count = static_cast<double>(std::min(i + 1, window));
        gain = std::min(sum / count, gain + (1.0 - gain) * release);
        for (size_t c = 0; c < 2; ++c) {
            double value = interleaved[2 * i + c] * gain;
            // Rounding in the running sum can leave a hair over the ceiling; clamp that hair.
            value = std::min(std::max(value, -ceiling), ceiling);
            interleaved[2 * i + c] = static_cast<float>(value);
        }
    }
}

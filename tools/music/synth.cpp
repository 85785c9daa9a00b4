// The instruments and the mix of the music generator (see synth.h). Every note is rendered on its
// own into one of four stereo buses; the buses are ducked by the kick, sent to reverb and delay,
// summed, limited and faded out at the very end.
#include "tools/music/synth.h"

#include <algorithm>
#include <cmath>

#include "base/angles.h"

#include "tools/music/dsp.h"
#include "tools/music/score.h"

namespace {

constexpr double SECONDS_PER_ROW = 1.0 / ROWS_PER_SECOND;
constexpr int FILTER_UPDATE_FRAMES = 8;  // sweeping filters recompute their coefficients this often

// Mix: bus levels, how much each bus is ducked by the kick (0..1) and its effect sends.
constexpr double MASTER_GAIN = 0.6;
constexpr double DUCK_SECONDS = 0.22;
constexpr double REVERB_RETURN = 1.0;
constexpr double DELAY_RETURN = 0.45;
constexpr double REVERB_FEEDBACK = 0.86;
constexpr double REVERB_DAMPING = 0.3;
constexpr double DELAY_FEEDBACK = 0.38;
constexpr double DELAY_TONE_HZ = 3500.0;
constexpr int32_t DELAY_ROWS = 6;                 // a dotted eighth
constexpr size_t LIMITER_LOOKAHEAD_FRAMES = 220;  // 5 ms
constexpr double LIMITER_RELEASE_SECONDS = 0.15;
constexpr double END_FADE_SECONDS = 1.0;  // the last second falls to exact silence

// Level of the whole mix by section, before the limiter: the piece grows towards the climax
// instead of starting at full level. The build-up rises from the groove's level to full.
constexpr double BEAT_LEVEL = 0.68;
constexpr double GROOVE_LEVEL = 0.8;

double section_level(size_t frame)
{
    double row = static_cast<double>(frame) * ROWS_PER_SECOND / SAMPLE_RATE;
    if (row < static_cast<double>(GROOVE_BAR * ROWS_PER_BAR)) {
        return BEAT_LEVEL;
    }
    if (row < static_cast<double>(BUILD_BAR * ROWS_PER_BAR)) {
        return GROOVE_LEVEL;
    }
    if (row < static_cast<double>(CLIMAX_BAR * ROWS_PER_BAR)) {
        double t = (row - BUILD_BAR * ROWS_PER_BAR) / ((CLIMAX_BAR - BUILD_BAR) * ROWS_PER_BAR);
        return GROOVE_LEVEL + (1.0 - GROOVE_LEVEL) * t;
    }
    return 1.0;
}

enum Bus { DRUMS, BASS, CHORDS, LEADS, BUS_COUNT };

struct BusMix {
    double gain;
    double duck;
    double reverb;
    double delay;
};

constexpr BusMix BUS_MIX[BUS_COUNT] = {
    {1.0, 0.0, 0.08, 0.0},   // drums
    {0.8, 0.75, 0.0, 0.0},   // bass
    {0.55, 0.6, 0.35, 0.1},  // pads, stabs, plucks
    {0.5, 0.2, 0.3, 0.35},   // leads
};

struct Stereo {
    std::vector<float> left;
    std::vector<float> right;
};

// Where one note renders: its bus, its first frame and its seed for noise and phases.
struct Target {
    Stereo& out;
    size_t start;
    uint32_t seed;
};

void emit(Target& target, size_t offset, double left, double right)
{
    size_t frame = target.start + offset;
    target.out.left[frame] += static_cast<float>(left);
    target.out.right[frame] += static_cast<float>(right);
}

// Frames a note may write: its wanted length, cut at the end of the buffer.
size_t frames_left(const Target& target, double seconds)
{
    size_t size = target.out.left.size();
    size_t wanted = static_cast<size_t>(seconds * SAMPLE_RATE);
    return target.start >= size ? 0 : std::min(wanted, size - target.start);
}

// Linear balance: -1 is hard left, 0 both sides at full level.
double pan_left(double pan)
{
    return 1.0 - std::max(pan, 0.0);
}

double pan_right(double pan)
{
    return 1.0 + std::min(pan, 0.0);
}

// Rises linearly over `attack`, holds until `hold_end`, then falls exponentially with time constant
// `release`.
double gate(double t, double attack, double hold_end, double release)
{
    double rise = attack > 0.0 ? std::min(1.0, t / attack) : 1.0;
    if (t < hold_end) {
        return rise;
    }
    double held = attack > 0.0 ? std::min(1.0, hold_end / attack) : 1.0;
    return held * std::exp(-(t - hold_end) / release);
}

double detune(double hz, double cents)
{
    return hz * std::pow(2.0, cents / 1200.0);
}

double start_phase(Noise& noise)
{
    return 0.5 * (noise.next() + 1.0);
}

// Cutoff of the pads' filter over the piece: opens in the intro, sweeps up through the build,
// darkens again while the last chord rings.
double pad_cutoff(double row)
{
    constexpr double INTRO_ROWS = 128.0;
    if (row < INTRO_ROWS) {
        return 300.0 * std::pow(2200.0 / 300.0, row / INTRO_ROWS);
    }
    if (row < 384.0) {
        return 3200.0;
    }
    if (row < 640.0) {
        return 1800.0;
    }
    if (row < 768.0) {
        return 350.0 * std::pow(7000.0 / 350.0, (row - 640.0) / 128.0);
    }
    if (row < 1024.0) {
        return 3500.0;
    }
    return 800.0 + 2700.0 * std::exp(-(row - 1024.0) / 40.0);
}

void render_kick(Target& target, const NoteEvent& event)
{
    constexpr double LENGTH = 0.36;
    Oscillator body;
    Noise noise(target.seed);
    size_t frames = frames_left(target, LENGTH);
    for (size_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / SAMPLE_RATE;
        double hz = 48.0 + 130.0 * std::exp(-t / 0.03);
        double tail = t < LENGTH - 0.05 ? 1.0 : (LENGTH - t) / 0.05;
        double value = body.sine(hz) * std::exp(-t / 0.13) * tail + 0.3 * noise.next() * std::exp(-t / 0.002);
        value = std::tanh(1.5 * value) * event.velocity * 0.75;
        emit(target, i, value, value);
    }
}

void render_snare(Target& target, const NoteEvent& event)
{
    // Hits in a fast roll get shorter, or they would smear into a hiss.
    double decay = std::min(0.14, 0.5 * event.length_rows * SECONDS_PER_ROW);
    Oscillator body;
    Noise noise(target.seed);
    StateVariableFilter filter;
    filter.set(3200.0, 0.6);
    double tone_hz = 185.0 * std::pow(2.0, event.note / 12.0);
    size_t frames = frames_left(target, decay * 7.0);
    for (size_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / SAMPLE_RATE;
        double tone = body.sine(tone_hz * (1.0 + 0.4 * std::exp(-t / 0.015))) * std::exp(-t / (0.4 * decay));
        StateVariableFilter::Output hiss = filter.process(noise.next());
        double value =
            (0.5 * tone + 0.9 * (hiss.band + 0.5 * hiss.high) * std::exp(-t / decay)) * event.velocity;
        emit(target, i, value, value);
    }
}

void render_clap(Target& target, const NoteEvent& event)
{
    constexpr double BURST_GAP = 0.011;
    Noise noise_left(target.seed);
    Noise noise_right(target.seed * 7919u + 1u);
    StateVariableFilter filter_left;
    StateVariableFilter filter_right;
    filter_left.set(1300.0, 1.4);
    filter_right.set(1400.0, 1.4);
    size_t frames = frames_left(target, 0.45);
    for (size_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / SAMPLE_RATE;
        // Three quick bursts, then a diffuse tail: several hands, not one.
        double envelope = t < 3.0 * BURST_GAP ? std::exp(-std::fmod(t, BURST_GAP) / 0.004)
                                              : std::exp(-(t - 3.0 * BURST_GAP) / 0.09);
        double left = filter_left.process(noise_left.next()).band * envelope;
        double right = filter_right.process(noise_right.next()).band * envelope;
        emit(target, i, 1.6 * left * event.velocity, 1.6 * right * event.velocity);
    }
}

// Hats and crash: filtered noise with a metallic cluster of square waves on top.
void render_metal(Target& target, const NoteEvent& event, double decay, double highpass_hz, double pan,
                  double level)
{
    constexpr double CLUSTER_HZ[] = {540.0, 800.0, 1160.0, 1410.0, 1670.0, 2030.0};
    Oscillator cluster[6];
    Noise noise_left(target.seed);
    Noise noise_right(target.seed ^ 0x5bd1e995u);
    StateVariableFilter filter_left;
    StateVariableFilter filter_right;
    filter_left.set(highpass_hz, 0.8);
    filter_right.set(highpass_hz, 0.8);
    size_t frames = frames_left(target, decay * 7.0);
    for (size_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / SAMPLE_RATE;
        double metal = 0.0;
        for (int k = 0; k < 6; ++k) {
            metal += cluster[k].square(CLUSTER_HZ[k] * 2.2);
        }
        metal /= 6.0;
        double envelope = std::exp(-t / decay) * std::min(1.0, t / 0.0005) * level * event.velocity;
        double left = filter_left.process(0.7 * noise_left.next() + 0.4 * metal).high;
        double right = filter_right.process(0.7 * noise_right.next() + 0.4 * metal).high;
        emit(target, i, left * envelope * pan_left(pan), right * envelope * pan_right(pan));
    }
}

void render_bass(Target& target, const NoteEvent& event)
{
    double hold = event.length_rows * SECONDS_PER_ROW;
    double release = hold > 1.0 ? 0.9 : 0.03;  // the final note rings, the groove notes are tight
    double hz = note_hz(event.note);
    Oscillator saw;
    Oscillator sub;
    StateVariableFilter filter;
    size_t frames = frames_left(target, hold + 7.0 * release);
    for (size_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / SAMPLE_RATE;
        if (i % FILTER_UPDATE_FRAMES == 0) {
            filter.set(140.0 + (700.0 + 1400.0 * event.velocity) * std::exp(-t / 0.07), 1.4);
        }
        double low = filter.process(saw.saw(hz)).low;
        double value = std::tanh(1.3 * (low + 0.7 * sub.sine(hz))) * gate(t, 0.003, hold, release);
        value *= event.velocity * 0.45;
        emit(target, i, value, value);
    }
}

void render_pad(Target& target, const NoteEvent& event)
{
    constexpr double DETUNE_CENTS[3] = {-10.0, 0.0, 10.0};
    constexpr double PANS[3] = {-0.7, 0.0, 0.7};
    double start_row = static_cast<double>(event.row);
    double hold = event.length_rows * SECONDS_PER_ROW;
    double attack = event.row == 0 ? 1.6 : event.row < BEAT_BAR * ROWS_PER_BAR ? 0.5 : 0.08;
    double release = event.row >= FINAL_BAR * ROWS_PER_BAR ? 1.1 : 0.5;
    double hz = note_hz(event.note);
    double saw_hz[3];
    for (int k = 0; k < 3; ++k) {
        saw_hz[k] = detune(hz, DETUNE_CENTS[k]);
    }
    Noise noise(target.seed);
    Oscillator saws[3];
    for (Oscillator& saw : saws) {
        saw.phase = start_phase(noise);
    }
    Oscillator shimmer;
    StateVariableFilter filter_left;
    StateVariableFilter filter_right;
    size_t frames = frames_left(target, hold + 7.0 * release);
    for (size_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / SAMPLE_RATE;
        if (i % FILTER_UPDATE_FRAMES == 0) {
            double cutoff = pad_cutoff(start_row + t * ROWS_PER_SECOND);
            filter_left.set(cutoff, 0.9);
            filter_right.set(cutoff, 0.9);
        }
        double left = 0.0;
        double right = 0.0;
        for (int k = 0; k < 3; ++k) {
            double value = saws[k].saw(saw_hz[k]);
            left += value * pan_left(PANS[k]);
            right += value * pan_right(PANS[k]);
        }
        double octave = 0.2 * shimmer.triangle(2.0 * hz);
        double envelope = gate(t, attack, hold, release) * event.velocity * 0.12;
        left = (filter_left.process(left).low + octave) * envelope;
        right = (filter_right.process(right).low + octave) * envelope;
        emit(target, i, left, right);
    }
}

void render_stab(Target& target, const NoteEvent& event)
{
    double hold = event.length_rows * SECONDS_PER_ROW;
    double hz_low = detune(note_hz(event.note), -7.0);
    double hz_high = detune(note_hz(event.note), 7.0);
    double pan = (event.note % 2 == 0) ? -0.35 : 0.35;
    Noise noise(target.seed);
    Oscillator a;
    Oscillator b;
    a.phase = start_phase(noise);
    b.phase = start_phase(noise);
    StateVariableFilter filter;
    size_t frames = frames_left(target, hold + 0.3);
    for (size_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / SAMPLE_RATE;
        if (i % FILTER_UPDATE_FRAMES == 0) {
            filter.set(500.0 + 4500.0 * std::exp(-t / 0.08), 1.3);
        }
        double raw = a.saw(hz_low) + b.saw(hz_high);
        double value = filter.process(raw).low * gate(t, 0.002, hold, 0.05) * event.velocity * 0.15;
        emit(target, i, value * pan_left(pan), value * pan_right(pan));
    }
}

void render_pluck(Target& target, const NoteEvent& event)
{
    bool final_note = event.row >= FINAL_BAR * ROWS_PER_BAR;
    double decay = final_note ? 0.9 : 0.14;
    double hz = note_hz(event.note);
    double pan = (event.row / 2) % 2 == 0 ? -0.45 : 0.45;
    Oscillator square;
    Oscillator saw;
    StateVariableFilter filter;
    size_t frames = frames_left(target, decay * 7.0);
    for (size_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / SAMPLE_RATE;
        if (i % FILTER_UPDATE_FRAMES == 0) {
            filter.set(700.0 + 6000.0 * std::exp(-t / 0.05), 1.0);
        }
        double raw = 0.5 * square.square(hz) + 0.5 * saw.saw(hz);
        double value = filter.process(raw).low * std::exp(-t / decay) * std::min(1.0, t / 0.001);
        value *= event.velocity * 0.35;
        emit(target, i, value * pan_left(pan), value * pan_right(pan));
    }
}

// Both leads: detuned saws (one square in the small lead), a delayed vibrato, a brightening filter.
void render_lead(Target& target, const NoteEvent& event, bool big)
{
    constexpr double BIG_CENTS[5] = {-18.0, -7.0, 0.0, 7.0, 18.0};
    constexpr double BIG_PANS[5] = {-0.8, -0.4, 0.0, 0.4, 0.8};
    double hold = event.length_rows * SECONDS_PER_ROW;
    double release = hold > 1.0 ? 1.0 : 0.07;  // short, so legato notes barely overlap
    Noise noise(target.seed);
    Oscillator voices[5];
    for (Oscillator& voice : voices) {
        voice.phase = start_phase(noise);
    }
    Oscillator vibrato;
    Oscillator low;
    StateVariableFilter filter_left;
    StateVariableFilter filter_right;
    double base_cutoff = big ? 3500.0 : 1800.0;
    size_t frames = frames_left(target, hold + 7.0 * release);
    for (size_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / SAMPLE_RATE;
        if (i % FILTER_UPDATE_FRAMES == 0) {
            double cutoff = base_cutoff + 3000.0 * std::exp(-t / 0.2);
            filter_left.set(cutoff, 1.1);
            filter_right.set(cutoff, 1.1);
        }
        double depth = 0.18 * std::min(1.0, std::max(0.0, (t - 0.2) / 0.3));
        double hz = note_hz(event.note + depth * vibrato.sine(5.3));
        double left = 0.0;
        double right = 0.0;
        if (big) {
            for (int k = 0; k < 5; ++k) {
                double value = voices[k].saw(detune(hz, BIG_CENTS[k]));
                left += 0.45 * value * pan_left(BIG_PANS[k]);
                right += 0.45 * value * pan_right(BIG_PANS[k]);
            }
            double octave = 0.5 * low.square(0.5 * hz);
            left += octave;
            right += octave;
        } else {
            double value = 0.6 * voices[0].saw(detune(hz, -6.0)) + 0.6 * voices[1].saw(detune(hz, 6.0)) +
                           0.45 * voices[2].square(hz);
            left = value;
            right = value;
        }
        double envelope = gate(t, 0.01, hold, release) * event.velocity * 0.2;
        emit(target, i, filter_left.process(left).low * envelope, filter_right.process(right).low * envelope);
    }
}

void render_riser(Target& target, const NoteEvent& event)
{
    double length = event.length_rows * SECONDS_PER_ROW;
    Noise noise_left(target.seed);
    Noise noise_right(target.seed ^ 0x27d4eb2fu);
    StateVariableFilter filter_left;
    StateVariableFilter filter_right;
    size_t frames = frames_left(target, length);
    for (size_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / SAMPLE_RATE;
        double progress = t / length;
        if (i % FILTER_UPDATE_FRAMES == 0) {
            double center = 300.0 * std::pow(9000.0 / 300.0, progress);
            filter_left.set(center, 2.5);
            filter_right.set(center * 1.05, 2.5);
        }
        double end_fade = std::min(1.0, (length - t) / 0.01);
        double envelope = progress * progress * end_fade * event.velocity * 0.35;
        emit(target, i, filter_left.process(noise_left.next()).band * envelope,
             filter_right.process(noise_right.next()).band * envelope);
    }
}

Bus bus_of(Voice voice)
{
    switch (voice) {
    case Voice::Bass:
        return BASS;
    case Voice::Pad:
    case Voice::Stab:
    case Voice::Pluck:
        return CHORDS;
    case Voice::Lead:
    case Voice::BigLead:
        return LEADS;
    default:
        return DRUMS;
    }
}

void render_note(Target& target, const NoteEvent& event)
{
    switch (event.voice) {
    case Voice::Kick:
        render_kick(target, event);
        break;
    case Voice::Snare:
        render_snare(target, event);
        break;
    case Voice::Clap:
        render_clap(target, event);
        break;
    case Voice::ClosedHat:
        render_metal(target, event, 0.035, 7500.0, 0.3, 0.45);
        break;
    case Voice::OpenHat:
        render_metal(target, event, 0.14, 7000.0, -0.2, 0.35);
        break;
    case Voice::Crash:
        render_metal(target, event, 0.9, 4500.0, 0.0, 0.5);
        break;
    case Voice::Bass:
        render_bass(target, event);
        break;
    case Voice::Pad:
        render_pad(target, event);
        break;
    case Voice::Stab:
        render_stab(target, event);
        break;
    case Voice::Pluck:
        render_pluck(target, event);
        break;
    case Voice::Lead:
        render_lead(target, event, false);
        break;
    case Voice::BigLead:
        render_lead(target, event, true);
        break;
    case Voice::Riser:
        render_riser(target, event);
        break;
    }
}

// How far the kick pushes the other buses down at each frame: 1 right at a kick, back to 0 after
// DUCK_SECONDS.
std::vector<float> kick_pump(const std::vector<NoteEvent>& events, size_t frames)
{
    std::vector<float> pump(frames, 0.0f);
    size_t length = static_cast<size_t>(DUCK_SECONDS * SAMPLE_RATE);
    for (const NoteEvent& event : events) {
        if (event.voice != Voice::Kick) {
            continue;
        }
        size_t start = row_to_frame(event.row, SAMPLE_RATE);
        for (size_t i = 0; i < length && start + i < frames; ++i) {
            double t = static_cast<double>(i) / static_cast<double>(length);
            double attack = std::min(1.0, static_cast<double>(i) / (0.004 * SAMPLE_RATE));
            double value = attack * (1.0 - t) * (1.0 - t);
            pump[start + i] = std::max(pump[start + i], static_cast<float>(value));
        }
    }
    return pump;
}

}  // namespace

std::vector<int16_t> render_song(size_t frame_count)
{
    size_t frames = std::min(frame_count, SONG_FRAMES);
    std::vector<NoteEvent> events = compose_song();
    std::vector<Stereo> buses(BUS_COUNT);
    for (Stereo& bus : buses) {
        bus.left.assign(frames, 0.0f);
        bus.right.assign(frames, 0.0f);
    }
    for (size_t index = 0; index < events.size(); ++index) {
        const NoteEvent& event = events[index];
        Target target{buses[bus_of(event.voice)], row_to_frame(event.row, SAMPLE_RATE),
                      static_cast<uint32_t>(index * 2654435761u + 12345u)};
        render_note(target, event);
    }

    std::vector<float> pump = kick_pump(events, frames);
    Reverb reverb(REVERB_FEEDBACK, REVERB_DAMPING);
    PingPongDelay delay(row_to_frame(DELAY_ROWS, SAMPLE_RATE), DELAY_FEEDBACK, DELAY_TONE_HZ);
    std::vector<float> mix(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        double dry[2] = {0.0, 0.0};
        double reverb_in[2] = {0.0, 0.0};
        double delay_in[2] = {0.0, 0.0};
        for (int b = 0; b < BUS_COUNT; ++b) {
            double level = BUS_MIX[b].gain * (1.0 - BUS_MIX[b].duck * pump[i]);
            double sides[2] = {buses[b].left[i] * level, buses[b].right[i] * level};
            for (int c = 0; c < 2; ++c) {
                dry[c] += sides[c];
                reverb_in[c] += sides[c] * BUS_MIX[b].reverb;
                delay_in[c] += sides[c] * BUS_MIX[b].delay;
            }
        }
        double wet[2];
        double echo[2];
        delay.process(delay_in[0], delay_in[1], echo[0], echo[1]);
        reverb.process(reverb_in[0] + 0.3 * echo[0], reverb_in[1] + 0.3 * echo[1], wet[0], wet[1]);
        for (int c = 0; c < 2; ++c) {
            double value = dry[c] + REVERB_RETURN * wet[c] + DELAY_RETURN * echo[c];
            mix[2 * i + c] = static_cast<float>(MASTER_GAIN * section_level(i) * value);
        }
    }
    buses.clear();

    limit_peaks(mix, MUSIC_CEILING, LIMITER_LOOKAHEAD_FRAMES, LIMITER_RELEASE_SECONDS);
    std::vector<int16_t> pcm(frames * 2);
    size_t fade_frames = static_cast<size_t>(END_FADE_SECONDS * SAMPLE_RATE);
    for (size_t i = 0; i < frames; ++i) {
        double fade = 1.0;
        if (i + fade_frames > SONG_FRAMES) {
            double left_frames = static_cast<double>(SONG_FRAMES - i - 1);
            fade = 0.5 - 0.5 * std::cos(PI * left_frames / static_cast<double>(fade_frames));
        }
        for (int c = 0; c < 2; ++c) {
            double value = std::round(mix[2 * i + c] * fade * 32767.0);
            pcm[2 * i + c] = static_cast<int16_t>(std::min(32767.0, std::max(-32767.0, value)));
        }
    }
    return pcm;
}

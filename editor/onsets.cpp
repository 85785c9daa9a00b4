#include "editor/onsets.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "sync/music_clock.h"

namespace {

// Tuned on the bundled music against its score (bench/onsets_benchmark.cpp prints the figures):
// 396 of its 442 note rows marked within a 60 Hz frame, 1 mark on no note.
constexpr size_t WINDOW = 1024;        // 23 ms at 44.1 kHz: fine enough in frequency to tell a hat from a pad
constexpr size_t HOP = 256;            // 5.8 ms; half of it changed no figure and took twice as long
constexpr float COMPRESSION = 100.0f;  // log(1 + C·|X|): quiet notes count, loud ones do not drown them
// Magnitudes below the larger of these count as nothing: 16-bit rounding noise and the far
// leakage of a steady tone flicker from frame to frame, and compressed they would add up to a rise
// (a full-scale sine peaks at 256 in its bin).
constexpr float NOISE = 1e-3f;
constexpr float RELATIVE_NOISE = 1e-4f;  // of the frame's loudest bin
// A mark is a local peak of the flux that stands ABOVE_MEDIAN times above the median of the
// frames within ±70 ms plus ABOVE_MEAN of the piece's mean flux, and reaches SHARE_OF_LOUDEST of
// the highest flux within ±0.5 s: below that it is the ringing of a louder attack.
constexpr size_t MEDIAN_HALF = 12;  // frames
constexpr float ABOVE_MEDIAN = 1.5f;
constexpr float ABOVE_MEAN = 0.1f;
constexpr size_t LOUDEST_HALF = 86;  // frames
constexpr float SHARE_OF_LOUDEST = 0.05f;
// An attack enters a frame at its end. Compressed, the flux rises most while the attack is still
// in the window's falling edge: clicks peak some 320 samples after the frame's centre, notes with
// a few milliseconds of rise some 140. A quarter window, less half a hop for the frames' spacing,
// puts both within 3 ms on average.
constexpr double ATTACK_AFTER_CENTRE = static_cast<double>(WINDOW) / 4.0 - static_cast<double>(HOP) / 2.0;
constexpr double PI = 3.14159265358979323846;

using Complex = std::complex<float>;

// In-place radix-2 FFT; n is a power of two.
void fft(std::vector<Complex>& x)
{
    const size_t n = x.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j |= bit;
        if (i < j)
            std::swap(x[i], x[j]);
    }
    for (size_t length = 2; length <= n; length <<= 1) {
        const double angle = -2.0 * PI / static_cast<double>(length);
        const Complex step(static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle)));
        for (size_t start = 0; start < n; start += length) {
            Complex w(1.0f, 0.0f);
            for (size_t k = 0; k < length / 2; ++k) {
                const Complex even = x[start + k];
                // Written out: the library's product checks for infinities on every call, which
                // makes the whole transform several times slower.
                const Complex b = x[start + k + length / 2];
                const Complex odd(b.real() * w.real() - b.imag() * w.imag(),
                                  b.real() * w.imag() + b.imag() * w.real());
                x[start + k] = even + odd;
                x[start + k + length / 2] = even - odd;
                w = Complex(w.real() * step.real() - w.imag() * step.imag(),
                            w.real() * step.imag() + w.imag() * step.real());
            }
        }
    }
}

// The positive change of the log spectrum from each frame to the next; frame i is centred on
// sample i·HOP, the samples before the start and after the end read as silence.
std::vector<float> spectral_flux(const std::vector<float>& mono)
{
    std::vector<float> window(WINDOW);
    for (size_t i = 0; i < WINDOW; ++i)
        window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * PI * static_cast<double>(i) / WINDOW));
    const size_t frames = mono.size() / HOP + 1;
    std::vector<float> flux(frames, 0.0f);
    std::vector<float> previous(WINDOW / 2 + 1, 0.0f), current(WINDOW / 2 + 1);
    std::vector<Complex> buffer(WINDOW);
    for (size_t f = 0; f < frames; ++f) {
        for (size_t i = 0; i < WINDOW; ++i) {
            const long at = static_cast<long>(f * HOP + i) - static_cast<long>(WINDOW / 2);
            const bool inside = at >= 0 && static_cast<size_t>(at) < mono.size();
            buffer[i] = Complex(inside ? mono[static_cast<size_t>(at)] * window[i] : 0.0f, 0.0f);
        }
        fft(buffer);
        float peak = 0.0f;
        for (size_t k = 0; k < current.size(); ++k) {
            current[k] = std::abs(buffer[k]);
            peak = std::max(peak, current[k]);
        }
        const float noise = std::max(NOISE, RELATIVE_NOISE * peak);
        float rise = 0.0f;
        current[0] = 0.0f;  // the constant part flickers with a low tone's phase: never an attack
        for (size_t k = 1; k < current.size(); ++k) {
            current[k] = std::log1p(COMPRESSION * std::max(0.0f, current[k] - noise));
            rise += std::max(0.0f, current[k] - previous[k]);
        }
        flux[f] = f == 0 ? 0.0f : rise;  // the first frame rises from nothing, not from a sound
        previous.swap(current);
    }
    return flux;
}

}  // namespace

std::vector<double> onsets_of(const DecodedAudio& audio)
{
    std::vector<double> rows;
    if (audio.channels <= 0 || audio.rate <= 0 || audio.samples.empty())
        return rows;
    const size_t channels = static_cast<size_t>(audio.channels);
    std::vector<float> mono(audio.samples.size() / channels);
    for (size_t i = 0; i < mono.size(); ++i) {
        float sum = 0.0f;
        for (size_t c = 0; c < channels; ++c)
            sum += static_cast<float>(audio.samples[i * channels + c]);
        mono[i] = sum / (32768.0f * static_cast<float>(channels));
    }
    const std::vector<float> flux = spectral_flux(mono);
    double mean = 0.0;
    for (float v : flux)
        mean += static_cast<double>(v);
    mean /= static_cast<double>(flux.size());
    const float floor = static_cast<float>(ABOVE_MEAN * mean);
    const double rate = static_cast<double>(audio.rate);
    const size_t min_gap = static_cast<size_t>(std::ceil(ONSET_MIN_GAP_S * rate / HOP));
    std::vector<float> around;
    size_t last = 0;
    bool any = false;
    for (size_t f = 1; f + 1 < flux.size(); ++f) {
        if (flux[f] <= floor || flux[f] < flux[f - 1] || flux[f] <= flux[f + 1])
            continue;
        const size_t first = f > MEDIAN_HALF ? f - MEDIAN_HALF : 0;
        const size_t end = std::min(flux.size(), f + MEDIAN_HALF + 1);
        around.assign(flux.begin() + static_cast<long>(first), flux.begin() + static_cast<long>(end));
        std::nth_element(around.begin(), around.begin() + static_cast<long>(around.size() / 2), around.end());
        if (flux[f] < ABOVE_MEDIAN * around[around.size() / 2] + floor)
            continue;
        const size_t near = f > LOUDEST_HALF ? f - LOUDEST_HALF : 0;
        const size_t far = std::min(flux.size(), f + LOUDEST_HALF + 1);
        const float loudest =
            *std::max_element(flux.begin() + static_cast<long>(near), flux.begin() + static_cast<long>(far));
        if (flux[f] < SHARE_OF_LOUDEST * loudest)
            continue;
        if (any && f - last < min_gap)
            continue;  // the attack's own ringing; the first mark of it stands
        const double sample = static_cast<double>(f * HOP) + ATTACK_AFTER_CENTRE;
        rows.push_back(sample / rate * ROWS_PER_SECOND);
        last = f;
        any = true;
    }
    return rows;
}

#include "tools/riser_meter/audio_input.h"

#include <sndfile.h>

#include <cmath>
#include <mutex>

#include "dsp/sample_rate.h"
#include "engine/rng.h"

namespace riser_meter {

namespace {

class SoundFile : public AudioInput {
public:
    SoundFile(SNDFILE* f, const SF_INFO& i) : file(f), info(i) {}
    ~SoundFile() override { sf_close(file); }
    double sample_rate() const override { return info.samplerate; }
    int channels() const override { return info.channels; }
    int64_t frames() const override {
        return info.seekable && info.frames >= 0 && info.frames != SF_COUNT_MAX ? info.frames : -1;
    }
    int read(float* left, float* right, int n) override {
        interleaved.resize(static_cast<size_t>(n) * static_cast<size_t>(info.channels));
        const sf_count_t got = sf_readf_float(file, interleaved.data(), n);
        // The error of this file's own handle: other files may be read at the same time.
        if (sf_error(file) != SF_ERR_NO_ERROR) return -1;
        for (sf_count_t i = 0; i < got; ++i) {
            left[i] = interleaved[static_cast<size_t>(i * info.channels)];
            right[i] = info.channels == 2 ? interleaved[static_cast<size_t>(i * 2 + 1)] : left[i];
        }
        return static_cast<int>(got);
    }
    std::string read_error() const override { return sf_strerror(file); }

private:
    SNDFILE* file;
    SF_INFO info;
    std::vector<float> interleaved;
};

class DemoSignal : public AudioInput {
public:
    DemoSignal() { b2::rng_seed(noise, 0x52697365ull); }
    double sample_rate() const override { return kRate; }
    int64_t frames() const override { return kFrames; }
    int read(float* left, float* right, int n) override {
        int done = 0;
        for (; done < n && position < kFrames; ++done, ++position) {
            const double t = static_cast<double>(position) / kRate;
            left[done] = static_cast<float>(0.1 * std::sin(2.0 * M_PI * 997.0 * t));
            right[done] = 0.1f * white();
        }
        return done;
    }

private:
    static constexpr double kRate = 48000.0;
    static constexpr int64_t kFrames = 480000;
    // Gaussian white noise of unit RMS (Box-Muller), so its peaks stand well
    // above its RMS: a crest factor near 12 dB against the sine's 3 dB.
    float white() {
        const double u1 = (static_cast<double>(b2::rng_next(noise)) + 1.0) / 4294967296.0;
        const double u2 = static_cast<double>(b2::rng_next(noise)) / 4294967296.0;
        return static_cast<float>(std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * M_PI * u2));
    }
    int64_t position = 0;
    b2::rng_state noise;
};

}  // namespace

namespace {

// A failed open leaves no handle, only libsndfile's one process-wide error:
// opens are made one at a time, and the reason is read before the next one.
SNDFILE* open_file(const std::string& path, SF_INFO& info, std::string& reason) {
    static std::mutex one_at_a_time;
    std::lock_guard<std::mutex> g(one_at_a_time);
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) reason = sf_strerror(nullptr);
    return f;
}

}  // namespace

std::unique_ptr<AudioInput> open_audio_file(const std::string& path, std::string& error) {
    SF_INFO info{};
    std::string reason;
    SNDFILE* f = open_file(path, info, reason);
    if (!f) {
        error = "cannot read \"" + path + "\": " + reason;
        return nullptr;
    }
    if (info.channels < 1 || info.channels > 2) {
        error = "\"" + path + "\" has " + std::to_string(info.channels) +
                " channels; riser-meter meters mono or stereo files only";
        sf_close(f);
        return nullptr;
    }
    if (!b2::sample_rate_supported(info.samplerate)) {
        error = "\"" + path + "\" has a sample rate of " + std::to_string(info.samplerate) +
                " Hz; riser-meter meters from " + std::to_string(static_cast<int>(b2::kMinSampleRate)) + " to " +
                std::to_string(static_cast<int>(b2::kMaxSampleRate)) + " Hz";
        sf_close(f);
        return nullptr;
    }
    return std::make_unique<SoundFile>(f, info);
}

std::unique_ptr<AudioInput> make_demo_signal() { return std::make_unique<DemoSignal>(); }

}  // namespace riser_meter

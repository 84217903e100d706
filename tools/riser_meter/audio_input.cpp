#include "tools/riser_meter/audio_input.h"

#include <sndfile.h>

#include <cmath>

#include "engine/rng.h"

namespace riser_meter {

namespace {

class SoundFile : public AudioInput {
public:
    SoundFile(SNDFILE* f, const SF_INFO& i) : file(f), info(i) {}
    ~SoundFile() override { sf_close(file); }
    double sample_rate() const override { return info.samplerate; }
    int64_t frames() const override { return info.frames; }
    int read(float* left, float* right, int n) override {
        interleaved.resize(static_cast<size_t>(n) * static_cast<size_t>(info.channels));
        const sf_count_t got = sf_readf_float(file, interleaved.data(), n);
        for (sf_count_t i = 0; i < got; ++i) {
            left[i] = interleaved[static_cast<size_t>(i * info.channels)];
            right[i] = info.channels == 2 ? interleaved[static_cast<size_t>(i * 2 + 1)] : left[i];
        }
        return static_cast<int>(got);
    }

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

std::unique_ptr<AudioInput> open_audio_file(const std::string& path, std::string& error) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) {
        error = "cannot read \"" + path + "\": " + sf_strerror(nullptr);
        return nullptr;
    }
    if (info.channels < 1 || info.channels > 2) {
        error = "\"" + path + "\" has " + std::to_string(info.channels) +
                " channels; riser-meter meters mono or stereo files only";
        sf_close(f);
        return nullptr;
    }
    if (info.samplerate < 1000 || info.samplerate > 1536000) {
        error = "\"" + path + "\" has an unsupported sample rate of " + std::to_string(info.samplerate) + " Hz";
        sf_close(f);
        return nullptr;
    }
    return std::make_unique<SoundFile>(f, info);
}

std::unique_ptr<AudioInput> make_demo_signal() { return std::make_unique<DemoSignal>(); }

}  // namespace riser_meter

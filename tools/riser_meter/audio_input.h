// Where riser-meter's audio comes from: a file read with libsndfile, or the
// built-in demo signal. Either way it is delivered as two float channels.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace riser_meter {

class AudioInput {
public:
    virtual ~AudioInput() = default;
    virtual double sample_rate() const = 0;
    // The length its header declares, in frames, or -1 when that cannot be
    // trusted before the end: a stream through a pipe declares a placeholder.
    virtual int64_t frames() const = 0;
    // The channels of the source (1 or 2), before mono is copied to both sides.
    virtual int channels() const { return 2; }
    // Reads up to `n` frames into `left` and `right`; returns the frames read
    // (0 at the end), or -1 on a read error, described by read_error().
    virtual int read(float* left, float* right, int n) = 0;
    virtual std::string read_error() const { return std::string(); }
};

// Opens a mono or stereo file at a supported sample rate. On failure returns
// null with `error` naming the problem and the file.
std::unique_ptr<AudioInput> open_audio_file(const std::string& path, std::string& error);

// 10 s at 48 kHz: a 997 Hz sine at -20 dBFS on the left, Gaussian white
// noise at -20 dBFS RMS on the right (a crest factor near 12 dB against 3 dB).
std::unique_ptr<AudioInput> make_demo_signal();

}  // namespace riser_meter

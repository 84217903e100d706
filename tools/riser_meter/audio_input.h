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
    virtual int64_t frames() const = 0;  // total length, in frames
    // Reads up to `n` frames into `left` and `right`; returns the frames read (0 at the end).
    virtual int read(float* left, float* right, int n) = 0;
};

// Opens a mono or stereo file. On failure returns null with `error` naming the
// problem and the file.
std::unique_ptr<AudioInput> open_audio_file(const std::string& path, std::string& error);

// 10 s at 48 kHz: a 997 Hz sine at -20 dBFS on the left, Gaussian white
// noise at -20 dBFS RMS on the right (a crest factor near 12 dB against 3 dB).
std::unique_ptr<AudioInput> make_demo_signal();

}  // namespace riser_meter

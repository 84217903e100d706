// Whole-file loudness (ITU-R BS.1770 / EBU R128) and true peak, computed by
// libebur128 on the file's own samples as they are read.
#pragma once

#include <ebur128.h>

#include <cstdint>
#include <vector>

namespace riser_meter {

// A figure that could not be measured (a file too short, or silent) is NaN.
struct LoudnessFigures {
    double integratedLufs;
    double rangeLu;           // loudness range; needs one 3 s short-term window
    double momentaryMaxLufs;  // largest 400 ms loudness, every 100 ms
    double shortTermMaxLufs;  // largest 3 s loudness, every 100 ms
    double truePeakDbtp[2];   // left, right (a mono file: the same twice)
};

class Loudness {
public:
    // `channels` is the file's (1 or 2); a mono file counts as one channel.
    Loudness(double rate, int channels, int max_block);
    ~Loudness();
    Loudness(const Loudness&) = delete;
    Loudness& operator=(const Loudness&) = delete;

    bool ok() const { return state != nullptr; }
    // The next `n` frames; samples that are not finite count as silence.
    void add(const float* left, const float* right, int n);
    LoudnessFigures figures() const;

private:
    void feed(const float* left, const float* right, int n);
    void take_window_maxima();

    ebur128_state* state = nullptr;
    int channels;
    int64_t hop;              // 100 ms in frames
    int64_t position = 0;     // frames fed
    int64_t to_next_hop;
    double momentary_max = -1e300, short_term_max = -1e300;
    bool has_momentary = false, has_short_term = false;
    std::vector<float> interleaved;
};

}  // namespace riser_meter

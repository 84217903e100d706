// Whole-file loudness (ITU-R BS.1770 / EBU R128) and true peak, measured by
// the signal chain's own loudness and true-peak meters on the file's samples
// as they are read: the same module, and so the same numbers, as the
// plug-in's loudness page.
#pragma once

#include <memory>

#include "dsp/loudness_meter.h"
#include "dsp/true_peak.h"

namespace riser_meter {

// A figure that could not be measured (a file too short, or silent) is NaN.
struct LoudnessFigures {
    double integratedLufs;
    double rangeLu;           // loudness range; needs one 3 s short-term window
    double momentaryMaxLufs;  // largest 400 ms loudness, every 100 ms
    double shortTermMaxLufs;  // largest 3 s loudness, every 100 ms
    double truePeakDbtp[2];   // left, right (a mono file: the same twice)
};

// What a loudness page shows at a moment of the file: the last 100 ms
// step's momentary and short-term loudness, the integrated loudness so far
// and the true-peak maxima so far. NaN where there is nothing to show.
struct LiveLoudness {
    double momentaryLufs;
    double shortTermLufs;
    double integratedLufs;
    double truePeakDbtp[2];
};

class Loudness {
public:
    // `channels` is the file's (1 or 2); a mono file counts as one channel.
    Loudness(double rate, int channels);

    bool ok() const { return prepared; }
    // The next `n` frames (right is not read for a mono file).
    void add(const float* left, const float* right, int n);
    LoudnessFigures figures() const;
    LiveLoudness live() const;

private:
    double true_peak_dbtp(int channel) const;

    std::unique_ptr<b2::LoudnessMeter> meter;
    std::unique_ptr<b2::TruePeak> peak;
    int channels;
    bool prepared = false;
};

}  // namespace riser_meter

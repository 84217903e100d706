// The block loop of the two channel strips, and the two taps.
#include "dsp/channel_strip.h"

#include <cstring>

namespace b2 {

namespace {

// The audio path of one strip: what it reads from and writes to the host.
void run_audio(ChannelStrip& s, int from, int to) {
    run_input_tap(s.input, from, to);
    run_gain_ramp(s.gain, from, to);
    run_output_tap(s.output, from, to);
}

}  // namespace

void processStrips(ChannelStrip strips[2], const float* const inputs[2], float* const outputs[2], int from, int to) {
    for (int c = 0; c < 2; ++c) {
        strips[c].input.host = inputs[c];
        strips[c].output.host = outputs[c];
    }
    // The left strip's audio is written before the right one's is read, as
    // if each strip ran whole; the measurement (which touches no host memory)
    // then runs both channels together, publishing left before right.
    ChannelStrip& left = strips[0];
    ChannelStrip& right = strips[1];
    run_audio(left, from, to);
    run_audio(right, from, to);
    run_k_weighting_pair(left.kweight, right.kweight, from, to);
    run_level_detector_pair(left.detector, right.detector, from, to);
}

// The taps move only the piece's samples: the host pointer is at `from`.
void run_input_tap(InputTap& m, int from, int to) {
    if (!m.host)
        std::memset(m.output + from, 0, static_cast<size_t>(to - from) * sizeof(float));
    else
        copy_samples(m.output + from, m.host, from, to);
}

void run_output_tap(OutputTap& m, int from, int to) {
    if (m.host) copy_samples(m.host, m.source + from, from, to);
}

}  // namespace b2

// Compares a picture of the editor with a reference picture of the same
// state, pixel by pixel, outside a mask of areas to leave out.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "editor/rgba_png.h"

namespace picturetest {

struct comparison {
    bool same_size = false;
    int compared = 0;  // pixels outside the mask
    int differing = 0;
    // The box around the differing pixels (valid when differing > 0).
    int left = 0, top = 0, right = -1, bottom = -1;
    // The first differing pixel and its two colours.
    int first_x = -1, first_y = -1;
    uint8_t reference_rgba[4] = {}, picture_rgba[4] = {};

    std::string describe() const {
        std::ostringstream out;
        if (!same_size) return "the pictures differ in size";
        out << differing << " of " << compared << " compared pixels differ";
        if (differing > 0) {
            out << ", within x " << left << ".." << right << ", y " << top << ".." << bottom << "; first at ("
                << first_x << ", " << first_y << "): reference (" << int(reference_rgba[0]) << ", "
                << int(reference_rgba[1]) << ", " << int(reference_rgba[2]) << "), picture ("
                << int(picture_rgba[0]) << ", " << int(picture_rgba[1]) << ", " << int(picture_rgba[2]) << ")";
        }
        return out.str();
    }
};

namespace detail {

inline const uint8_t* at(const b2::rgba_image& image, int x, int y) {
    return &image.pixels[(static_cast<size_t>(y) * image.width + x) * 4];
}

// How far (largest channel) `c` is from the nearest blend of `p` and `q`.
inline double blend_distance(const uint8_t* c, const uint8_t* p, const uint8_t* q) {
    double d[3], along = 0, length = 0;
    for (int i = 0; i < 3; ++i) {
        d[i] = double(q[i]) - p[i];
        along += (double(c[i]) - p[i]) * d[i];
        length += d[i] * d[i];
    }
    const double t = length > 0 ? std::clamp(along / length, 0.0, 1.0) : 0.0;
    double worst = 0;
    for (int i = 0; i < 3; ++i) worst = std::max(worst, std::abs(c[i] - (p[i] + t * d[i])));
    return worst;
}

// Whether `c` is, within `tolerance`, a colour of `image` around (x, y) (one
// pixel either way) or a blend of two of them: the renderers may put an edge
// one pixel apart or cover an edge pixel partly.
inline bool found_near(const uint8_t* c, const b2::rgba_image& image, int x, int y, int tolerance) {
    const uint8_t* around[9];
    int n = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const int nx = x + dx, ny = y + dy;
            if (nx >= 0 && ny >= 0 && nx < image.width && ny < image.height) around[n++] = at(image, nx, ny);
        }
    for (int i = 0; i < n; ++i)
        for (int j = i; j < n; ++j)
            if (blend_distance(c, around[i], around[j]) <= tolerance) return true;
    return false;
}

}  // namespace detail

// A pixel differs when its colour in either picture is not found near the
// same place in the other (see detail::found_near; colour channels within
// `tolerance`). Pixels opaque (alpha above half) in any of `masks` are left
// out; masks of another size than the reference are an error of size.
inline comparison compare_pictures(const b2::rgba_image& reference, const b2::rgba_image& picture,
                                   const std::vector<const b2::rgba_image*>& masks, int tolerance) {
    comparison result;
    result.same_size = reference.width == picture.width && reference.height == picture.height;
    for (const b2::rgba_image* m : masks)
        result.same_size = result.same_size && m->width == reference.width && m->height == reference.height;
    if (!result.same_size) return result;
    result.left = reference.width;
    result.top = reference.height;
    for (int y = 0; y < reference.height; ++y)
        for (int x = 0; x < reference.width; ++x) {
            bool masked = false;
            for (const b2::rgba_image* m : masks) masked = masked || detail::at(*m, x, y)[3] > 127;
            if (masked) continue;
            ++result.compared;
            const uint8_t* a = detail::at(reference, x, y);
            const uint8_t* b = detail::at(picture, x, y);
            if (detail::found_near(a, picture, x, y, tolerance) && detail::found_near(b, reference, x, y, tolerance))
                continue;
            if (result.differing++ == 0) {
                result.first_x = x, result.first_y = y;
                std::copy(a, a + 4, result.reference_rgba);
                std::copy(b, b + 4, result.picture_rgba);
            }
            result.left = std::min(result.left, x), result.right = std::max(result.right, x);
            result.top = std::min(result.top, y), result.bottom = std::max(result.bottom, y);
        }
    return result;
}

}  // namespace picturetest

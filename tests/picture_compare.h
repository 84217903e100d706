// Compares a picture of the editor with a reference picture of the same
// state: pixel by pixel outside masks of areas to leave out, and the text
// areas by the place, amount and colour of their ink.
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

// ---- text -----------------------------------------------------------------

// A box of the picture (right and bottom included).
struct box {
    int left = 0, top = 0, right = -1, bottom = -1;
    bool empty() const { return right < left || bottom < top; }
    void add(int x, int y) {
        if (empty()) {
            left = right = x, top = bottom = y;
            return;
        }
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
    }
};

// The boxes around the mask's separate opaque areas (pixels touching on a side).
inline std::vector<box> mask_areas(const b2::rgba_image& mask) {
    std::vector<box> areas;
    std::vector<char> seen(static_cast<size_t>(mask.width) * mask.height, 0);
    std::vector<std::pair<int, int>> todo;
    auto opaque = [&](int x, int y) { return detail::at(mask, x, y)[3] > 127; };
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x) {
            if (seen[y * mask.width + x] || !opaque(x, y)) continue;
            box area;
            todo.assign(1, {x, y});
            seen[y * mask.width + x] = 1;
            while (!todo.empty()) {
                auto [px, py] = todo.back();
                todo.pop_back();
                area.add(px, py);
                const int next[4][2] = {{px + 1, py}, {px - 1, py}, {px, py + 1}, {px, py - 1}};
                for (auto& n : next) {
                    if (n[0] < 0 || n[1] < 0 || n[0] >= mask.width || n[1] >= mask.height) continue;
                    char& s = seen[n[1] * mask.width + n[0]];
                    if (!s && opaque(n[0], n[1])) s = 1, todo.push_back({n[0], n[1]});
                }
            }
            areas.push_back(area);
        }
    return areas;
}

// The ink of the text in `area`: pixels away from the area's background (the
// most frequent colour on its edge) by more than `contrast` in a channel,
// apart from pixels opaque in any of `left_out`.
struct ink {
    int count = 0;
    box extent;
    double mean[3] = {};
};

inline bool in_any(const std::vector<const b2::rgba_image*>& masks, int x, int y) {
    for (const b2::rgba_image* m : masks)
        if (detail::at(*m, x, y)[3] > 127) return true;
    return false;
}

inline ink ink_in(const b2::rgba_image& image, const box& area, int contrast,
                  const std::vector<const b2::rgba_image*>& left_out) {
    std::vector<std::pair<uint32_t, int>> counts;
    auto key = [&](int x, int y) {
        const uint8_t* p = detail::at(image, x, y);
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    };
    for (int y = area.top; y <= area.bottom; ++y)
        for (int x = area.left; x <= area.right; ++x) {
            if (y != area.top && y != area.bottom && x != area.left && x != area.right) continue;
            const uint32_t k = key(x, y);
            auto it = std::find_if(counts.begin(), counts.end(), [&](auto& c) { return c.first == k; });
            if (it == counts.end()) counts.push_back({k, 1});
            else ++it->second;
        }
    const uint32_t back =
        std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
    const int background[3] = {int(back >> 16), int(back >> 8 & 0xff), int(back & 0xff)};
    ink result;
    for (int y = area.top; y <= area.bottom; ++y)
        for (int x = area.left; x <= area.right; ++x) {
            if (in_any(left_out, x, y)) continue;
            const uint8_t* p = detail::at(image, x, y);
            bool far = false;
            for (int c = 0; c < 3; ++c) far |= std::abs(p[c] - background[c]) > contrast;
            if (!far) continue;
            ++result.count;
            result.extent.add(x, y);
            for (int c = 0; c < 3; ++c) result.mean[c] += p[c];
        }
    for (double& m : result.mean) m = result.count ? m / result.count : 0;
    return result;
}

// Text in `picture` against `reference`, area by area of the text mask
// (outside the `left_out` masks): the ink's box within `reach` pixels on
// each side, its amount within `amount_ratio` of the reference's, its mean
// colour within `tolerance`. Areas with strings cut by their view (red
// below 255 in the mask) and areas mostly left out are not checked. Glyphs
// are not compared one by one: the platforms rasterise them differently.
struct text_check {
    int areas = 0;
    int checked = 0;
    std::string faults;  // a line per area that fails
};

inline text_check compare_text(const b2::rgba_image& reference, const b2::rgba_image& picture,
                               const b2::rgba_image& text_mask, const std::vector<const b2::rgba_image*>& left_out,
                               int reach, double amount_ratio, int tolerance) {
    constexpr int kContrast = 48;
    std::ostringstream out;
    text_check result;
    for (const box& area : mask_areas(text_mask)) {
        ++result.areas;
        int cut = 0, left_out_pixels = 0;
        for (int y = area.top; y <= area.bottom; ++y)
            for (int x = area.left; x <= area.right; ++x) {
                cut += detail::at(text_mask, x, y)[3] > 127 && detail::at(text_mask, x, y)[0] < 255;
                left_out_pixels += in_any(left_out, x, y);
            }
        const int size = (area.right - area.left + 1) * (area.bottom - area.top + 1);
        if (cut > 0 || 2 * left_out_pixels > size) continue;
        ++result.checked;
        const ink a = ink_in(reference, area, kContrast, left_out);
        const ink b = ink_in(picture, area, kContrast, left_out);
        bool same = (a.count == 0) == (b.count == 0);
        if (same && a.count > 0) {
            same = std::abs(a.extent.left - b.extent.left) <= reach && std::abs(a.extent.right - b.extent.right) <= reach &&
                   std::abs(a.extent.top - b.extent.top) <= reach &&
                   std::abs(a.extent.bottom - b.extent.bottom) <= reach &&
                   std::abs(a.count - b.count) <= amount_ratio * a.count;
            for (int c = 0; c < 3; ++c) same = same && std::abs(a.mean[c] - b.mean[c]) <= tolerance;
        }
        if (same) continue;
        out << "text at x " << area.left << ".." << area.right << ", y " << area.top << ".." << area.bottom
            << ": reference ink " << a.count << " px in x " << a.extent.left << ".." << a.extent.right << ", y "
            << a.extent.top << ".." << a.extent.bottom << ", colour (" << int(a.mean[0]) << ", " << int(a.mean[1])
            << ", " << int(a.mean[2]) << "); picture ink " << b.count << " px in x " << b.extent.left << ".."
            << b.extent.right << ", y " << b.extent.top << ".." << b.extent.bottom << ", colour (" << int(b.mean[0])
            << ", " << int(b.mean[1]) << ", " << int(b.mean[2]) << ")\n";
    }
    result.faults = out.str();
    return result;
}

}  // namespace picturetest

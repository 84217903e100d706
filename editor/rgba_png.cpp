#include "editor/rgba_png.h"

#include "editor/whole_file.h"

#include <spng.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace b2 {
namespace {

// Larger than any picture of the editor at the largest zoom.
constexpr uint32_t kMaxSide = 8192;

using context_ptr = std::unique_ptr<spng_ctx, decltype(&spng_ctx_free)>;
using file_ptr = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

bool encode(std::FILE* file, const rgba_image& image) {
    context_ptr ctx(spng_ctx_new(SPNG_CTX_ENCODER), &spng_ctx_free);
    if (!ctx || spng_set_png_file(ctx.get(), file) != 0) return false;
    spng_ihdr header{};
    header.width = static_cast<uint32_t>(image.width);
    header.height = static_cast<uint32_t>(image.height);
    header.bit_depth = 8;
    header.color_type = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
    return spng_set_ihdr(ctx.get(), &header) == 0 &&
           spng_encode_image(ctx.get(), image.pixels.data(), image.pixels.size(), SPNG_FMT_PNG,
                             SPNG_ENCODE_FINALIZE) == 0;
}

}  // namespace

bool write_rgba_png(const std::string& path, const rgba_image& image, std::string& error) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<size_t>(image.width) * image.height * 4) {
        error = "no picture to write to \"" + path + "\"";
        return false;
    }
    whole_file out(path);
    if (!out.file()) {
        error = "cannot write \"" + path + "\": " + out.error();
        return false;
    }
    if (!encode(out.file(), image)) {
        error = "cannot write \"" + path + "\": " +
                (std::ferror(out.file()) ? std::strerror(errno) : "the picture could not be encoded");
        return false;
    }
    if (!out.commit()) {
        error = "cannot write \"" + path + "\": " + out.error();
        return false;
    }
    return true;
}

bool read_rgba_png(const std::string& path, rgba_image& image, std::string& error) {
    image = rgba_image{};
    file_ptr file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        error = "cannot open \"" + path + "\"";
        return false;
    }
    context_ptr ctx(spng_ctx_new(0), &spng_ctx_free);
    spng_ihdr header{};
    size_t size = 0;
    if (!ctx || spng_set_image_limits(ctx.get(), kMaxSide, kMaxSide) != 0 ||
        spng_set_png_file(ctx.get(), file.get()) != 0 || spng_get_ihdr(ctx.get(), &header) != 0 ||
        spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &size) != 0) {
        error = "\"" + path + "\" is not a PNG picture";
        return false;
    }
    image.pixels.resize(size);
    if (spng_decode_image(ctx.get(), image.pixels.data(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0) {
        image.pixels.clear();
        error = "\"" + path + "\" is a damaged PNG picture";
        return false;
    }
    image.width = static_cast<int>(header.width);
    image.height = static_cast<int>(header.height);
    return true;
}

}  // namespace b2

#include "tools/riser_meter/output_check.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <vector>

namespace riser_meter {

namespace {

// The path with its folder resolved (links, "." and ".."), for files that
// need not exist yet; the path itself when the folder cannot be resolved.
std::string resolved(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char real[PATH_MAX];
    if (!realpath(dir.c_str(), real)) return path;
    return std::string(real) + "/" + name;
}

// True when both names lead to one file: the same file on disk when both
// exist, else the same resolved path.
bool same_file(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    const bool ea = stat(a.c_str(), &sa) == 0, eb = stat(b.c_str(), &sb) == 0;
    if (ea && eb) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    if (ea != eb) return false;
    return resolved(a) == resolved(b);
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// A file that starts with the PNG signature: a picture a new one may replace.
bool is_png(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    unsigned char head[8] = {};
    const bool png = std::fread(head, 1, sizeof head, f) == sizeof head && std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0;
    std::fclose(f);
    return png;
}

struct Picture {
    const char* option;
    std::string path;
};

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

bool check_outputs(const Options& o, std::string& error) {
    const std::vector<std::string> inputs = o.files.empty() ? std::vector<std::string>{""} : o.files;
    std::vector<Picture> pictures;
    for (const std::string& in : inputs) {
        if (!o.png.empty()) pictures.push_back({"--png", output_path(o.png, in)});
        if (!o.plot.empty()) pictures.push_back({"--plot", output_path(o.plot, in)});
    }
    for (size_t i = 0; i < pictures.size(); ++i) {
        const Picture& p = pictures[i];
        // (The picture's temporary file gets a new name that no file has, so
        // it can never be an input.)
        for (const std::string& in : o.files)
            if (same_file(p.path, in)) {
                error = std::string(p.option) + " " + quoted(p.path) + " would write over the input file " + quoted(in);
                return false;
            }
        for (size_t k = 0; k < i; ++k)
            if (std::strcmp(pictures[k].option, p.option) != 0 && same_file(pictures[k].path, p.path)) {
                error = std::string(pictures[k].option) + " " + quoted(pictures[k].path) + " and " + p.option + " " +
                        quoted(p.path) + " name the same file";
                return false;
            }
        if (exists(p.path) && !is_png(p.path)) {
            error = std::string(p.option) + " " + quoted(p.path) +
                    " exists and is not a PNG picture: riser-meter replaces only pictures (is it meant as an "
                    "input file?)";
            return false;
        }
    }
    return true;
}

}  // namespace riser_meter

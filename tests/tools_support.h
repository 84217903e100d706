// Helpers for the riser-meter tests: running the built program, writing
// audio files and reading its JSON lines.
#pragma once

#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tools_test {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs riser-meter with `args` (already shell-quoted), capturing both streams.
inline Result run(const std::string& args) {
    char err_path[] = "/tmp/riser_meter_errXXXXXX";
    const int fd = mkstemp(err_path);
    close(fd);
    const std::string cmd = std::string(RISER_METER_PATH) + " " + args + " 2>" + err_path;
    Result r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (FILE* e = std::fopen(err_path, "r")) {
        while ((n = fread(buf, 1, sizeof buf, e)) > 0) r.err.append(buf, n);
        std::fclose(e);
    }
    std::remove(err_path);
    return r;
}

// A temporary float WAV file, removed at the end of the test.
class TempWav {
public:
    // Sample value of `channel` at `frame`.
    using Samples = std::function<double(int channel, size_t frame)>;

    TempWav(int channels, double rate, double seconds, const Samples& sample) {
        char tmpl[] = "/tmp/riser_meter_inXXXXXX";
        const int fd = mkstemp(tmpl);
        close(fd);
        path = std::string(tmpl) + ".wav";
        std::rename(tmpl, path.c_str());
        SF_INFO info{};
        info.samplerate = static_cast<int>(rate);
        info.channels = channels;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        const auto frames = static_cast<size_t>(std::llround(rate * seconds));
        std::vector<float> data(frames * static_cast<size_t>(channels));
        for (size_t i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c)
                data[i * static_cast<size_t>(channels) + static_cast<size_t>(c)] = static_cast<float>(sample(c, i));
        sf_writef_float(f, data.data(), static_cast<sf_count_t>(frames));
        sf_close(f);
    }
    // `seconds` of sines: one frequency and amplitude per channel.
    TempWav(int channels, double rate, double seconds, std::vector<std::pair<double, double>> tones)
        : TempWav(channels, rate, seconds, [tones, rate](int c, size_t i) {
              const auto& t = tones[static_cast<size_t>(c) % tones.size()];
              return t.second * std::sin(2.0 * M_PI * t.first * static_cast<double>(i) / rate);
          }) {}
    ~TempWav() { std::remove(path.c_str()); }
    TempWav(const TempWav&) = delete;
    TempWav& operator=(const TempWav&) = delete;
    std::string path;
};

// A temporary folder, removed with what is in it.
class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/riser_meter_outXXXXXX";
        path = mkdtemp(tmpl) ? tmpl : "/tmp";
    }
    ~TempDir() {
        const int status = std::system(("rm -rf '" + path + "'").c_str());
        (void)status;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path;
};

inline bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// A small JSON reader: enough to check that every line parses, and to pull
// numbers out by a dotted path ("summary.left.heldPeakDb").
class Json {
public:
    explicit Json(const std::string& text) : s(text) {
        ok = value("") && (skip(), i == s.size());
    }
    bool ok = false;
    std::map<std::string, double> numbers;
    std::map<std::string, std::string> strings;

private:
    void skip() {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    }
    bool string(std::string& out) {
        if (s[i] != '"') return false;
        for (++i; i < s.size() && s[i] != '"'; ++i) {
            if (s[i] == '\\') ++i;
            out += s[i];
        }
        return i++ < s.size();
    }
    bool value(const std::string& path) {
        skip();
        if (i >= s.size()) return false;
        if (s[i] == '{') {
            ++i;
            skip();
            if (s[i] == '}') return ++i, true;
            for (;;) {
                skip();
                std::string key;
                if (!string(key)) return false;
                skip();
                if (s[i++] != ':') return false;
                if (!value(path.empty() ? key : path + "." + key)) return false;
                skip();
                if (s[i] == ',') {
                    ++i;
                    continue;
                }
                return s[i++] == '}';
            }
        }
        if (s[i] == '"') {
            std::string v;
            if (!string(v)) return false;
            strings[path] = v;
            return true;
        }
        for (const char* word : {"null", "true", "false"})
            if (s.compare(i, std::strlen(word), word) == 0) {
                i += std::strlen(word);
                return true;
            }
        char* end = nullptr;
        const double v = std::strtod(s.c_str() + i, &end);
        if (end == s.c_str() + i) return false;
        numbers[path] = v;
        i = static_cast<size_t>(end - s.c_str());
        return true;
    }
    std::string s;
    size_t i = 0;
};

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        out.push_back(text.substr(start, nl - start));
    return out;
}

}  // namespace tools_test

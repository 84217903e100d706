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

// Runs riser-meter with `args` (already shell-quoted), capturing both
// streams; `before` precedes the command (e.g. "cat x.wav | ").
inline Result run_after(const std::string& before, const std::string& args) {
    char err_path[] = "/tmp/riser_meter_errXXXXXX";
    const int fd = mkstemp(err_path);
    close(fd);
    const std::string cmd = before + RISER_METER_PATH + " " + args + " 2>" + err_path;
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

inline Result run(const std::string& args) { return run_after("", args); }

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

// A small strict JSON reader: a line is `ok` only when it is valid JSON
// (RFC 8259: no NaN or infinities, no raw control characters, only valid
// escapes and well-formed UTF-8), and numbers and strings can be pulled out
// by a dotted path ("summary.left.heldPeakDb").
class Json {
public:
    explicit Json(const std::string& text) : s(text) {
        ok = value("") && (skip(), i == s.size());
    }
    bool ok = false;
    std::map<std::string, double> numbers;
    std::map<std::string, std::string> strings;

private:
    char peek() const { return i < s.size() ? s[i] : '\0'; }
    void skip() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
    }
    bool hex4(unsigned& out) {
        out = 0;
        for (int k = 0; k < 4; ++k, ++i) {
            if (i >= s.size() || !std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
            out = out * 16 + static_cast<unsigned>(std::stoi(std::string(1, s[i]), nullptr, 16));
        }
        return true;
    }
    // One UTF-8 sequence starting at s[i], copied to `out`.
    bool utf8(std::string& out) {
        const auto b = static_cast<unsigned char>(s[i]);
        size_t n = b < 0x80 ? 1 : b >= 0xc2 && b <= 0xdf ? 2 : b >= 0xe0 && b <= 0xef ? 3 : b >= 0xf0 && b <= 0xf4 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        unsigned lo = 0x80, hi = 0xbf;
        if (b == 0xe0) lo = 0xa0;
        if (b == 0xed) hi = 0x9f;
        if (b == 0xf0) lo = 0x90;
        if (b == 0xf4) hi = 0x8f;
        for (size_t k = 1; k < n; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if (c < (k == 1 ? lo : 0x80) || c > (k == 1 ? hi : 0xbf)) return false;
        }
        out.append(s, i, n);
        i += n;
        return true;
    }
    bool string(std::string& out) {
        if (peek() != '"') return false;
        ++i;
        while (i < s.size() && s[i] != '"') {
            if (static_cast<unsigned char>(s[i]) < 0x20) return false;
            if (s[i] != '\\') {
                if (!utf8(out)) return false;
                continue;
            }
            ++i;
            const char e = peek();
            ++i;
            if (e == 'u') {
                unsigned code;
                if (!hex4(code)) return false;
                out += code < 0x80 ? static_cast<char>(code) : '?';
            } else if (std::strchr("\"\\/bfnrt", e) && e) {
                out += e;
            } else {
                return false;
            }
        }
        return i++ < s.size();
    }
    bool digits() {
        const size_t from = i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
        return i > from;
    }
    bool number(const std::string& path) {
        const size_t from = i;
        if (peek() == '-') ++i;
        if (peek() == '0') {
            ++i;
        } else if (!digits()) {
            return false;
        }
        if (peek() == '.' && (++i, !digits())) return false;
        if (peek() == 'e' || peek() == 'E') {
            ++i;
            if (peek() == '+' || peek() == '-') ++i;
            if (!digits()) return false;
        }
        numbers[path] = std::strtod(s.substr(from, i - from).c_str(), nullptr);
        return true;
    }
    bool value(const std::string& path) {
        skip();
        if (i >= s.size()) return false;
        if (s[i] == '{' || s[i] == '[') {
            const char close = s[i] == '{' ? '}' : ']';
            ++i;
            skip();
            if (peek() == close) return ++i, true;
            for (int n = 0;; ++n) {
                skip();
                std::string key = std::to_string(n);
                if (close == '}') {
                    key.clear();
                    if (!string(key)) return false;
                    skip();
                    if (peek() != ':') return false;
                    ++i;
                }
                if (!value(path.empty() ? key : path + "." + key)) return false;
                skip();
                if (peek() == ',') {
                    ++i;
                    continue;
                }
                return peek() == close && (++i, true);
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
        return number(path);
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

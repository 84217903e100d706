#include "editor/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace b2 {
namespace {

#ifdef _WIN32
int create_new(const std::string& path) {
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
std::FILE* stream_of(int fd) { return _fdopen(fd, "wb"); }
void close_fd(int fd) { _close(fd); }
// Replaces an existing target in one step (a plain rename refuses to).
bool replace(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    errno = EACCES;
    return false;
}
#else
int create_new(const std::string& path) {
    // 0666 less the umask: the permissions any new file of the user's gets.
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
std::FILE* stream_of(int fd) { return fdopen(fd, "wb"); }
void close_fd(int fd) { close(fd); }
bool replace(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }
#endif

uint64_t mix(uint64_t x) {
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

// Six letters or digits no other call of this process has had, and hard to
// guess from outside; the exclusive creation is what makes the name safe.
std::string unique_suffix() {
    static const uint64_t seed = [] {
        std::random_device device;
        return (static_cast<uint64_t>(device()) << 32) ^ device();
    }();
    static std::atomic<uint64_t> counter{0};
    const auto now = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    uint64_t bits = mix(seed ^ mix(now) ^ mix(counter.fetch_add(1) * 0x2545f4914f6cdd1dull));
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string out;
    for (int i = 0; i < 6; ++i, bits /= 36) out += kChars[bits % 36];
    return out;
}

std::string reason_of(int code) { return code ? std::strerror(code) : "write error"; }

}  // namespace

whole_file::whole_file(const std::string& path) : target(path) {
    int code = EEXIST;
    // A name that exists already (a file, a link, another writer's) is never
    // opened: another name is tried.
    for (int attempt = 0; attempt < 100 && code == EEXIST; ++attempt) {
        const std::string name = target + "." + unique_suffix() + ".partial";
        const int fd = create_new(name);
        if (fd < 0) {
            code = errno;
            continue;
        }
        stream = stream_of(fd);
        if (!stream) {
            code = errno;
            close_fd(fd);
            std::remove(name.c_str());
            break;
        }
        temporary = name;
        return;
    }
    reason = reason_of(code);
}

whole_file::~whole_file() { discard(); }

void whole_file::discard() {
    if (stream) std::fclose(stream);
    stream = nullptr;
    if (!temporary.empty()) std::remove(temporary.c_str());
    temporary.clear();
}

bool whole_file::commit() {
    if (!stream) {
        if (reason.empty()) reason = "already written";
        return false;
    }
    errno = 0;
    const bool written = std::fflush(stream) == 0 && !std::ferror(stream);
    int code = errno;
    const bool closed = std::fclose(stream) == 0;
    stream = nullptr;
    if (written && !closed) code = errno;
    if (written && closed) {
        if (replace(temporary, target)) {
            temporary.clear();
            return true;
        }
        code = errno;
    }
    reason = reason_of(code);
    discard();
    return false;
}

}  // namespace b2

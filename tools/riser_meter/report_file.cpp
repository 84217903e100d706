#include "tools/riser_meter/report_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace riser_meter {

std::string temporary_folder() {
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
}

std::FILE* unnamed_temporary_file(const std::string& folder, std::string& error) {
    const std::string pattern = folder + (folder.back() == '/' ? "" : "/") + "riser-meter-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    unlink(name.data());
    std::FILE* f = fdopen(fd, "w+b");
    if (!f) {
        error = std::strerror(errno);
        close(fd);
    }
    return f;
}

}  // namespace riser_meter

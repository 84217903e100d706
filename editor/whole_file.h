// A file written whole or not at all, for the pictures the editor code and
// riser-meter write. The bytes go to a temporary file beside the target,
// made under a new unique name and created exclusively (never an existing
// file, never through a link), which `commit` renames over the target. The
// target is untouched until then; a link at the target's name is replaced,
// not followed. Needs only the C and system libraries (no toolkit), so every
// build can link it.
#pragma once

#include <cstdio>
#include <string>

namespace b2 {

class whole_file {
public:
    explicit whole_file(const std::string& target);
    // Removes the temporary file when it was not committed.
    ~whole_file();
    whole_file(const whole_file&) = delete;
    whole_file& operator=(const whole_file&) = delete;

    // The temporary file to write to; null when it could not be made.
    std::FILE* file() const { return stream; }
    // Why the temporary file could not be made, or why `commit` failed (the
    // system's reason, e.g. "No such file or directory").
    const std::string& error() const { return reason; }
    // Closes the temporary file and renames it over the target. False, with
    // the temporary file removed and `error()` set, when a write, the close
    // or the rename failed.
    bool commit();

private:
    void discard();
    std::string target;
    std::string temporary;
    std::FILE* stream = nullptr;
    std::string reason;
};

}  // namespace b2

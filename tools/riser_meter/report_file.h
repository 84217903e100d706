// Where a report of a batch waits until the reports before it are printed:
// an unnamed temporary file in the temporary folder.
#pragma once

#include <cstdio>
#include <string>

namespace riser_meter {

// The temporary folder: $TMPDIR when set and not empty, else /tmp.
std::string temporary_folder();

// A new temporary file in `folder`, opened for writing and reading, its name
// removed at once: it takes no name in the folder, and its space is freed
// when it is closed or the program ends, however it ends. Null with `error`
// set (the system's reason) when it cannot be made.
std::FILE* unnamed_temporary_file(const std::string& folder, std::string& error);

}  // namespace riser_meter

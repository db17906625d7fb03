// Reading a whole local file for an upload. Only a regular file is read: a
// directory, a FIFO, a socket, a device or a file that cannot be opened is
// "not readable". The file is opened without blocking, so a FIFO without a
// writer never holds the caller up; nothing throws.
#pragma once

#include <string>

namespace VLT_121 {
namespace localfile {

// The bytes of the regular file at `path` (following symbolic links); false,
// with `bytes` empty, when it is not a readable regular file.
bool readRegularFile(const std::string& path, std::string& bytes) noexcept;

}  // namespace localfile
}  // namespace VLT_121

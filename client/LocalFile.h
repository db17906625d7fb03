// Reading a local file for an upload. Only a regular file is read: a
// directory, a FIFO, a socket, a device or a file that cannot be opened is
// "not readable". The file is opened without blocking, so a FIFO without a
// writer never holds the caller up; nothing throws.
#pragma once

#include <cstdint>
#include <string>

namespace VLT_121 {
namespace localfile {

// The bytes of the regular file at `path` (following symbolic links); false,
// with `bytes` empty, when it is not a readable regular file.
bool readRegularFile(const std::string& path, std::string& bytes) noexcept;

// The regular file at `path` opened for reading (close it), with its size in
// `size`; -1 when it is not a readable regular file.
int openRegularFile(const std::string& path, std::uint64_t& size) noexcept;

}  // namespace localfile
}  // namespace VLT_121

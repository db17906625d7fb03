// Reading a local file for an upload, and making the temporary file a
// download is written into. Only a regular file is read: a
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

// A new empty file beside `target`, named `target` + ".part-" and a random
// suffix (in `temporaryPath`), opened for writing and made as open(2) makes
// files: mode 0666 less the process's umask (and the directory's default
// ACL); -1 when it cannot be made.
int createBeside(const std::string& target, std::string& temporaryPath) noexcept;

}  // namespace localfile
}  // namespace VLT_121

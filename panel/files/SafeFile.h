#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Reading and writing of the files the operator keeps beside the program.
namespace safefile {

// Reads a whole regular file of at most maxBytes. Anything else (a missing
// file, a directory, a FIFO or device, a larger file) gives false and, in
// `error`, the reason. Opens without blocking, so a FIFO cannot stall the caller.
bool ReadRegular(const std::string& path, std::size_t maxBytes, std::string& data,
                 std::string* error = nullptr);

// Replaces the file's content so that it is never lost: the new content goes to
// a temporary file beside it, which is renamed over the file with its mode (and,
// where allowed, its owner) kept. A file whose mode has no write permission is
// left alone. When the folder refuses the temporary file but the file itself is
// writable, the file is rewritten in place (WriteInPlace). On failure the
// previous file is untouched and `error` names the reason.
bool Save(const std::string& path, const std::string& data, std::string* error = nullptr);

// Rewrites an existing file in place without ever truncating it first: the new
// content, padded with line feeds to the old length, is written from offset 0
// and synced; only then is the file cut to the new length. An interrupted
// rewrite leaves the file at least as long as before (trailing blank lines are
// harmless in our text formats). A process killed during the write keeps the
// file whole only for content within one page (4 KiB): beyond that the kernel
// may stop between pages and leave new text followed by old.
bool WriteInPlace(const std::string& path, const std::string& data, std::string* error = nullptr);

// Save writes into a hidden temporary file beside the target, named with this
// prefix and six letters or digits (mkstemp), then renames it over the target.
// No person names a file like that, so what carries the name is ours alone.
inline constexpr const char* TempPrefix = ".matrixpanel-tmp-";

// Removes what an interrupted Save left in `folder`: regular files with a
// temporary name, last changed at least minAgeSeconds ago (a save running now,
// in this or another process, is left alone). Returns the names removed.
std::vector<std::string> RemoveStaleTemporaries(const std::string& folder, int minAgeSeconds = 60);

} // namespace safefile

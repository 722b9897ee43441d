#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Helpers shared by the fuzz targets. Each target runs on libFuzzer's single thread.
namespace zorvafuzz
{

// Stops the run when an invariant does not hold: prints what broke to stderr and aborts, so
// libFuzzer saves the input as a crash.
void check (bool condition, const char* what);

// check, with the text that broke the invariant printed (escaped) after the description.
void check (bool condition, const char* what, const std::string& detail);

// A private folder under the system's temporary directory, made at the first call and removed
// with everything in it when the process exits normally.
const std::filesystem::path& scratchFolder();

// Replaces a file's contents with the bytes. Aborts when the file cannot be written, since
// the target then tests nothing.
void writeFile (const std::filesystem::path& file, const std::uint8_t* data, std::size_t size);

// Counts the open file descriptors of this process.
int openDescriptorCount();

// Every path below a folder, relative to it and sorted, with its file type as lstat sees it
// (links are never followed). Empty when the folder does not exist.
std::vector<std::string> listTree (const std::filesystem::path& folder);

} // namespace zorvafuzz

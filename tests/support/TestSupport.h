#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

// Small fixtures shared by the test suites. Test thread only.
namespace zorvatest
{

namespace fs = std::filesystem;

// A fresh folder under the system's temporary directory, removed with everything in it
// when the owner goes away.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir (const TempDir&) = delete;
    TempDir& operator= (const TempDir&) = delete;

    const fs::path& path() const { return root; }
    fs::path operator/ (const fs::path& relative) const { return root / relative; }

private:
    fs::path root;
};

// Sets (or, with std::nullopt, unsets) an environment variable and restores the old value.
class ScopedEnv
{
public:
    ScopedEnv (std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv (const ScopedEnv&) = delete;
    ScopedEnv& operator= (const ScopedEnv&) = delete;

private:
    std::string name;
    std::optional<std::string> previous;
};

// Points HOME, XDG_CONFIG_HOME and XDG_DATA_HOME into a fresh temporary folder (made with
// .config and .local/share) and removes it at the end. Every test program makes one at the
// start of main, so that no test, whoever runs it, touches the real home.
class TemporaryHome
{
public:
    TemporaryHome();
    TemporaryHome (const TemporaryHome&) = delete;
    TemporaryHome& operator= (const TemporaryHome&) = delete;

    fs::path home() const { return folder / "home"; }

private:
    TempDir folder;
    ScopedEnv homeVariable, configVariable, dataVariable;
};

// Writes bytes to a file, creating its parent folders. Throws on failure.
void writeFile (const fs::path& file, const std::string& bytes);

// Creates a tree under root: names ending in '/' are folders, the others files holding their
// own name as contents. Throws on failure.
void writeTree (const fs::path& root, const std::vector<std::string>& entries);

// Reads a whole file. Throws on failure.
std::string readFile (const fs::path& file);

// A deterministic pseudo-random byte string of the given length.
std::string patternBytes (std::size_t length, std::uint32_t seed = 1);

// Runs a shell command; returns its exit status (-1 when it could not run).
int runShell (const std::string& command);

// Quotes a text for a POSIX shell.
std::string shellQuote (const std::string& text);

// The value of an environment variable, or empty when unset.
std::string environment (const char* name);

// Counts the open file descriptors of this process (to catch leaks).
int openDescriptorCount();

// Starts body in a forked child whose exit status is body's result (124 when body threw);
// -1 when no child could be made.
pid_t startChild (const std::function<int()>& body);

// Waits for a child of startChild: its exit status, or -1 when it died of a signal.
int waitForChild (pid_t child);

// Runs body in a forked child and returns its result as the child's exit status (-1 when
// the child could not run or died of a signal, 124 when body threw).
int runInChild (const std::function<int()>& body);

// Writes size bytes that no compressor can shrink (a xorshift stream from seed, 1 MiB at a
// time) to file, creating its folder; false when the disk refuses them.
bool writeNoise (const fs::path& file, std::uint64_t size, std::uint64_t seed);

// runInChild, with 125 when privileges could not be dropped.
// When the tests run as root the child first becomes the user and group 65534 ("nobody"),
// so that permission bits take effect; the files it must reach have to allow that user in.
int runWithoutPrivileges (const std::function<int()>& body);

} // namespace zorvatest

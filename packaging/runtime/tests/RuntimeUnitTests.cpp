// The runtime's offset computation (on real ELF files and on made ones that put the last
// section past the section header table, 32-bit and big-endian), and its options.
#include "ElfImage.h"
#include "Options.h"

#include <gtest/gtest.h>

#include <elf.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;

class ScratchFile
{
public:
    explicit ScratchFile (const std::vector<unsigned char>& bytes)
    {
        char name[] = "/tmp/zorvamanager-runtime-test.XXXXXX";
        fd = mkstemp (name);
        path = name;
        if (fd >= 0 && ! bytes.empty())
            EXPECT_EQ (write (fd, bytes.data(), bytes.size()), static_cast<ssize_t> (bytes.size()));
    }
    ~ScratchFile()
    {
        if (fd >= 0)
            close (fd);
        std::remove (path.c_str());
    }

    int fd = -1;
    std::string path;
};

std::vector<unsigned char> readAll (const fs::path& file)
{
    std::ifstream stream (file, std::ios::binary);
    return { std::istreambuf_iterator<char> (stream), std::istreambuf_iterator<char>() };
}

struct EndResult
{
    int status = -1;
    uint64_t end = 0;
    std::string error;
};

EndResult endOf (const std::vector<unsigned char>& bytes)
{
    ScratchFile file (bytes);
    EndResult result;
    char error[200] = {};
    result.status = elfFileEnd (file.fd, &result.end, error, sizeof error);
    result.error = error;
    return result;
}

// Writes VALUE of WIDTH bytes at AT in the given byte order.
void put (std::vector<unsigned char>& bytes, size_t at, uint64_t value, size_t width, bool bigEndian)
{
    for (size_t i = 0; i < width; ++i)
        bytes[at + (bigEndian ? width - 1 - i : i)] = static_cast<unsigned char> (value >> (8 * i));
}

// A made ELF file: header, a section header table at TABLE with the given sections (type,
// offset, size), total size FILESIZE.
std::vector<unsigned char>
madeElf (bool is64, bool bigEndian, uint64_t table, const std::vector<std::array<uint64_t, 3>>& sections, size_t fileSize)
{
    const size_t entry = is64 ? sizeof (Elf64_Shdr) : sizeof (Elf32_Shdr);
    std::vector<unsigned char> bytes (std::max<size_t> (fileSize, table + sections.size() * entry), 0);
    std::memcpy (bytes.data(), ELFMAG, SELFMAG);
    bytes[EI_CLASS] = is64 ? ELFCLASS64 : ELFCLASS32;
    bytes[EI_DATA] = bigEndian ? ELFDATA2MSB : ELFDATA2LSB;
    bytes[EI_VERSION] = EV_CURRENT;
    const size_t word = is64 ? 8 : 4;
    put (bytes, is64 ? 40 : 32, table, word, bigEndian);
    put (bytes, is64 ? 58 : 46, entry, 2, bigEndian);
    put (bytes, is64 ? 60 : 48, sections.size(), 2, bigEndian);
    for (size_t i = 0; i < sections.size(); ++i)
    {
        const size_t at = table + i * entry;
        put (bytes, at + 4, sections[i][0], 4, bigEndian);
        put (bytes, at + (is64 ? 24 : 16), sections[i][1], word, bigEndian);
        put (bytes, at + (is64 ? 32 : 20), sections[i][2], word, bigEndian);
    }
    bytes.resize (fileSize); // a table that does not fit is cut off
    return bytes;
}

TEST (RuntimeOffset, RealElfFilesEndWhereTheirFileEnds)
{
    // Linked programs and libraries keep their section header table last.
    for (const char* file : { "/bin/sh", "/bin/true", ZORVAMANAGER_RUNTIME_FILE })
    {
        auto bytes = readAll (file);
        ASSERT_FALSE (bytes.empty()) << file;
        const auto size = bytes.size();

        const auto plain = endOf (bytes);
        EXPECT_EQ (plain.status, 0) << file << ": " << plain.error;
        EXPECT_EQ (plain.end, size) << file;

        // An image behind it does not move the end.
        bytes.insert (bytes.end(), 100000, 'x');
        const auto followed = endOf (bytes);
        EXPECT_EQ (followed.status, 0) << file;
        EXPECT_EQ (followed.end, size) << file;
    }
}

TEST (RuntimeOffset, TheLaterOfTheSectionTableAndTheLastSection)
{
    struct Case
    {
        const char* what;
        bool is64, bigEndian;
        uint64_t table;
        std::vector<std::array<uint64_t, 3>> sections;
        size_t fileSize;
        uint64_t expected;
    };
    const std::vector<Case> cases {
        { "64-bit, table last", true, false, 512, { { SHT_NULL, 0, 0 }, { SHT_PROGBITS, 64, 300 } }, 800, 512 + 2 * 64 },
        { "64-bit, a section after the table", true, false, 64, { { SHT_PROGBITS, 400, 250 } }, 800, 650 },
        { "64-bit big-endian", true, true, 64, { { SHT_PROGBITS, 300, 200 } }, 700, 500 },
        { "32-bit little-endian", false, false, 52, { { SHT_PROGBITS, 200, 100 }, { SHT_STRTAB, 300, 20 } }, 500, 320 },
        { "32-bit big-endian, table last", false, true, 400, { { SHT_PROGBITS, 52, 100 } }, 500, 440 },
        { "bss takes no room in the file", true, false, 64, { { SHT_PROGBITS, 200, 10 }, { SHT_NOBITS, 210, 90000 } }, 400, 210 },
    };
    for (const auto& test : cases)
    {
        const auto result = endOf (madeElf (test.is64, test.bigEndian, test.table, test.sections, test.fileSize));
        EXPECT_EQ (result.status, 0) << test.what << ": " << result.error;
        EXPECT_EQ (result.end, test.expected) << test.what;
    }
}

TEST (RuntimeOffset, RefusesWhatIsNoElfFileOrDoesNotFit)
{
    struct Case
    {
        const char* what;
        std::vector<unsigned char> bytes;
    };
    auto notElf = madeElf (true, false, 64, { { SHT_PROGBITS, 200, 10 } }, 300);
    notElf[1] = 'X';
    auto badClass = madeElf (true, false, 64, { { SHT_PROGBITS, 200, 10 } }, 300);
    badClass[EI_CLASS] = 7;
    auto truncated = madeElf (true, false, 64, {}, 300);
    truncated.resize (30);
    const std::vector<Case> cases {
        { "empty", {} },
        { "not ELF", notElf },
        { "unknown class", badClass },
        { "table past the end", madeElf (true, false, 280, { { SHT_PROGBITS, 100, 10 } }, 300) },
        { "section past the end", madeElf (true, false, 64, { { SHT_PROGBITS, 250, 100 } }, 300) },
        { "huge section size", madeElf (true, false, 64, { { SHT_PROGBITS, 100, ~uint64_t (0) - 50 } }, 300) },
        { "truncated header", truncated },
    };
    for (const auto& test : cases)
    {
        const auto result = endOf (test.bytes);
        EXPECT_EQ (result.status, -1) << test.what;
        EXPECT_FALSE (result.error.empty()) << test.what;
    }
}

TEST (RuntimeOffset, TheAppImageMark)
{
    auto bytes = readAll ("/bin/true");
    EXPECT_TRUE (runtimeHeader (bytes.data(), bytes.size()).isElf);
    EXPECT_FALSE (runtimeHeader (bytes.data(), bytes.size()).isAppImage);
    bytes[8] = 'A', bytes[9] = 'I', bytes[10] = 2;
    EXPECT_TRUE (runtimeHeader (bytes.data(), bytes.size()).isAppImage);
    bytes[10] = 1; // type 1 is another format
    EXPECT_FALSE (runtimeHeader (bytes.data(), bytes.size()).isAppImage);
    EXPECT_FALSE (runtimeHeader (bytes.data(), 10).isAppImage);

    const auto runtime = readAll (ZORVAMANAGER_RUNTIME_FILE);
    EXPECT_TRUE (runtimeHeader (runtime.data(), runtime.size()).isAppImage);
}

TEST (RuntimeOptions, FirstArgumentOnly)
{
    struct Case
    {
        std::vector<const char*> arguments;
        const char* environment;
        RuntimeAction action;
        int firstProgramArgument;
        const char* pattern;
    };
    const std::vector<Case> cases {
        { {}, nullptr, RuntimeRun, 1, nullptr },
        { { "two words", "--appimage-help" }, nullptr, RuntimeRun, 1, nullptr },
        { { "--appimage-extract-and-run", "a", "b" }, nullptr, RuntimeExtractAndRun, 2, nullptr },
        { { "a" }, "1", RuntimeExtractAndRun, 1, nullptr },
        { { "a" }, "0", RuntimeRun, 1, nullptr },
        { { "a" }, "", RuntimeRun, 1, nullptr },
        { { "--appimage-extract" }, nullptr, RuntimeExtract, 2, nullptr },
        { { "--appimage-extract", "usr/bin/*" }, nullptr, RuntimeExtract, 2, "usr/bin/*" },
        { { "--appimage-extract", "a", "b" }, nullptr, RuntimeBadOption, 2, nullptr },
        { { "--appimage-extract", "" }, nullptr, RuntimeBadOption, 2, nullptr },
        { { "--appimage-offset" }, "1", RuntimeOffset, 2, nullptr },
        { { "--appimage-offset", "x" }, nullptr, RuntimeBadOption, 2, nullptr },
        { { "--appimage-help" }, nullptr, RuntimeHelp, 2, nullptr },
        { { "--appimage-version" }, nullptr, RuntimeVersion, 2, nullptr },
        { { "--appimage-mount" }, nullptr, RuntimeBadOption, 2, nullptr },
        { { "--appimage-" }, nullptr, RuntimeBadOption, 2, nullptr },
        { { "--appimage-extract-and-runx" }, nullptr, RuntimeBadOption, 2, nullptr },
        { { "--appimag-extract" }, nullptr, RuntimeRun, 1, nullptr },
    };
    for (const auto& test : cases)
    {
        std::vector<char*> argv { const_cast<char*> ("./X.AppImage") };
        std::string shown;
        for (const auto* argument : test.arguments)
        {
            argv.push_back (const_cast<char*> (argument));
            shown += std::string (" '") + argument + "'";
        }
        argv.push_back (nullptr);
        const auto options = parseRuntimeOptions (static_cast<int> (argv.size() - 1), argv.data(), test.environment);
        EXPECT_EQ (options.action, test.action) << shown;
        if (test.action != RuntimeBadOption)
            EXPECT_EQ (options.firstProgramArgument, test.firstProgramArgument) << shown;
        else
            EXPECT_STREQ (options.badOption, test.arguments[0]) << shown;
        if (test.action == RuntimeExtract)
            EXPECT_STREQ (options.pattern, test.pattern) << shown;
    }
}

} // namespace

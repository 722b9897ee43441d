#include "ElfImage.h"

#include <elf.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

RuntimeHeader runtimeHeader (const unsigned char* bytes, size_t size)
{
    RuntimeHeader header = { 0, 0 };
    header.isElf = size >= SELFMAG && memcmp (bytes, ELFMAG, SELFMAG) == 0;
    header.isAppImage = header.isElf && size >= 11 && bytes[8] == 'A' && bytes[9] == 'I' && bytes[10] == 2;
    return header;
}

typedef struct
{
    int bigEndian;
} ByteOrder;

static uint64_t readUnsigned (const unsigned char* bytes, size_t width, ByteOrder order)
{
    uint64_t value = 0;
    for (size_t i = 0; i < width; ++i)
    {
        const size_t index = order.bigEndian ? i : width - 1 - i;
        value = (value << 8) | bytes[index];
    }
    return value;
}

static int readExactly (int fd, void* buffer, size_t size, uint64_t offset)
{
    size_t done = 0;
    while (done < size)
    {
        const ssize_t got = pread (fd, (char*) buffer + done, size - done, (off_t) (offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return -1;
        done += (size_t) got;
    }
    return 0;
}

static int fail (char* error, size_t errorSize, const char* text)
{
    snprintf (error, errorSize, "%s", text);
    return -1;
}

int elfFileEnd (int fd, uint64_t* end, char* error, size_t errorSize)
{
    struct stat status;
    if (fstat (fd, &status) != 0)
        return fail (error, errorSize, "cannot read the file");
    const uint64_t fileSize = (uint64_t) status.st_size;

    unsigned char ident[EI_NIDENT];
    if (readExactly (fd, ident, sizeof ident, 0) != 0 || ! runtimeHeader (ident, sizeof ident).isElf)
        return fail (error, errorSize, "not an ELF file");

    const int is64 = ident[EI_CLASS] == ELFCLASS64;
    if (! is64 && ident[EI_CLASS] != ELFCLASS32)
        return fail (error, errorSize, "unknown ELF class");
    if (ident[EI_DATA] != ELFDATA2LSB && ident[EI_DATA] != ELFDATA2MSB)
        return fail (error, errorSize, "unknown ELF byte order");
    const ByteOrder order = { ident[EI_DATA] == ELFDATA2MSB };

    // The fields needed, at their places in the 32- and 64-bit file headers.
    unsigned char header[sizeof (Elf64_Ehdr)];
    const size_t headerSize = is64 ? sizeof (Elf64_Ehdr) : sizeof (Elf32_Ehdr);
    if (readExactly (fd, header, headerSize, 0) != 0)
        return fail (error, errorSize, "truncated ELF header");

    const size_t word = is64 ? 8 : 4;
    const uint64_t sectionTable = readUnsigned (header + (is64 ? 40 : 32), word, order);
    const uint64_t entrySize = readUnsigned (header + (is64 ? 58 : 46), 2, order);
    const uint64_t count = readUnsigned (header + (is64 ? 60 : 48), 2, order);
    const size_t minimumEntry = is64 ? sizeof (Elf64_Shdr) : sizeof (Elf32_Shdr);

    uint64_t last = headerSize;
    if (count == 0)
    {
        // No sections: the program headers end the file.
        const uint64_t programTable = readUnsigned (header + (is64 ? 32 : 28), word, order);
        const uint64_t programEntry = readUnsigned (header + (is64 ? 54 : 42), 2, order);
        const uint64_t programCount = readUnsigned (header + (is64 ? 56 : 44), 2, order);
        if (programCount > 0)
            last = programTable + programEntry * programCount;
        if (last > fileSize)
            return fail (error, errorSize, "ELF headers run past the end of the file");
        *end = last;
        return 0;
    }

    if (entrySize < minimumEntry)
        return fail (error, errorSize, "bad ELF section header size");
    if (sectionTable > fileSize || entrySize * count > fileSize - sectionTable)
        return fail (error, errorSize, "ELF section header table runs past the end of the file");
    last = sectionTable + entrySize * count;

    for (uint64_t index = 0; index < count; ++index)
    {
        unsigned char section[sizeof (Elf64_Shdr)];
        if (readExactly (fd, section, minimumEntry, sectionTable + index * entrySize) != 0)
            return fail (error, errorSize, "cannot read an ELF section header");
        const uint64_t type = readUnsigned (section + 4, 4, order);
        if (type == SHT_NOBITS || type == SHT_NULL)
            continue;
        const uint64_t offset = readUnsigned (section + (is64 ? 24 : 16), word, order);
        const uint64_t size = readUnsigned (section + (is64 ? 32 : 20), word, order);
        if (offset > fileSize || size > fileSize - offset)
            return fail (error, errorSize, "an ELF section runs past the end of the file");
        if (offset + size > last)
            last = offset + size;
    }

    *end = last;
    return 0;
}

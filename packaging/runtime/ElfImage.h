#pragma once
// Where the file system image of a type-2 AppImage begins: right after the ELF file at the
// front, whose end is the later of the end of its section header table and the end of its
// last section with contents. 32- and 64-bit ELF files of either byte order are understood.
// Pure functions, any thread.
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// What the first bytes of a file say.
typedef struct
{
    int isElf;      // the ELF magic is there
    int isAppImage; // and bytes 8 to 10 are 'A', 'I', 2
} RuntimeHeader;

RuntimeHeader runtimeHeader (const unsigned char* bytes, size_t size);

// Reads the ELF headers of the open file FD (from its start, with pread) and stores the end
// of the ELF file in *END. Returns 0, or -1 with a one-line reason in ERROR (no final full
// stop) for a file that is not an ELF file or whose headers do not fit in it.
int elfFileEnd (int fd, uint64_t* end, char* error, size_t errorSize);

#ifdef __cplusplus
}
#endif

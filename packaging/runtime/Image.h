#pragma once
// The AppImage file opened for reading: its ELF runtime checked, the offset of its file
// system image found, and the squashfs image behind it checked and opened. Any thread; one
// Image belongs to one thread at a time.
#include <squashfuse/squashfuse.h>

#include <stddef.h>
#include <stdint.h>

typedef struct
{
    int fd;
    uint64_t offset;
    sqfs fs;
    int fsOpen;
} Image;

// Opens PATH and checks it as far as the file system's tables. Returns 0, or -1 with a
// one-line description of the fault in ERROR (the caller adds the file name).
int openImage (Image* image, const char* path, char* error, size_t errorSize);

// Checks the file and finds the offset only (for --appimage-offset).
int findImageOffset (const char* path, uint64_t* offset, char* error, size_t errorSize);

void closeImage (Image* image);

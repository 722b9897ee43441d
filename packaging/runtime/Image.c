#include "Image.h"

#include "ElfImage.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int fail (char* error, size_t errorSize, const char* text)
{
    snprintf (error, errorSize, "%s", text);
    return -1;
}

static int checkFile (int fd, uint64_t* offset, char* error, size_t errorSize)
{
    unsigned char start[16];
    const ssize_t got = pread (fd, start, sizeof start, 0);
    const RuntimeHeader header = runtimeHeader (start, got > 0 ? (size_t) got : 0);
    if (! header.isAppImage)
        return fail (error, errorSize, "not an AppImage (no type 2 AppImage header)");

    char reason[160];
    if (elfFileEnd (fd, offset, reason, sizeof reason) != 0)
    {
        snprintf (error, errorSize, "damaged AppImage runtime (%s)", reason);
        return -1;
    }
    return 0;
}

int findImageOffset (const char* path, uint64_t* offset, char* error, size_t errorSize)
{
    const int fd = open (path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
    {
        snprintf (error, errorSize, "cannot open the AppImage (%s)", strerror (errno));
        return -1;
    }
    const int result = checkFile (fd, offset, error, errorSize);
    close (fd);
    return result;
}

static uint32_t little32 (const unsigned char* bytes)
{
    return (uint32_t) bytes[0] | (uint32_t) bytes[1] << 8 | (uint32_t) bytes[2] << 16 | (uint32_t) bytes[3] << 24;
}

static uint64_t little64 (const unsigned char* bytes)
{
    return (uint64_t) little32 (bytes) | (uint64_t) little32 (bytes + 4) << 32;
}

// squashfuse keeps one decompressed data block, three fragment blocks and a few metadata
// blocks. Starting a program maps and reads a dozen libraries at scattered places, and each
// read of the mount that misses the cache decompresses a whole block again (the same block
// many times over for the pages of one library). Enough room for the start-up's working set,
// at most 16 MiB of data blocks, makes every block decompress about once.
static int enlargeCaches (sqfs* fs)
{
    const struct
    {
        sqfs_cache* cache;
        size_t count;
    } caches[] = { { &fs->data_cache, 128 }, { &fs->frag_cache, 64 }, { &fs->md_cache, 256 } };

    for (size_t i = 0; i < sizeof caches / sizeof caches[0]; ++i)
    {
        sqfs_cache_destroy (caches[i].cache);
        if (sqfs_block_cache_init (caches[i].cache, caches[i].count) != SQFS_OK)
            return -1;
    }
    return 0;
}

int openImage (Image* image, const char* path, char* error, size_t errorSize)
{
    memset (image, 0, sizeof *image);
    image->fd = open (path, O_RDONLY | O_CLOEXEC);
    if (image->fd < 0)
    {
        snprintf (error, errorSize, "cannot open the AppImage (%s)", strerror (errno));
        return -1;
    }

    if (checkFile (image->fd, &image->offset, error, errorSize) != 0)
        return closeImage (image), -1;

    struct stat status;
    if (fstat (image->fd, &status) != 0)
        return closeImage (image), fail (error, errorSize, "cannot read the AppImage");
    const uint64_t fileSize = (uint64_t) status.st_size;

    // The superblock is read here first so that each fault has its own message, and so that
    // a truncated image is found now rather than as read errors while the program runs.
    unsigned char super[96];
    if (image->offset >= fileSize)
        return closeImage (image), fail (error, errorSize, "damaged AppImage (no file system image after the runtime)");
    if (fileSize - image->offset < sizeof super || pread (image->fd, super, sizeof super, (off_t) image->offset) != (ssize_t) sizeof super)
        return closeImage (image), fail (error, errorSize, "damaged AppImage (truncated file system image)");
    if (little32 (super) != SQUASHFS_MAGIC)
        return closeImage (image), fail (error, errorSize, "damaged AppImage (no squashfs superblock after the runtime)");

    const uint64_t bytesUsed = little64 (super + 40);
    if (bytesUsed > fileSize - image->offset)
    {
        snprintf (error,
                  errorSize,
                  "damaged AppImage (truncated: the file system image needs %llu bytes, %llu are there)",
                  (unsigned long long) bytesUsed,
                  (unsigned long long) (fileSize - image->offset));
        return closeImage (image), -1;
    }

    switch (sqfs_init (&image->fs, image->fd, (size_t) image->offset))
    {
        case SQFS_OK:
            image->fsOpen = 1;
            if (enlargeCaches (&image->fs) != 0)
                return closeImage (image), fail (error, errorSize, "out of memory");
            return 0;
        case SQFS_BADVERSION:
            return closeImage (image), fail (error, errorSize, "damaged AppImage (unsupported squashfs version)");
        case SQFS_BADCOMP:
            return closeImage (image), fail (error, errorSize, "damaged AppImage (unsupported squashfs compression)");
        default:
            return closeImage (image), fail (error, errorSize, "damaged AppImage (unreadable squashfs tables)");
    }
}

void closeImage (Image* image)
{
    if (image->fsOpen)
        sqfs_destroy (&image->fs);
    image->fsOpen = 0;
    if (image->fd >= 0)
        close (image->fd);
    image->fd = -1;
}

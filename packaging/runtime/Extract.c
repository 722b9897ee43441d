#include "Extract.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

typedef struct
{
    Image* image;
    const char* destination;
    const char* pattern;
    int verbose;
    char* error;
    size_t errorSize;
} Extraction;

static int failWith (Extraction* x, const char* what, const char* path, int code)
{
    if (code != 0)
        snprintf (x->error, x->errorSize, "%s (%s): %s", what, strerror (code), path);
    else
        snprintf (x->error, x->errorSize, "%s: %s", what, path);
    return -1;
}

static int safeName (const char* name)
{
    return name[0] != '\0' && strcmp (name, ".") != 0 && strcmp (name, "..") != 0 && strchr (name, '/') == 0;
}

// Opens (making it when missing) the folder NAME inside the folder PARENT, refusing a link.
static int enterFolder (int parent, const char* name)
{
    if (mkdirat (parent, name, 0755) != 0 && errno != EEXIST)
        return -1;
    return openat (parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Whether something at PATH, or below it when it is a folder, matches the pattern.
static int wanted (Extraction* x, const char* path)
{
    return x->pattern == 0 || fnmatch (x->pattern, path, 0) == 0;
}

static int writeFile (Extraction* x, sqfs_inode* inode, int folder, const char* name, const char* path)
{
    unlinkat (folder, name, 0);
    const int fd = openat (folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, (mode_t) (inode->base.mode & 0777));
    if (fd < 0)
        return failWith (x, "cannot create file", path, errno);

    static char buffer[1 << 17];
    const sqfs_off_t size = (sqfs_off_t) inode->xtra.reg.file_size;
    for (sqfs_off_t at = 0; at < size;)
    {
        sqfs_off_t chunk = size - at < (sqfs_off_t) sizeof buffer ? size - at : (sqfs_off_t) sizeof buffer;
        if (sqfs_read_range (&x->image->fs, inode, at, &chunk, buffer) != SQFS_OK || chunk <= 0)
        {
            close (fd);
            return failWith (x, "damaged AppImage (unreadable file)", path, 0);
        }
        for (sqfs_off_t written = 0; written < chunk;)
        {
            const ssize_t done = write (fd, buffer + written, (size_t) (chunk - written));
            if (done < 0 && errno == EINTR)
                continue;
            if (done < 0)
            {
                const int code = errno;
                close (fd);
                return failWith (x, "cannot write file", path, code);
            }
            written += done;
        }
        at += chunk;
    }
    if (close (fd) != 0)
        return failWith (x, "cannot write file", path, errno);
    return 0;
}

static int writeLink (Extraction* x, sqfs_inode* inode, int folder, const char* name, const char* path)
{
    char target[PATH_MAX];
    size_t size = sizeof target;
    if (inode->xtra.symlink_size >= sizeof target || sqfs_readlink (&x->image->fs, inode, target, &size) != SQFS_OK)
        return failWith (x, "damaged AppImage (unreadable link)", path, 0);
    unlinkat (folder, name, 0);
    if (symlinkat (target, folder, name) != 0)
        return failWith (x, "cannot create link", path, errno);
    return 0;
}

static void announce (Extraction* x, const char* path)
{
    if (x->verbose)
        printf ("%s/%s\n", x->destination, path);
}

// Walks the folder INODE found at PATH (empty for the root). FOLDER is its descriptor, or
// -1 while no entry below has been written; then PARENT and NAME say where to make it.
static int walk (Extraction* x, sqfs_inode* inode, const char* path, int parent, const char* name, int* folder)
{
    sqfs_dir dir;
    if (sqfs_dir_open (&x->image->fs, inode, &dir, 0) != SQFS_OK)
        return failWith (x, "damaged AppImage (unreadable folder)", path[0] ? path : "/", 0);

    sqfs_name nameBuffer;
    sqfs_dir_entry entry;
    sqfs_dentry_init (&entry, nameBuffer);
    sqfs_err status = SQFS_OK;

    while (sqfs_dir_next (&x->image->fs, &dir, &entry, &status))
    {
        const char* entryName = sqfs_dentry_name (&entry);
        char entryPath[PATH_MAX];
        if (snprintf (entryPath, sizeof entryPath, "%s%s%s", path, path[0] ? "/" : "", entryName) >= (int) sizeof entryPath)
            return failWith (x, "refusing a path that is too long", path, 0);
        if (! safeName (entryName))
            return failWith (x, "refusing an unsafe name in the AppImage", entryPath, 0);

        sqfs_inode child;
        if (sqfs_inode_get (&x->image->fs, &child, sqfs_dentry_inode (&entry)) != SQFS_OK)
            return failWith (x, "damaged AppImage (unreadable entry)", entryPath, 0);

        const int isFolder = S_ISDIR (child.base.mode);
        const int matches = wanted (x, entryPath);
        if (! matches && ! isFolder)
            continue;

        if (*folder < 0)
        {
            *folder = enterFolder (parent, name);
            if (*folder < 0)
                return failWith (x, "cannot create folder", path[0] ? path : x->destination, errno);
        }

        if (isFolder)
        {
            int childFolder = -1;
            if (matches)
            {
                childFolder = enterFolder (*folder, entryName);
                if (childFolder < 0)
                    return failWith (x, "cannot create folder", entryPath, errno);
                announce (x, entryPath);
            }
            // Below a matching folder everything is wanted.
            const char* pattern = x->pattern;
            if (matches)
                x->pattern = 0;
            const int result = walk (x, &child, entryPath, *folder, entryName, &childFolder);
            x->pattern = pattern;
            if (childFolder >= 0)
            {
                fchmod (childFolder, (mode_t) ((child.base.mode & 0777) | 0700));
                close (childFolder);
            }
            if (result != 0)
                return result;
            continue;
        }

        int result = 0;
        if (S_ISREG (child.base.mode))
            result = writeFile (x, &child, *folder, entryName, entryPath);
        else if (S_ISLNK (child.base.mode))
            result = writeLink (x, &child, *folder, entryName, entryPath);
        else
            continue; // devices, pipes and sockets are not part of an application
        if (result != 0)
            return result;
        announce (x, entryPath);
    }

    if (status != SQFS_OK)
        return failWith (x, "damaged AppImage (unreadable folder)", path[0] ? path : "/", 0);
    return 0;
}

int extractImage (Image* image, const char* destination, const char* pattern, int verbose, char* error, size_t errorSize)
{
    Extraction x = { image, destination, pattern, verbose, error, errorSize };
    sqfs_inode root;
    if (sqfs_inode_get (&image->fs, &root, sqfs_inode_root (&image->fs)) != SQFS_OK)
        return failWith (&x, "damaged AppImage (unreadable root folder)", destination, 0);

    // The destination itself may be reached through links the user made; below it nothing is.
    int folder = -1;
    if (mkdir (destination, 0755) != 0 && errno != EEXIST)
        return failWith (&x, "cannot create folder", destination, errno);
    folder = open (destination, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return failWith (&x, "cannot open folder", destination, errno);

    const int result = walk (&x, &root, "", AT_FDCWD, destination, &folder);
    close (folder);
    return result;
}

static int removeInside (int folder)
{
    DIR* listing = fdopendir (folder);
    if (listing == 0)
    {
        close (folder);
        return -1;
    }
    int result = 0;
    for (struct dirent* entry; (entry = readdir (listing)) != 0;)
    {
        if (strcmp (entry->d_name, ".") == 0 || strcmp (entry->d_name, "..") == 0)
            continue;
        if (unlinkat (dirfd (listing), entry->d_name, 0) == 0)
            continue;
        const int child = openat (dirfd (listing), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child < 0 || removeInside (child) != 0 || unlinkat (dirfd (listing), entry->d_name, AT_REMOVEDIR) != 0)
            result = -1;
    }
    closedir (listing);
    return result;
}

int removeTree (const char* path)
{
    const int folder = open (path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return errno == ENOENT ? 0 : -1;
    if (removeInside (folder) != 0)
        return -1;
    return rmdir (path);
}

// zorvamanager-unpack: extracts one package archive in a process of its own, under limits that
// the window's process cannot give a single library call (see package/UnpackHelper.h). It sits
// beside the ZorvaManager executable and is started by package::IsolatedExtractor.

#include "package/UnpackHelper.h"

#include <cstddef>

using zorvaplugins::zorvamanager::package::UnpackHelper;

// The C allocator of this process is glibc's own, seen through these entry points only to learn
// whether a request was refused under the address-space limit: libarchive turns a refused
// buffer into an ordinary error, which would hide the limit behind an unrelated message.
extern "C" {
void* __libc_malloc (std::size_t size);
void* __libc_calloc (std::size_t count, std::size_t size);
void* __libc_realloc (void* block, std::size_t size);

void* malloc (std::size_t size) noexcept
{
    auto* block = __libc_malloc (size);

    if (block == nullptr && size > 0)
        UnpackHelper::noteRefusedAllocation();

    return block;
}

void* calloc (std::size_t count, std::size_t size) noexcept
{
    auto* block = __libc_calloc (count, size);

    if (block == nullptr && count > 0 && size > 0)
        UnpackHelper::noteRefusedAllocation();

    return block;
}

void* realloc (void* block, std::size_t size) noexcept
{
    auto* moved = __libc_realloc (block, size);

    if (moved == nullptr && size > 0)
        UnpackHelper::noteRefusedAllocation();

    return moved;
}
}

int main (int argc, char** argv)
{
    return UnpackHelper::run (argc, argv);
}

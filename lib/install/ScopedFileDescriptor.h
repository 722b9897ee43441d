#pragma once

#include <unistd.h>

namespace zorvaplugins::zorvamanager::install::safefile
{

// Owns one POSIX file descriptor and closes it when it goes away. Any thread.
class ScopedFileDescriptor
{
public:
    ScopedFileDescriptor() = default;
    explicit ScopedFileDescriptor (int descriptorToOwn) noexcept
        : descriptor (descriptorToOwn)
    {}
    ~ScopedFileDescriptor() { reset(); }

    ScopedFileDescriptor (const ScopedFileDescriptor&) = delete;
    ScopedFileDescriptor& operator= (const ScopedFileDescriptor&) = delete;

    ScopedFileDescriptor (ScopedFileDescriptor&& other) noexcept
        : descriptor (other.release())
    {}

    ScopedFileDescriptor& operator= (ScopedFileDescriptor&& other) noexcept
    {
        if (this != &other)
        {
            reset();
            descriptor = other.release();
        }

        return *this;
    }

    int get() const noexcept { return descriptor; }
    bool isValid() const noexcept { return descriptor >= 0; }

    // Gives the descriptor up without closing it.
    int release() noexcept
    {
        const auto released = descriptor;
        descriptor = -1;
        return released;
    }

    // Closes the descriptor (if any); a failing close is ignored.
    void reset() noexcept
    {
        if (descriptor >= 0)
            ::close (release());
    }

    // Closes the descriptor and reports close()'s result: on Linux the descriptor is gone
    // whatever close() returns, so it is never closed twice.
    int close() noexcept { return descriptor >= 0 ? ::close (release()) : 0; }

private:
    int descriptor = -1;
};

} // namespace zorvaplugins::zorvamanager::install::safefile

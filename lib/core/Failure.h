#pragma once

namespace zorvaplugins::zorvamanager::core
{

// A failed result record (`ok` false, empty payload) saying `message`, built where an
// exception has just been caught without risking a second one: when even copying the message
// fails, the error is "std::bad_alloc", short enough to need no allocation. Any thread.
template <typename Result>
Result failure (const char* message) noexcept
{
    Result result;

    try
    {
        result.error = message;
    }
    catch (...)
    {
        result.error = "std::bad_alloc";
    }

    return result;
}

} // namespace zorvaplugins::zorvamanager::core

// The receipts file as the disk gives it back: any bytes, since another program, a crash or a
// full disk may have left anything there. The reader never throws, and what it reads is
// written back to bytes that read the same.
#include "FuzzSupport.h"

#include "install/InstallReceipts.h"

#include <string_view>

using namespace zorvaplugins::zorvamanager::install;

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    const auto receipts = parseReceipts (std::string_view (reinterpret_cast<const char*> (data), size));
    const auto bytes = serialiseReceipts (receipts);

    zorvafuzz::check (parseReceipts (bytes) == receipts, "receipts read back differently after writing", bytes);
    zorvafuzz::check (! receipts.empty() || bytes == "{}", "no receipts are not written as {}", bytes);
    zorvafuzz::check (bytes.empty() || bytes.back() != '\n', "the receipts file ends in a line feed", bytes);

    return 0;
}

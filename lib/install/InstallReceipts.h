#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

// Who touches the receipts file: the install and remove jobs file and forget receipts on the
// window's pool threads (several at once) and on the command line's worker threads; the
// window's message thread and the command line's main thread read them to build the rows.
// Writers are kept apart by the file lock, and readers need none because the file is only
// ever replaced whole.
namespace zorvaplugins::zorvamanager::install
{

// What the program remembers of a product it installed: the catalogue's name and the version
// it recorded at the time.
struct InstallReceipt
{
    std::string name;
    std::string version;

    bool operator== (const InstallReceipt& other) const { return name == other.name && version == other.version; }
};

// Receipts by key: the normalised product name and, when it differs, the normalised slug, so
// either finds the receipt. Keys compare byte by byte.
using InstallReceipts = std::map<std::string, InstallReceipt>;

// The receipts file, "installed.json" under $XDG_CONFIG_HOME/ZorvaPlugins/ZorvaManager, else
// under $HOME/.config/ZorvaPlugins/ZorvaManager; an empty or relative variable counts as unset
// (it would put the file wherever the program happened to be started). Without either, the
// file is "ZorvaManager-installed.json" in the system's temporary directory. Reads the
// environment at each call and creates nothing. Any thread.
std::filesystem::path receiptPath();

// Reads receipts from the file's bytes, forgivingly: a root that is not an object, or text
// that is not JSON, gives no receipts; a member whose value is not an object is skipped; a
// missing "name" or "version" reads as empty; a "name" or "version" that is present but not
// a string makes the whole text read as empty. Never throws. Any thread.
InstallReceipts parseReceipts (std::string_view text) noexcept;

// The file's bytes: one object with a member per key in ascending byte order, each
// {"name": ..., "version": ...}, two spaces of indentation, UTF-8 unescaped, no final line
// feed; "{}" when there are none. Any thread.
std::string serialiseReceipts (const InstallReceipts& receipts);

// The receipts in the file at receiptPath(). A missing, unreadable, oversized or malformed
// file (or anything but a regular file) reads as no receipts. Never fails, never reports.
// Any thread; takes no lock (the file is only ever replaced whole).
InstallReceipts loadReceipts();

// Outcome of changing the receipts file.
struct ReceiptsUpdate
{
    bool ok = false;
    std::string error; // empty when ok
};

// Files {name, version} under the normalised name and, when the slug is not empty, under the
// normalised slug, replacing what was there, and writes the file back. A key that normalises
// to nothing is not filed (it would belong to no product). The read, change and write happen
// under an advisory lock on "installed.json.lock" beside the file (waiting at most 10 s), so
// that two instances, or the window and the command line, never lose each other's receipts.
// The write goes to a temporary file beside it that is flushed and renamed over the old one:
// a crash or a full disk leaves the old file whole. Blocks on the lock and on the disk: a
// worker thread, never the message thread.
ReceiptsUpdate saveReceipt (const std::string& name, const std::string& slug, const std::string& version);

// Forgets the receipt under the normalised name and, when the slug is not empty, the
// normalised slug (absent keys are fine), and writes the file back as saveReceipt does, even
// when nothing was erased. A worker thread, as saveReceipt.
ReceiptsUpdate removeReceipt (const std::string& name, const std::string& slug);

// Writes receipts to a file as saveReceipt does (creating its folder). Takes no lock. A worker
// thread.
ReceiptsUpdate writeReceipts (const std::filesystem::path& file, const InstallReceipts& receipts);

} // namespace zorvaplugins::zorvamanager::install

#pragma once

#include "install/InstallTargets.h"

#include <filesystem>
#include <string>

// The install folders the user chose, kept between runs, and the check that one can be
// written to. Where plug-ins live by default is InstallPathPolicy's business.
namespace zorvaplugins::zorvamanager::install
{

// Outcome of checking an install folder or of saving the folder choice.
struct FolderResult
{
    bool ok = false;
    std::string error; // empty when ok
};

// Creates the folder with its missing parents and proves that a file can be written in it,
// by creating, writing and deleting ".zorvamanager-write-test" there. The probe is never
// opened through a link planted in its place. A failure says "cannot create install
// folder: " or "install folder is not writable: " followed by the folder. The folder stays
// created either way. Any thread: the window calls it on the message thread before it queues
// an install, the command line on its main thread.
FolderResult canWriteDirectory (const std::filesystem::path& folder);

// The settings file beside the receipts: "settings.json" in the program's configuration
// folder, else "ZorvaManager-settings.json" in the system's temporary directory. Any thread.
std::filesystem::path installFolderSettingsPath();

// The chosen folders from the settings file. A folder that is missing, not a string, empty or
// not absolute, and every folder of a missing, oversized or malformed file, is the format's
// default (InstallPathPolicy::firstDefaultPath). Never fails. Any thread: the window reads the
// file once on the message thread when it starts, the command line on its main thread.
FormatFolders loadInstallFolderChoice();

// Writes both folders to the settings file atomically (a temporary file beside it, flushed
// and renamed over it), creating its folder; on failure the old file is left whole and the
// error says why. Waits for the disk, so the window calls it on the worker pool's ordered
// thread, which runs one write of the file after the other; no lock is taken, so two
// concurrent writes of the file must not be started.
FolderResult saveInstallFolderChoice (const FormatFolders& choice);

} // namespace zorvaplugins::zorvamanager::install

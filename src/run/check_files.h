#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "run/check.h"

namespace sccevtmon {

// The check of every file and folder a run writes, for the user running the check: the lock,
// the activity log and its folders, the execution-state file and the post-logs folder. A file
// where a folder must be (or the reverse), a link or anything but a plain file where the lock
// or the activity log must be, and an existing file the user cannot write are errors. Run by
// the superuser against an installation another user owns, it says that its answers are the
// superuser's, names the command to run as the owner, and finds the files a run as the
// superuser left that the owner's runs cannot write. installPath ends with a separator.
std::vector<Finding> checkWrittenFiles(Platform& os, const std::string& installPath,
                                       const std::string& regId);

// The sections of the server settings and the execution state as a run reads them: a file in
// UTF-16 is named as such (a run reads it as Windows does), and a section a run looks for
// that is missing while one of a nearly equal name stands there gets "did you mean".
std::vector<Finding> checkSettingsSections(Platform& os, const std::string& installPath);

// The event-log names of a template's bytes that Windows-1252, the program's text, cannot
// hold: a run looks for a log whose name has '?' in their place and never finds it. One error
// per such name, saying so (instead of "does not exist").
std::vector<Finding> checkLogNamesOutsideCodePage(const std::string& templateBytes);

}  // namespace sccevtmon

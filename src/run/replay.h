#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace sccevtmon {

// What to replay: a window of local time, where to write, and optionally another template
// and another folder of event-log files.
struct ReplayOptions {
  std::string from;  // "YYYY-MM-DD HH:MM:SS"
  std::string to;
  std::string outFolder;
  std::string templateFile;  // empty: the installation's template
  std::string logFolder;     // empty: the machine's event logs
  std::string threshold;     // empty: the execution state's
};

// Reads the arguments that follow --replay (--from T --to T --out DIR [--template FILE]
// [--logs DIR] [--threshold N]). Returns what is wrong with them, or empty text: times an
// event log cannot hold (before 1601, after 9999) and a threshold that is not a whole number
// from 1 to 32767 (what a run's test converts) are refused here.
std::string parseReplayOptions(const std::vector<std::string>& args, ReplayOptions* options);

// The operator's replay: runs the template's entries over the window, of any length, and
// writes the summary and detail report files into the out folder exactly as a run would hand
// them over, with the window's end standing for the run's time (mntime, the file names' stamps)
// and the threshold of --threshold, else of the execution state (else 50). Without a registry
// file it needs --template and --logs, and the files carry an empty REGID. The out folder
// may not be the installation folder or lie inside it: the agent would deliver the files it
// finds in the post-logs folder, and the next run hands over those in the installation
// folder, as real reports. No run gate and no checksum check (a
// template whose checksum differs from EVENT is a warning on standard error); nothing of the
// installation is written: no settings, no activity log, no post-logs folder, no post.
// Appends to *table what each entry found (rows of its log, after each filter stage, written)
// and the files written. Returns the exit status: 0, or 1 when the replay could not be made or
// a log could not be read (the reason on standard error).
int runReplay(Platform& os, const ReplayOptions& options, std::vector<std::string>* table);

}  // namespace sccevtmon

// The tool's output files: the frontend's output file, with the signal handlers that
// remove unfinished ones.
#pragma once

#include "frontend/KvOutputFile.h"

namespace kvcli {

// Installs the handlers that remove unfinished outputs on SIGINT, SIGTERM, SIGHUP,
// SIGQUIT, SIGPIPE and SIGXFSZ and then end the process by the same signal (so the caller
// sees which one). A signal the tool inherited as ignored stays ignored (nohup, background
// jobs of non-interactive shells). Call once, before any output file.
void InstallCleanupHandlers();

// The watcher that records every temporary for those handlers.
kv::frontend::TOutputWatcher& CleanupWatcher();

// An output file of the tool: removed also when a signal ends the process.
class TOutputFile : public kv::frontend::TOutputFile {
 public:
  explicit TOutputFile(const std::string& Target) : kv::frontend::TOutputFile(Target, &CleanupWatcher()) {}
};

}  // namespace kvcli

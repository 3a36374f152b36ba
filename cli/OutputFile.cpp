// The signal handlers that remove unfinished output files.
// Several conversions may run at once (-j), so the handler knows a fixed table of pending
// temporaries, each slot claimed and released atomically; the handler only reads it and
// calls unlink, which is async-signal-safe.
#include "cli/OutputFile.h"

#include <pthread.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstring>

namespace kvcli {

namespace {

constexpr int kSlots = 256;  // more than the most conversions run at once
constexpr size_t kPathMax = 4096;

struct TPendingSlot {
  std::atomic<bool> Used{false};  // claimed by a TOutputFile
  std::atomic<bool> Live{false};  // Path holds a temporary to remove
  char Path[kPathMax];
};
std::array<TPendingSlot, kSlots> g_Pending;

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ};

extern "C" void remove_pending_and_reraise(int Signal) {
  for (TPendingSlot& S : g_Pending)
    if (S.Live.load()) unlink(S.Path);
  // The default action, delivered once the handler returns (the signal is blocked in it).
  struct sigaction Default {};
  Default.sa_handler = SIG_DFL;
  sigemptyset(&Default.sa_mask);
  sigaction(Signal, &Default, nullptr);
  raise(Signal);
}

int claim_slot(const std::string& Path) {
  if (Path.size() >= kPathMax) return -1;
  for (int I = 0; I < kSlots; ++I) {
    bool Free = false;
    if (g_Pending[I].Used.compare_exchange_strong(Free, true)) {
      std::memcpy(g_Pending[I].Path, Path.c_str(), Path.size() + 1);
      g_Pending[I].Live.store(true);
      return I;
    }
  }
  return -1;
}

void release_slot(int Slot) {
  if (Slot < 0) return;
  g_Pending[Slot].Live.store(false);
  g_Pending[Slot].Used.store(false);
}

// Blocks the clean-up signals while a temporary is created and recorded, and keeps the
// record in a slot of the table until the temporary is gone.
class TCleanupWatcher final : public kv::frontend::TOutputWatcher {
 public:
  void Begin() override {
    sigset_t Block;
    sigemptyset(&Block);
    for (int Signal : kCleanupSignals) sigaddset(&Block, Signal);
    pthread_sigmask(SIG_BLOCK, &Block, &t_Saved);
  }
  int Created(const std::string& Path) override { return claim_slot(Path); }
  void End() override { pthread_sigmask(SIG_SETMASK, &t_Saved, nullptr); }
  void Done(int Token) override { release_slot(Token); }

 private:
  static thread_local sigset_t t_Saved;  // each thread creates its own outputs
};
thread_local sigset_t TCleanupWatcher::t_Saved;

}  // namespace

void InstallCleanupHandlers() {
  for (int Signal : kCleanupSignals) {
    struct sigaction Old {};
    if (sigaction(Signal, nullptr, &Old) != 0 || Old.sa_handler == SIG_IGN) continue;
    struct sigaction New {};
    New.sa_handler = remove_pending_and_reraise;
    sigemptyset(&New.sa_mask);
    for (int Other : kCleanupSignals) sigaddset(&New.sa_mask, Other);
    sigaction(Signal, &New, nullptr);
  }
}

kv::frontend::TOutputWatcher& CleanupWatcher() {
  static TCleanupWatcher Watcher;
  return Watcher;
}

}  // namespace kvcli

// Each conversion: check the output policy, open the output (so an unwritable folder is
// reported before any work), load, convert with progress, write, commit. Conversions of a
// batch run on up to -j threads, one image per thread; a failed file is reported and the
// others go on.
#include "cli/Convert.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "cli/Messages.h"
#include "cli/OutputFile.h"
#include "cli/Progress.h"
#include "frontend/KvFormatNames.h"
#include "frontend/KvImageBytes.h"
#include "frontend/KvImageFiles.h"
#include "frontend/KvPngFile.h"
#include "frontend/KvProgressAdapter.h"
#include "frontend/KvRender.h"
#include "platform/streams/Stream.h"

namespace kvcli {

namespace {

namespace fs = std::filesystem;
using namespace kv::frontend;

std::string lower(std::string S) {
  for (char& C : S) C = static_cast<char>(C >= 'A' && C <= 'Z' ? C - 'A' + 'a' : C);
  return S;
}

// Lines on stderr, whole, whichever thread writes them.
class TReporter {
 public:
  void Line(const std::string& Text) {
    const std::lock_guard<std::mutex> Lock(m_Mutex);
    std::fprintf(stderr, "%s\n", Text.c_str());
  }

 private:
  std::mutex m_Mutex;
};

enum class TOutcome { Done, Skipped, Failed };

class TJobRunner {
 public:
  TJobRunner(const TConvertSettings& S, TReporter& R, bool Bar) : m_S(S), m_R(R), m_Bar(Bar) {}
  TOutcome Run(const TJob& J);

 private:
  void Load(const TJob& J, kv::TKvDIB& Image, std::vector<std::string>& Notes, uint64_t& InputBytes);
  void Convert(const TJob& J, kv::TKvDIB& Image);
  uint64_t Write(const TJob& J, const kv::TKvDIB& Image, TOutputFile* Out);

  const TConvertSettings& m_S;
  TReporter& m_R;
  bool m_Bar;
};

// Thrown with the text to report after the file name.
struct TJobError {
  std::string Subject;
  std::string Message;
};

TOutcome TJobRunner::Run(const TJob& J) {
  const auto Start = std::chrono::steady_clock::now();
  const bool ToStdout = J.Output == "-";
  try {
    std::error_code Ec;
    if (!ToStdout && fs::exists(fs::symlink_status(J.Output, Ec))) {
      if (m_S.NoClobber) {
        m_R.Line(J.Output + ": exists, kept (--no-clobber)");
        return TOutcome::Skipped;
      }
      if (J.Input != "-" && fs::equivalent(J.Input, J.Output, Ec) && !m_S.Force)
        throw TJobError{J.Output, "is the input file itself; not replaced without --force"};
    }
    if (ToStdout && isatty(STDOUT_FILENO) == 1)
      throw TJobError{"-", "will not write image data to a terminal; redirect standard output"};

    std::optional<TOutputFile> Out;
    if (!ToStdout) {
      try {
        Out.emplace(J.Output);
      } catch (const std::exception& E) {
        throw TJobError{J.Output, E.what()};
      }
    }
    kv::TKvDIB Image;
    std::vector<std::string> Notes;
    uint64_t InputBytes = 0;
    Load(J, Image, Notes, InputBytes);
    const kv::TKvPixelFormat Source = Image.GetPixelFormat();
    const int SourceColors = Image.GetColorCount();
    Convert(J, Image);
    const uint64_t OutputBytes = Write(J, Image, Out ? &*Out : nullptr);
    if (Out) Out->Commit();

    if (m_S.Verbose) {
      for (const std::string& Note : Notes) m_R.Line(J.Input + ": " + Note);
      const double Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
      const int Colors = Image.GetColorCount();
      char Time[32];
      std::snprintf(Time, sizeof(Time), "%.3f s", Seconds);
      m_R.Line(J.Input + " -> " + J.Output + ": " + std::to_string(Image.GetWidth()) + " x " +
               std::to_string(Image.GetHeight()) + ", " + FormatName(Source) +
               (SourceColors > 0 ? " (" + std::to_string(SourceColors) + " colours)" : "") + " -> " +
               FormatName(Image.GetPixelFormat()) +
               (Colors > 0 ? " (" + std::to_string(Colors) + " colours)" : " (true colour)") + ", " +
               Grouped(InputBytes) + " -> " + Grouped(OutputBytes) + " bytes, " + Time);
    }
    return TOutcome::Done;
  } catch (const TJobError& E) {
    m_R.Line(E.Subject + ": " + E.Message);
    return TOutcome::Failed;
  }
}

void TJobRunner::Load(const TJob& J, kv::TKvDIB& Image, std::vector<std::string>& Notes,
                      uint64_t& InputBytes) {
  TLoadOptions Options = m_S.Load;
  Options.Notes = [&Notes](const std::string& Note) { Notes.push_back(Note); };
  try {
    const TImageBytes Bytes =
        J.Input == "-" ? TImageBytes::FromStream(stdin, "standard input") : TImageBytes::FromFile(J.Input);
    InputBytes = Bytes.Bytes().size();
    LoadImage(Bytes.Bytes(), Image, Options);
  } catch (const std::exception& E) {
    throw TJobError{J.Input, LoadFailure(E)};
  }
}

void TJobRunner::Convert(const TJob& J, kv::TKvDIB& Image) {
  if (m_S.Render) {
    try {
      RenderImage(Image, m_S.Render->Width, m_S.Render->Height, m_S.Render->HalftoneMode, Image);
    } catch (const std::exception& E) {
      throw TJobError{J.Input, E.what()};
    }
    return;
  }
  const kv::TKvPixelFormat Source = Image.GetPixelFormat();
  if (m_S.Format == kv::kvPf1Bit && Source == kv::kvPf24Bit && !m_S.KeyColor && !m_S.Quiet)
    m_R.Line(J.Input + ": " + KeyColorNote(kv::kClWhite));
  Image.FineMethod = m_S.Fine;
  Image.BackgroundColor = m_S.KeyColor.value_or(kv::kClWhite);
  TProgressBar Bar(stderr);
  const std::string Label =
      ProgressLabel(Source, m_S.Format, m_S.Fine, m_S.Quantize ? &*m_S.Quantize : nullptr);
  TPercentProc Proc;
  if (m_Bar && TProgressBar::Wanted(m_S.Quiet))
    Proc = [&Bar, &Label](kv::TProgressStage Stage, int Percent, const std::string&) {
      Bar.Show(Stage, Percent, Label);
    };
  try {
    const TScopedProgress Progress(Image, Proc);
    if (m_S.Quantize) {
      // The quantizer works on true colour: a palette input is widened first, exactly.
      if (Source != kv::kvPf24Bit) Image.SetPixelFormat(kv::kvPf24Bit);
      Image.Quantize(*m_S.Quantize);  // then widened or encoded to the format asked for
    }
    Image.SetPixelFormat(m_S.Format);
  } catch (const std::exception& E) {
    throw TJobError{J.Input, ConversionFailure(E, Image.GetWidth(), Image.GetHeight(), m_S.Format)};
  }
}

uint64_t TJobRunner::Write(const TJob& J, const kv::TKvDIB& Image, TOutputFile* Out) {
  TPngWriteOptions Png;
  if (m_S.PngLevel) Png.Level = *m_S.PngLevel;
  try {
    if (Out) {
      if (J.Kind == TOutputKind::Png)
        WritePngFile(Image, Out->TempPath(), Png);
      else
        Image.WriteToFile(Out->TempPath());
      std::error_code Ec;
      const auto Size = fs::file_size(Out->TempPath(), Ec);
      return Ec ? 0 : Size;
    }
    std::vector<uint8_t> Bytes;
    if (J.Kind == TOutputKind::Png) {
      WritePng(Image, Bytes, Png);
    } else {
      kv::TMemoryStream Stream;
      Image.SaveToStream(Stream);
      Bytes = Stream.Data();
    }
    if (std::fwrite(Bytes.data(), 1, Bytes.size(), stdout) != Bytes.size() || std::fflush(stdout) != 0)
      throw TFileError("Stream write error");
    return Bytes.size();
  } catch (const std::exception& E) {
    throw TJobError{J.Output, E.what()};
  }
}

}  // namespace

std::optional<TOutputKind> OutputKindOf(const std::string& Path) {
  const std::string Ext = lower(fs::path(Path).extension().string());
  if (Ext == ".bmp" || Ext == ".dib") return TOutputKind::Bmp;
  if (Ext == ".png") return TOutputKind::Png;
  return std::nullopt;
}

std::optional<std::vector<TJob>> PlanJobs(const TConvertSettings& S, std::string& Error) {
  const TOutputKind ExtKind = S.Ext == "png" ? TOutputKind::Png : TOutputKind::Bmp;
  std::vector<TJob> Jobs;
  if (S.OutputDir.empty()) {
    const std::string& Out = S.Output;
    const auto Kind = Out == "-" ? std::optional<TOutputKind>(ExtKind) : OutputKindOf(Out);
    if (!Kind) {
      Error = "OUTPUT must end in .bmp, .dib or .png: " + Out;
      return std::nullopt;
    }
    Jobs.push_back(TJob{S.Inputs.front(), Out, *Kind});
    return Jobs;
  }
  std::map<std::string, std::string> Taken;  // output -> input
  for (const std::string& In : S.Inputs) {
    if (In == "-") {
      Error = "standard input (-) needs an OUTPUT, not --output-dir";
      return std::nullopt;
    }
    const std::string Out = (fs::path(S.OutputDir) / fs::path(In).stem()).string() + "." + S.Ext;
    const auto [It, New] = Taken.emplace(Out, In);
    if (!New) {
      Error = In + " and " + It->second + " would both be written to " + Out;
      return std::nullopt;
    }
    Jobs.push_back(TJob{In, Out, ExtKind});
  }
  return Jobs;
}

int RunConvert(const TConvertSettings& S, const std::vector<TJob>& Jobs) {
  InstallCleanupHandlers();
  TReporter Reporter;
  if (!S.OutputDir.empty()) {
    std::error_code Ec;
    fs::create_directories(S.OutputDir, Ec);
    if (Ec) {
      Reporter.Line(S.OutputDir + ": Cannot create folder: " + Ec.message());
      return 1;
    }
  }
  const size_t Threads = std::min<size_t>(static_cast<size_t>(std::max(S.Jobs, 1)), Jobs.size());
  std::vector<TOutcome> Outcomes(Jobs.size(), TOutcome::Failed);
  std::atomic<size_t> Next{0};
  auto worker = [&] {
    TJobRunner Runner(S, Reporter, Threads == 1);
    for (size_t I = Next++; I < Jobs.size(); I = Next++) Outcomes[I] = Runner.Run(Jobs[I]);
  };
  if (Threads <= 1) {
    worker();
  } else {
    std::vector<std::thread> Pool;
    for (size_t T = 0; T < Threads; ++T) Pool.emplace_back(worker);
    for (std::thread& T : Pool) T.join();
  }

  std::vector<std::string> Failed;
  for (size_t I = 0; I < Jobs.size(); ++I)
    if (Outcomes[I] == TOutcome::Failed) Failed.push_back(Jobs[I].Input);
  if (Failed.empty()) return 0;
  if (!S.OutputDir.empty()) {
    std::string Names;
    for (const std::string& F : Failed) Names += (Names.empty() ? "" : ", ") + F;
    Reporter.Line("kvdib: " + std::to_string(Failed.size()) + " of " + std::to_string(Jobs.size()) +
                  " files failed: " + Names);
  }
  return 1;
}

}  // namespace kvcli

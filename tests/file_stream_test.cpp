// The file stream: small reads served from its buffer and large ones straight into the
// caller's memory must give the bytes of the file wherever they start and end, after
// seeks both ways, up to the end and not beyond it; writes of any size land in order.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/Exceptions.h"
#include "platform/streams/Stream.h"
#include "tests/KvTestSupport.h"

namespace kv {
namespace {

using test::ExpectThrowMessage;

std::string temp_file(const std::string& Name) {
  return (std::filesystem::temp_directory_path() / ("kvdib-" + std::to_string(getpid()) + "-" + Name))
      .string();
}

std::vector<uint8_t> pattern(size_t Size) {
  std::vector<uint8_t> P(Size);
  for (size_t I = 0; I < Size; ++I) P[I] = static_cast<uint8_t>(I * 7 + (I >> 8));
  return P;
}

constexpr int64_t kBuf = TFileStream::kBufferSize;

TEST(FileStream, WritesOfEverySizeLandInOrder) {
  const std::string Path = temp_file("write.bin");
  const std::vector<uint8_t> Want = pattern(static_cast<size_t>(5 * kBuf + 123));
  {
    TFileStream S(Path, TFileStream::Create);
    // 1 byte, a buffer's worth and more, then the rest.
    const int64_t Pieces[] = {1, 14, kBuf, 3 * kBuf + 17};
    int64_t At = 0;
    for (int64_t N : Pieces) {
      S.WriteBuffer(Want.data() + At, N);
      At += N;
      EXPECT_EQ(S.Position(), At);
      EXPECT_EQ(S.Size(), At);
    }
    S.WriteBuffer(Want.data() + At, static_cast<int64_t>(Want.size()) - At);
    S.Flush();
  }
  TFileStream R(Path, TFileStream::OpenRead);
  std::vector<uint8_t> Got(Want.size());
  R.ReadBuffer(Got.data(), static_cast<int64_t>(Got.size()));
  EXPECT_EQ(Got, Want);
  std::filesystem::remove(Path);
}

TEST(FileStream, ReadsOfEveryShapeGiveTheFilesBytes) {
  const std::string Path = temp_file("read.bin");
  const std::vector<uint8_t> Data = pattern(static_cast<size_t>(6 * kBuf + 5));
  {
    TFileStream S(Path, TFileStream::Create);
    S.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
  }
  const int64_t Size = static_cast<int64_t>(Data.size());
  // (position, count) pairs: inside the buffer, across its end, large from inside it,
  // large from a fresh position, backwards, and up to the very end.
  const std::pair<int64_t, int64_t> Reads[] = {
      {0, 14},       {14, 40}, {54, kBuf - 60}, {kBuf - 6, 12},  {kBuf + 6, 3 * kBuf}, {10, 2 * kBuf + 1},
      {5 * kBuf, 3}, {3, 1},   {Size - 7, 7},   {2 * kBuf, kBuf}};
  TFileStream S(Path, TFileStream::OpenRead);
  EXPECT_EQ(S.Size(), Size);
  int64_t Pos = 0;
  for (const auto& [At, Count] : Reads) {
    SCOPED_TRACE("at " + std::to_string(At) + " count " + std::to_string(Count));
    if (At != Pos) S.SetPosition(At);
    std::vector<uint8_t> Got(static_cast<size_t>(Count));
    S.ReadBuffer(Got.data(), Count);
    EXPECT_TRUE(std::equal(Got.begin(), Got.end(), Data.begin() + At));
    Pos = At + Count;
    EXPECT_EQ(S.Position(), Pos);
    EXPECT_EQ(S.Remaining(), Size - Pos);
  }
  // A read past the end gives what there is, and an exact one fails.
  S.SetPosition(Size - 3);
  std::vector<uint8_t> Tail(2 * kBuf);
  EXPECT_EQ(S.Read(Tail.data(), 2 * kBuf), 3);
  EXPECT_EQ(S.Read(Tail.data(), 1), 0);
  S.SetPosition(Size - 3);
  ExpectThrowMessage<EStreamError>([&] { S.ReadBuffer(Tail.data(), 4); }, "Stream read error");
  ExpectThrowMessage<EStreamError>([&] { S.SetPosition(-1); }, "Stream seek error");
  std::filesystem::remove(Path);
}

TEST(FileStream, MissingFilesAreNamed) {
  const std::string Path = temp_file("missing/none.bin");
  ExpectThrowMessage<EStreamError>([&] { TFileStream S(Path, TFileStream::OpenRead); },
                                   "Cannot open file " + Path);
  ExpectThrowMessage<EStreamError>([&] { TFileStream S(Path, TFileStream::Create); },
                                   "Cannot create file " + Path);
}

}  // namespace
}  // namespace kv

// Throughput of the recovery pieces' kernel on 1 MiB buffers, natively:
// MultiplyAdd with coefficient 1 (a plain XOR) and with a general one, each
// implementation on its own; then the split's pattern (each piece added
// into R recovery windows in one pass) with each implementation, and the
// set-up costs of a decode.
//   erasure_bench [SECONDS]   (each figure timed for about that long, default 0.5)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "format/erasure_code.h"

namespace {

using Clock = std::chrono::steady_clock;
using morsela::MultiplyAdd;

constexpr std::size_t kBlock = 1 << 20;
double seconds = 0.5;

// Runs `work` (which handles `bytes` bytes a call) for about `seconds`, in
// five rounds, and prints the best round's rate.
template <typename Work>
void Rate(const char* what, std::size_t bytes, Work work) {
  double best = 0;
  for (int round = 0; round < 5; ++round) {
    std::size_t calls = 0;
    const auto start = Clock::now();
    double elapsed = 0;
    do {
      work();
      ++calls;
      elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < seconds / 5);
    if (calls * bytes / elapsed > best) best = calls * bytes / elapsed;
  }
  std::printf("  %-46s %8.0f MB/s\n", what, best / 1e6);
}

template <typename Work>
void Time(const char* what, Work work) {
  std::size_t calls = 0;
  const auto start = Clock::now();
  double elapsed = 0;
  do {
    work();
    ++calls;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  } while (elapsed < seconds);
  std::printf("  %-46s %8.2f us\n", what, elapsed / calls * 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) seconds = std::atof(argv[1]);
  std::mt19937 random(1);
  std::vector<unsigned char> in(kBlock), acc(kBlock);
  for (auto& b : in) b = static_cast<unsigned char>(random());
  const std::uint16_t general = morsela::RecoveryCoefficient(3, 100);
  const char* has[] = {"absent", "present"};
  std::printf("MultiplyAdd on 1 MiB buffers (SSSE3 %s, AVX2 %s, GFNI %s)\n", has[morsela::HasSsse3()],
              has[morsela::HasAvx2()], has[morsela::HasGfni()]);
  Rate("coefficient 1", kBlock, [&] { MultiplyAdd(1, in.data(), acc.data(), kBlock); });
  Rate("general coefficient", kBlock, [&] { MultiplyAdd(general, in.data(), acc.data(), kBlock); });
  Rate("general coefficient, scalar", kBlock,
       [&] { morsela::MultiplyAddScalar(general, in.data(), acc.data(), kBlock); });
  if (morsela::HasSsse3()) {
    Rate("general coefficient, SSSE3", kBlock,
         [&] { morsela::MultiplyAddSsse3(general, in.data(), acc.data(), kBlock); });
  }
  if (morsela::HasAvx2()) {
    Rate("general coefficient, AVX2", kBlock,
         [&] { morsela::MultiplyAddAvx2(general, in.data(), acc.data(), kBlock); });
  }
  if (morsela::HasGfni()) {
    Rate("general coefficient, GFNI", kBlock,
         [&] { morsela::MultiplyAddGfni(general, in.data(), acc.data(), kBlock); });
  }
  Rate("general coefficient, odd addresses", kBlock - 2,
       [&] { MultiplyAdd(general, in.data() + 1, acc.data() + 3, kBlock - 2); });
  // The split's pattern: each piece of 1,000,000 bytes (one block) summed
  // into R recovery windows of that size in one pass, with each
  // implementation that this processor has.
  using Many = void (*)(const std::uint16_t*, std::size_t, const void*, void* const*, std::size_t);
  std::vector<std::pair<const char*, Many>> kernels = {{"scalar", morsela::MultiplyAddManyScalar}};
  if (morsela::HasSsse3()) kernels.emplace_back("SSSE3", morsela::MultiplyAddManySsse3);
  if (morsela::HasAvx2()) kernels.emplace_back("AVX2", morsela::MultiplyAddManyAvx2);
  if (morsela::HasGfni()) kernels.emplace_back("GFNI", morsela::MultiplyAddManyGfni);
  constexpr std::size_t kPiece = 1000000;
  for (std::uint32_t recovery : {2u, 4u, 8u}) {
    std::vector<std::vector<unsigned char>> parity(recovery, std::vector<unsigned char>(kPiece));
    std::vector<void*> outputs;
    for (auto& p : parity) outputs.push_back(p.data());
    for (const auto& [name, kernel] : kernels) {
      std::uint32_t piece = 0;
      std::vector<std::uint16_t> coefficients(recovery);
      char what[64];
      std::snprintf(what, sizeof what, "split pattern, R = %u, %s (bytes of data)", unsigned(recovery), name);
      Rate(what, kPiece, [&] {
        for (std::uint32_t j = 0; j < recovery; ++j) coefficients[j] = morsela::RecoveryCoefficient(j, piece);
        kernel(coefficients.data(), recovery, in.data(), outputs.data(), kPiece);
        piece = (piece + 1) % 1000;
      });
    }
    // A row's blocks at once: 2 and 4 pieces' (the same bytes here) into
    // the windows in one pass.
    for (std::size_t inputs = 2; morsela::HasGfni() && inputs <= morsela::kMostInputs; inputs *= 2) {
      std::vector<std::uint16_t> coefficients(recovery * inputs);
      for (std::size_t k = 0; k < coefficients.size(); ++k)
        coefficients[k] = morsela::RecoveryCoefficient(std::uint32_t(k % recovery), std::uint32_t(k / recovery));
      const void* ins[morsela::kMostInputs] = {in.data(), in.data(), in.data(), in.data()};
      char what[64];
      std::snprintf(what, sizeof what, "split pattern, R = %u, GFNI, %zu pieces at once", unsigned(recovery), inputs);
      Rate(what, kPiece * inputs,
           [&] { morsela::MultiplyAddSeveral(coefficients.data(), inputs, recovery, ins, outputs.data(), kPiece); });
    }
  }
  std::printf("Set-up\n");
  std::uint32_t i = 0;
  Time("RecoveryCoefficient", [&] { morsela::RecoveryCoefficient(7, i++ % 60000); });
  for (std::uint32_t e : {8u, 64u, 256u}) {
    std::vector<std::uint32_t> lost, used;
    for (std::uint32_t k = 0; k < e; ++k) {
      lost.push_back(k * 3);
      used.push_back(k);
    }
    char what[64];
    std::snprintf(what, sizeof what, "DecodeMatrix, %u lost pieces", unsigned(e));
    Time(what, [&] { morsela::DecodeMatrix(lost, used); });
  }
}

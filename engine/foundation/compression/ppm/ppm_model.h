// The PPM model: prediction by partial matching, variant G of the public-domain PPMd coder.
//
// Contexts of order 0 (all 256 symbols) up to the model order predict the next byte. A byte is
// coded in the longest context that holds it; every context on the way that does not is left
// with an escape, and the symbols already seen there are masked out below. Contexts with one
// symbol ("binary" contexts) code hit or escape with adaptive probabilities (BinSumm), escapes
// from larger contexts take their frequency from secondary escape estimation (the SEE table).
// After each byte the model adds the byte to the contexts it escaped from and creates the
// longer contexts it now needs. When the model memory is exhausted the model starts over
// empty. The end of the data is the escape out of every context, down to the order-0 one.
//
// Memory layout in the sub-allocator (offsets, native byte order, never stored anywhere):
//
//   Context (one 12-byte unit)        State (6 bytes; two to a unit)
//   offset size                       offset size
//   0      2    symbol count          0      1    symbol
//   2      2    frequency total       1      1    frequency
//   4      4    ref to State[]        2      4    ref to the successor context
//   8      4    ref to the suffix
//
// A context of one symbol keeps its State inside itself at offset 2 (over the total and the
// table reference). A context of 0 symbols is a placeholder for a context not yet built.
//
// Not safe for concurrent use; a model borrows its sub-allocator for one coding run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/foundation/compression/ppm/ppm_range_coder.h"
#include "engine/foundation/compression/ppm/ppm_sub_allocator.h"

namespace qdx::ppm {

inline constexpr int kMinOrder = 2;
inline constexpr int kMaxOrder = 16;

// Thrown inside the model when a stream leaves it no sound way on; never escapes the coder's
// buffer routines.
struct PpmDamagedData {};

class PpmModel {
 public:
  explicit PpmModel(PpmSubAllocator& memory);
  PpmModel(const PpmModel&) = delete;
  PpmModel& operator=(const PpmModel&) = delete;

  // Codes `input` and then the end mark. Requires: kMinOrder <= maxOrder <= kMaxOrder.
  void Encode(std::span<const uint8_t> input, int maxOrder, PpmRangeEncoder& coder);
  // Decodes up to the end mark into `output`. False when the stream is damaged or would
  // decode to more than `limit` bytes.
  bool Decode(PpmRangeDecoder& coder, int maxOrder, size_t limit, std::vector<uint8_t>& output);

  // How often the last run started over because the model memory was exhausted.
  int RestartCount() const { return restartCount_; }

 private:
  // Secondary escape estimation: an adaptive escape frequency for a class of contexts.
  struct See2Context {
    uint16_t summ;
    uint8_t shift;
    uint8_t count;
    void Init(int initValue);
    unsigned Mean();
    void Update();
  };
  struct State {
    uint8_t symbol;
    uint8_t freq;
    PpmRef successor;
  };

  // Context fields.
  unsigned NumStats(PpmRef c) const { return mem_.Load16(c); }
  void SetNumStats(PpmRef c, unsigned n) { mem_.Store16(c, static_cast<uint16_t>(n)); }
  unsigned SummFreq(PpmRef c) const { return mem_.Load16(c + 2); }
  void SetSummFreq(PpmRef c, unsigned f) { mem_.Store16(c + 2, static_cast<uint16_t>(f)); }
  PpmRef Stats(PpmRef c) const { return mem_.Load32(c + 4); }
  void SetStats(PpmRef c, PpmRef s) { mem_.Store32(c + 4, s); }
  PpmRef Suffix(PpmRef c) const { return mem_.Load32(c + 8); }
  void SetSuffix(PpmRef c, PpmRef s) { mem_.Store32(c + 8, s); }
  static PpmRef OneState(PpmRef c) { return c + 2; }

  // State fields.
  uint8_t Symbol(PpmRef s) const { return mem_.Load8(s); }
  void SetSymbol(PpmRef s, unsigned v) { mem_.Store8(s, static_cast<uint8_t>(v)); }
  uint8_t Freq(PpmRef s) const { return mem_.Load8(s + 1); }
  void SetFreq(PpmRef s, unsigned v) { mem_.Store8(s + 1, static_cast<uint8_t>(v)); }
  PpmRef Successor(PpmRef s) const { return mem_.Load32(s + 2); }
  void SetSuccessor(PpmRef s, PpmRef c) { mem_.Store32(s + 2, c); }
  State LoadState(PpmRef s) const;
  void StoreState(PpmRef s, const State& state);
  void CopyState(PpmRef to, PpmRef from);
  void SwapStates(PpmRef a, PpmRef b);
  // The state of `symbol` in context `c`, which must hold it.
  PpmRef FindState(PpmRef c, unsigned symbol) const;

  void Restart();
  void ClearMask();
  void UpdateModel();
  bool MakeRoot(unsigned skipCount, PpmRef suffixState);
  void Rescale(PpmRef c);

  uint16_t& BinSummFor(PpmRef c);
  void CodeBinSymbol(PpmRef c, bool hit);
  void EncodeSymbol1(PpmRef c, int symbol);
  void DecodeSymbol1(PpmRef c, uint32_t count);
  void Update1(PpmRef c, PpmRef s);
  See2Context* MakeEscFreq2(PpmRef c, int diff);
  void EncodeSymbol2(PpmRef c, int symbol);
  void DecodeSymbol2(PpmRef c, PpmRangeDecoder& coder);
  void Update2(PpmRef c, PpmRef s);
  // Steps down to the next suffix that still has unmasked symbols; false past the root.
  bool NextEscapeContext();
  // After a byte: the next context, updating the model when needed.
  void AfterSymbol();

  PpmSubAllocator& mem_;
  int maxOrder_ = kMinOrder;
  PpmRef minContext_ = 0;
  PpmRef medContext_ = 0;
  PpmRef maxContext_ = 0;
  PpmRef foundState_ = 0;
  int numMasked_ = 0;
  int initEsc_ = 0;
  int orderFall_ = 0;
  int restartCount_ = 0;
  uint8_t escCount_ = 0;
  uint8_t prevSuccess_ = 0;
  // The symbol interval of the last coding step.
  uint32_t lowCount_ = 0;
  uint32_t highCount_ = 0;
  uint32_t scale_ = 0;
  uint8_t charMask_[256] = {};
  uint8_t ns2Indx_[256];
  uint8_t ns2BSIndx_[256];
  uint16_t binSumm_[128][16];
  See2Context see2Cont_[44][8] = {};
};

}  // namespace qdx::ppm

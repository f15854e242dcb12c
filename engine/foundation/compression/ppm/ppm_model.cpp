#include "engine/foundation/compression/ppm/ppm_model.h"

#include <cassert>
#include <cstring>

namespace qdx::ppm {
namespace {

constexpr uint32_t kStateSize = 6;
constexpr int kIntBits = 7;
constexpr int kPeriodBits = 7;
constexpr int kMaxFreq = 124;
constexpr int kInterval = 1 << kIntBits;
constexpr int kBinScale = kInterval << kPeriodBits;
constexpr int kBinTotalBits = kIntBits + kPeriodBits;

// Initial hit estimates of binary contexts (subtracted from the scale, divided by the symbol's
// frequency + 1), by the symbol-count class of the suffix and whether the last symbol hit.
constexpr uint16_t kInitBinEsc[16] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3, 0x5FFB, 0x5545,
                                      0x63D1, 0x5D9D, 0x64A1, 0x5ABC, 0x6632, 0x6051,
                                      0x68F6, 0x549B, 0x6BCA, 0x3AB0};
// The escape count a binary context starts with when it gains a second symbol, by its hit
// estimate (BinSumm >> 10) at its last escape.
constexpr uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};

// The rounded mean of a binary escape estimate over its adaptation period.
constexpr unsigned BinMean(unsigned summ) {
  return (summ + (1u << (kPeriodBits - 2))) >> kPeriodBits;
}

}  // namespace

void PpmModel::See2Context::Init(int initValue) {
  shift = kPeriodBits - 4;
  summ = static_cast<uint16_t>(initValue << shift);
  count = 3;
}

unsigned PpmModel::See2Context::Mean() {
  unsigned mean = summ >> shift;
  summ = static_cast<uint16_t>(summ - mean);
  mean &= 0x3FF;
  return mean + (mean == 0);
}

void PpmModel::See2Context::Update() {
  if (shift < kPeriodBits && --count == 0) {
    summ = static_cast<uint16_t>(summ + summ);
    count = static_cast<uint8_t>(3 << shift++);
  }
}

PpmModel::PpmModel(PpmSubAllocator& memory) : mem_(memory) {
  int i = 0;
  for (; i < 6; ++i) ns2BSIndx_[i] = static_cast<uint8_t>(2 * i);
  for (; i < 50; ++i) ns2BSIndx_[i] = 12;
  for (; i < 256; ++i) ns2BSIndx_[i] = 14;
  for (i = 0; i < 4; ++i) ns2Indx_[i] = static_cast<uint8_t>(i);
  for (; i < 4 + 8; ++i) ns2Indx_[i] = static_cast<uint8_t>(4 + ((i - 4) >> 1));
  for (; i < 4 + 8 + 32; ++i) ns2Indx_[i] = static_cast<uint8_t>(4 + 4 + ((i - 4 - 8) >> 2));
  for (; i < 256; ++i) ns2Indx_[i] = static_cast<uint8_t>(4 + 4 + 8 + ((i - 4 - 8 - 32) >> 3));
}

PpmModel::State PpmModel::LoadState(PpmRef s) const {
  return {Symbol(s), Freq(s), Successor(s)};
}

void PpmModel::StoreState(PpmRef s, const State& state) {
  SetSymbol(s, state.symbol);
  SetFreq(s, state.freq);
  SetSuccessor(s, state.successor);
}

void PpmModel::CopyState(PpmRef to, PpmRef from) {
  std::memmove(mem_.At(to), mem_.At(from), kStateSize);
}

void PpmModel::SwapStates(PpmRef a, PpmRef b) {
  uint8_t tmp[kStateSize];
  std::memcpy(tmp, mem_.At(a), kStateSize);
  std::memcpy(mem_.At(a), mem_.At(b), kStateSize);
  std::memcpy(mem_.At(b), tmp, kStateSize);
}

PpmRef PpmModel::FindState(PpmRef c, unsigned symbol) const {
  if (NumStats(c) == 1) return OneState(c);
  PpmRef s = Stats(c);
  while (Symbol(s) != symbol) s += kStateSize;
  return s;
}

// The start state: the order-0 context with all 256 symbols at frequency 1, and below it a
// chain of one-symbol contexts (symbol 0) up to the model order, the last a placeholder.
void PpmModel::Restart() {
  mem_.Reset();
  PpmRef context = mem_.AllocContext();
  SetNumStats(context, 256);
  SetSummFreq(context, 256 + 1);
  SetSuffix(context, 0);
  const PpmRef stats = mem_.AllocUnits(256 / 2);
  SetStats(context, stats);
  for (unsigned i = 0; i < 256; ++i) StoreState(stats + kStateSize * i, {uint8_t(i), 1, 0});
  prevSuccess_ = 0;
  orderFall_ = 1;
  PpmRef state = stats;
  for (int order = 1;; ++order) {
    const PpmRef child = mem_.AllocContext();
    SetNumStats(child, 1);
    StoreState(OneState(child), {0, 0, 0});
    SetSuffix(child, context);
    SetSuccessor(state, child);
    context = child;
    if (order == maxOrder_) break;
    state = OneState(context);
    SetSymbol(state, 0);
    SetFreq(state, 1);
  }
  SetNumStats(context, 0);
  maxContext_ = context;
  medContext_ = minContext_ = Suffix(context);

  for (int i = 0; i < 128; ++i)
    for (int k = 0; k < 16; ++k)
      binSumm_[i][k] = static_cast<uint16_t>(kBinScale - kInitBinEsc[k] / (i + 2));
  for (int i = 0; i < 43; ++i)
    for (See2Context& see : see2Cont_[i]) see.Init(4 * i + 10);
  // The class of the order-0 context, which codes its escapes with frequency 1.
  see2Cont_[43][0].shift = kPeriodBits;
  ClearMask();
}

void PpmModel::ClearMask() {
  escCount_ = 1;
  std::memset(charMask_, 0, sizeof charMask_);
}

// Halves the frequencies of context `c` (the found state first) and drops the states that
// fall to 0.
void PpmModel::Rescale(PpmRef c) {
  const unsigned oldNumStats = NumStats(c);
  const PpmRef stats = Stats(c);
  PpmRef p = foundState_;
  for (; p != stats; p -= kStateSize) SwapStates(p, p - kStateSize);
  SetFreq(stats, Freq(stats) + 4);
  unsigned summ = static_cast<uint16_t>(SummFreq(c) + 4);
  int escFreq = static_cast<int>(summ) - Freq(p);
  const int adder = orderFall_ != 0;
  SetFreq(p, (Freq(p) + adder) >> 1);
  summ = Freq(p);
  int i = static_cast<int>(oldNumStats) - 1;
  do {
    p += kStateSize;
    escFreq -= Freq(p);
    SetFreq(p, (Freq(p) + adder) >> 1);
    summ += Freq(p);
    if (Freq(p) > Freq(p - kStateSize)) {
      const State moved = LoadState(p);
      PpmRef q = p;
      do {
        CopyState(q, q - kStateSize);
        q -= kStateSize;
      } while (q != stats && moved.freq > Freq(q - kStateSize));
      StoreState(q, moved);
    }
  } while (--i);
  unsigned numStats = oldNumStats;
  if (Freq(p) == 0) {
    do {
      ++i;
      p -= kStateSize;
    } while (Freq(p) == 0);
    escFreq += i;
    numStats -= i;
    SetNumStats(c, numStats);
    if (numStats == 1) {
      State only = LoadState(stats);
      do {
        only.freq = static_cast<uint8_t>(only.freq - (only.freq >> 1));
        escFreq >>= 1;
      } while (escFreq > 1);
      mem_.FreeUnits(stats, (oldNumStats + 1) >> 1);
      foundState_ = OneState(c);
      StoreState(foundState_, only);
      return;
    }
  }
  escFreq -= escFreq >> 1;
  SetSummFreq(c, summ + escFreq);
  const int oldUnits = (oldNumStats + 1) >> 1;
  const int newUnits = (numStats + 1) >> 1;
  if (oldUnits != newUnits) SetStats(c, mem_.ShrinkUnits(stats, oldUnits, newUnits));
  foundState_ = Stats(c);
}

// Builds the missing contexts between the context reached after the found state and the
// longest one the model keeps. `skipCount` 0 starts at the current context, 1 at its suffix
// (whose state `suffixState` may already be known), 2 one suffix further.
bool PpmModel::MakeRoot(unsigned skipCount, PpmRef suffixState) {
  PpmRef c = minContext_;
  const PpmRef upBranch = Successor(foundState_);
  const unsigned symbol = Symbol(foundState_);
  PpmRef chain[kMaxOrder + 1];
  int chainLength = 0;
  bool walk = true;
  if (skipCount == 0) {
    chain[chainLength++] = foundState_;
    walk = Suffix(c) != 0;
  } else if (skipCount == 2) {
    c = Suffix(c);
  }
  if (walk) {
    PpmRef s = suffixState;
    if (s != 0) c = Suffix(c);
    for (;;) {
      if (s == 0) {
        c = Suffix(c);
        s = FindState(c, symbol);
      }
      if (Successor(s) != upBranch) {
        c = Successor(s);
        break;
      }
      assert(chainLength <= kMaxOrder);
      chain[chainLength++] = s;
      if (Suffix(c) == 0) break;
      s = 0;
    }
  }

  // The new contexts' one state predicts the symbol that followed, with a frequency taken
  // from its share in the context `c` they grow from.
  const PpmRef upState = OneState(upBranch);
  if (NumStats(c) != 1) {
    const PpmRef s = FindState(c, Symbol(upState));
    const uint32_t cf = Freq(s) - 1u;
    const uint32_t s0 = SummFreq(c) - NumStats(c) - cf;
    SetFreq(upState, 1 + ((2 * cf <= s0) ? (5 * cf > s0) : ((2 * cf + 3 * s0 - 1) / (2 * s0))));
  } else {
    SetFreq(upState, Freq(OneState(c)));
  }
  while (chainLength > 0) {
    const PpmRef child = mem_.AllocContext();
    if (child == 0) return false;
    SetNumStats(child, 1);
    SetSuffix(child, c);
    SetSuccessor(chain[--chainLength], child);
    CopyState(OneState(child), upState);
    c = child;
  }
  if (orderFall_ == 0) {
    SetNumStats(upBranch, 1);
    SetSuffix(upBranch, c);
  }
  return true;
}

void PpmModel::UpdateModel() {
  const State fs = LoadState(foundState_);
  PpmRef suffixState = 0;
  if (fs.freq < kMaxFreq / 4) {
    const PpmRef suffix = Suffix(minContext_);
    if (suffix != 0) {
      if (NumStats(suffix) != 1) {
        suffixState = Stats(suffix);
        if (Symbol(suffixState) != fs.symbol) {
          do suffixState += kStateSize;
          while (Symbol(suffixState) != fs.symbol);
          if (Freq(suffixState) >= Freq(suffixState - kStateSize)) {
            SwapStates(suffixState, suffixState - kStateSize);
            suffixState -= kStateSize;
          }
        }
        if (Freq(suffixState) < 7 * kMaxFreq / 8) {
          SetFreq(suffixState, Freq(suffixState) + 2);
          SetSummFreq(suffix, SummFreq(suffix) + 2);
        }
      } else {
        suffixState = OneState(suffix);
        SetFreq(suffixState, Freq(suffixState) + (Freq(suffixState) < 32));
      }
    }
  }

  PpmRef successor;
  unsigned skipCount = 0;
  if (orderFall_ == 0) {
    if (!MakeRoot(2, 0)) goto restart;
    minContext_ = medContext_ = fs.successor;
    return;
  }
  if (--orderFall_ == 0) {
    successor = fs.successor;
    skipCount = 1;
  } else {
    successor = mem_.AllocContext();
    if (successor == 0) goto restart;
    SetNumStats(successor, 0);
    StoreState(OneState(successor), {0, 0, 0});
  }
  if (NumStats(maxContext_) == 0) {
    SetSymbol(OneState(maxContext_), fs.symbol);
    SetSuccessor(OneState(maxContext_), successor);
  }

  {
    // Add the symbol to every context it escaped from.
    const uint32_t ns = NumStats(minContext_);
    const uint32_t s0 = SummFreq(minContext_) - ns - (fs.freq - 1u);
    for (PpmRef c = medContext_; c != minContext_; c = Suffix(c)) {
      uint32_t ns1 = NumStats(c);
      if (ns1 != 1) {
        if ((ns1 & 1) == 0) {
          const PpmRef stats = mem_.ExpandUnits(Stats(c), ns1 >> 1);
          if (stats == 0) goto restart;
          SetStats(c, stats);
        }
        SetSummFreq(
            c, SummFreq(c) + (2 * ns1 < ns) + 2 * ((4 * ns1 <= ns) & (SummFreq(c) <= 8 * ns1)));
      } else {
        const PpmRef stats = mem_.AllocUnits(1);
        if (stats == 0) goto restart;
        CopyState(stats, OneState(c));
        SetStats(c, stats);
        if (Freq(stats) < kMaxFreq / 4 - 1)
          SetFreq(stats, Freq(stats) * 2);
        else
          SetFreq(stats, kMaxFreq - 4);
        SetSummFreq(c, Freq(stats) + initEsc_ + (ns > 3));
      }
      uint32_t cf = 2 * fs.freq * (SummFreq(c) + 6);
      const uint32_t sf = s0 + SummFreq(c);
      if (cf < 6 * sf) {
        cf = 1 + (cf > sf) + (cf >= 4 * sf);
        SetSummFreq(c, SummFreq(c) + 3);
      } else {
        cf = 4 + (cf >= 9 * sf) + (cf >= 12 * sf) + (cf >= 15 * sf);
        SetSummFreq(c, SummFreq(c) + cf);
      }
      const PpmRef added = Stats(c) + kStateSize * ns1;
      StoreState(added, {fs.symbol, static_cast<uint8_t>(cf), successor});
      SetNumStats(c, ++ns1);
    }
  }

  if (fs.successor != 0) {
    if (NumStats(fs.successor) == 0 && !MakeRoot(skipCount, suffixState)) goto restart;
    minContext_ = Successor(foundState_);
  } else {
    SetSuccessor(foundState_, successor);
    ++orderFall_;
  }
  medContext_ = minContext_;
  maxContext_ = successor;
  return;

restart:
  // The memory is exhausted: forget everything and start over.
  ++restartCount_;
  Restart();
  escCount_ = 0;
}

uint16_t& PpmModel::BinSummFor(PpmRef c) {
  const PpmRef s = OneState(c);
  assert(Freq(s) >= 1 && Freq(s) <= 128);
  return binSumm_[Freq(s) - 1][prevSuccess_ + ns2BSIndx_[NumStats(Suffix(c)) - 1]];
}

void PpmModel::CodeBinSymbol(PpmRef c, bool hit) {
  const PpmRef s = OneState(c);
  uint16_t& bs = BinSummFor(c);
  if (hit) {
    foundState_ = s;
    SetFreq(s, Freq(s) + (Freq(s) < 128));
    lowCount_ = 0;
    highCount_ = bs;
    bs = static_cast<uint16_t>(bs + kInterval - BinMean(bs));
    prevSuccess_ = 1;
  } else {
    lowCount_ = bs;
    bs = static_cast<uint16_t>(bs - BinMean(bs));
    highCount_ = kBinScale;
    initEsc_ = kExpEscape[bs >> 10];
    numMasked_ = 1;
    charMask_[Symbol(s)] = escCount_;
    prevSuccess_ = 0;
    foundState_ = 0;
  }
}

void PpmModel::Update1(PpmRef c, PpmRef s) {
  foundState_ = s;
  SetFreq(s, Freq(s) + 4);
  SetSummFreq(c, SummFreq(c) + 4);
  if (Freq(s) > Freq(s - kStateSize)) {
    SwapStates(s, s - kStateSize);
    foundState_ = s -= kStateSize;
    if (Freq(s) > kMaxFreq) Rescale(c);
  }
}

void PpmModel::EncodeSymbol1(PpmRef c, int symbol) {
  scale_ = SummFreq(c);
  PpmRef s = Stats(c);
  if (Symbol(s) == symbol) {
    highCount_ = Freq(s);
    prevSuccess_ = 2 * highCount_ > scale_;
    foundState_ = s;
    SetFreq(s, Freq(s) + 4);
    SetSummFreq(c, SummFreq(c) + 4);
    if (Freq(s) > kMaxFreq) Rescale(c);
    lowCount_ = 0;
    return;
  }
  prevSuccess_ = 0;
  uint32_t lowCount = Freq(s);
  unsigned i = NumStats(c) - 1;
  while (Symbol(s += kStateSize) != symbol) {
    lowCount += Freq(s);
    if (--i == 0) {
      // Escape: every symbol here is masked in the contexts below.
      lowCount_ = lowCount;
      highCount_ = scale_;
      const unsigned numStats = NumStats(c);
      numMasked_ = static_cast<int>(numStats);
      foundState_ = 0;
      for (unsigned k = 0; k < numStats; ++k, s -= kStateSize) charMask_[Symbol(s)] = escCount_;
      return;
    }
  }
  lowCount_ = lowCount;
  highCount_ = lowCount + Freq(s);
  Update1(c, s);
}

void PpmModel::DecodeSymbol1(PpmRef c, uint32_t count) {
  PpmRef s = Stats(c);
  uint32_t highCount = Freq(s);
  if (count < highCount) {
    highCount_ = highCount;
    prevSuccess_ = 2 * highCount_ > scale_;
    foundState_ = s;
    SetFreq(s, Freq(s) + 4);
    SetSummFreq(c, SummFreq(c) + 4);
    if (Freq(s) > kMaxFreq) Rescale(c);
    lowCount_ = 0;
    return;
  }
  prevSuccess_ = 0;
  unsigned i = NumStats(c) - 1;
  while ((highCount += Freq(s += kStateSize)) <= count) {
    if (--i == 0) {
      lowCount_ = highCount;
      highCount_ = scale_;
      const unsigned numStats = NumStats(c);
      numMasked_ = static_cast<int>(numStats);
      foundState_ = 0;
      for (unsigned k = 0; k < numStats; ++k, s -= kStateSize) charMask_[Symbol(s)] = escCount_;
      return;
    }
  }
  highCount_ = highCount;
  lowCount_ = highCount - Freq(s);
  Update1(c, s);
}

PpmModel::See2Context* PpmModel::MakeEscFreq2(PpmRef c, int diff) {
  const int numStats = static_cast<int>(NumStats(c));
  if (numStats == 256) {
    scale_ = 1;
    return &see2Cont_[43][0];
  }
  See2Context* see =
      &see2Cont_[ns2Indx_[diff - 1]][(diff < static_cast<int>(NumStats(Suffix(c))) - numStats) +
                                     2 * (SummFreq(c) < 11u * numStats) + 4 * (numMasked_ > diff)];
  scale_ = see->Mean();
  return see;
}

void PpmModel::Update2(PpmRef c, PpmRef s) {
  foundState_ = s;
  SetFreq(s, Freq(s) + 4);
  SetSummFreq(c, SummFreq(c) + 4);
  if (Freq(s) > kMaxFreq) Rescale(c);
  ++escCount_;
}

// The two scans below run over every unmasked symbol of a context for every escaped byte,
// so they read the state table through one byte pointer (state i at 6 i: symbol, frequency).

void PpmModel::EncodeSymbol2(PpmRef c, int symbol) {
  int i = static_cast<int>(NumStats(c)) - numMasked_;
  if (i <= 0) throw PpmDamagedData();
  See2Context* see = MakeEscFreq2(c, i);
  const PpmRef stats = Stats(c);
  const uint8_t* s = mem_.At(stats) - kStateSize;
  const uint8_t mark = escCount_;
  uint32_t highCount = 0;
  do {
    do s += kStateSize;
    while (charMask_[s[0]] == mark);
    highCount += s[1];
    if (s[0] == symbol) {
      lowCount_ = highCount - s[1];
      highCount_ = highCount;
      // The total still counts the unmasked symbols after this one.
      for (const uint8_t* rest = s; --i != 0;) {
        do rest += kStateSize;
        while (charMask_[rest[0]] == mark);
        highCount += rest[1];
      }
      scale_ += highCount;
      see->Update();
      Update2(c, stats + static_cast<PpmRef>(s - mem_.At(stats)));
      return;
    }
    charMask_[s[0]] = mark;
  } while (--i);
  lowCount_ = highCount;
  scale_ += highCount;
  highCount_ = scale_;
  see->summ = static_cast<uint16_t>(see->summ + scale_);
  numMasked_ = static_cast<int>(NumStats(c));
}

void PpmModel::DecodeSymbol2(PpmRef c, PpmRangeDecoder& coder) {
  int i = static_cast<int>(NumStats(c)) - numMasked_;
  if (i <= 0) throw PpmDamagedData();
  See2Context* see = MakeEscFreq2(c, i);
  const PpmRef stats = Stats(c);
  const uint8_t* const first = mem_.At(stats);
  const uint8_t mark = escCount_;
  const uint8_t* candidates[256];
  int candidateCount = 0;
  const uint8_t* s = first - kStateSize;
  uint32_t highCount = 0;
  do {
    do s += kStateSize;
    while (charMask_[s[0]] == mark);
    highCount += s[1];
    candidates[candidateCount++] = s;
  } while (--i);
  scale_ += highCount;
  const uint32_t count = coder.GetCount(scale_);
  if (count < highCount) {
    highCount = 0;
    int k = 0;
    s = candidates[0];
    while ((highCount += s[1]) <= count) s = candidates[++k];
    lowCount_ = highCount - s[1];
    highCount_ = highCount;
    see->Update();
    Update2(c, stats + static_cast<PpmRef>(s - first));
    return;
  }
  lowCount_ = highCount;
  highCount_ = scale_;
  for (int k = 0; k < candidateCount; ++k) charMask_[candidates[k][0]] = mark;
  see->summ = static_cast<uint16_t>(see->summ + scale_);
  numMasked_ = static_cast<int>(NumStats(c));
}

bool PpmModel::NextEscapeContext() {
  do {
    ++orderFall_;
    minContext_ = Suffix(minContext_);
    if (minContext_ == 0) return false;
  } while (static_cast<int>(NumStats(minContext_)) == numMasked_);
  return true;
}

void PpmModel::AfterSymbol() {
  if (orderFall_ == 0 && NumStats(Successor(foundState_)) != 0) {
    minContext_ = medContext_ = Successor(foundState_);
  } else {
    UpdateModel();
    if (escCount_ == 0) ClearMask();
  }
}

void PpmModel::Encode(std::span<const uint8_t> input, int maxOrder, PpmRangeEncoder& coder) {
  assert(maxOrder >= kMinOrder && maxOrder <= kMaxOrder);
  maxOrder_ = maxOrder;
  restartCount_ = 0;
  Restart();
  for (size_t position = 0;;) {
    // Past the last byte the symbol matches nothing: the escapes down to the end mark.
    const int symbol = position < input.size() ? input[position++] : -1;
    if (NumStats(minContext_) != 1) {
      EncodeSymbol1(minContext_, symbol);
      coder.Encode(lowCount_, highCount_, scale_);
    } else {
      CodeBinSymbol(minContext_, Symbol(OneState(minContext_)) == symbol);
      coder.EncodeShift(lowCount_, highCount_, kBinTotalBits);
    }
    while (foundState_ == 0) {
      coder.Normalize();
      if (!NextEscapeContext()) {
        coder.Flush();
        return;
      }
      EncodeSymbol2(minContext_, symbol);
      coder.Encode(lowCount_, highCount_, scale_);
    }
    AfterSymbol();
    coder.Normalize();
  }
}

bool PpmModel::Decode(PpmRangeDecoder& coder, int maxOrder, size_t limit,
                      std::vector<uint8_t>& output) {
  assert(maxOrder >= kMinOrder && maxOrder <= kMaxOrder);
  maxOrder_ = maxOrder;
  restartCount_ = 0;
  Restart();
  for (;;) {
    if (NumStats(minContext_) != 1) {
      scale_ = SummFreq(minContext_);
      DecodeSymbol1(minContext_, coder.GetCount(scale_));
    } else {
      const uint16_t bs = BinSummFor(minContext_);
      CodeBinSymbol(minContext_, coder.GetCountShift(kBinTotalBits) < bs);
    }
    coder.Remove(lowCount_, highCount_);
    while (foundState_ == 0) {
      coder.Normalize();
      if (!NextEscapeContext()) return !coder.damaged();
      DecodeSymbol2(minContext_, coder);
      coder.Remove(lowCount_, highCount_);
    }
    if (output.size() >= limit) return false;
    output.push_back(Symbol(foundState_));
    AfterSymbol();
    coder.Normalize();
    if (coder.damaged()) return false;
  }
}

}  // namespace qdx::ppm

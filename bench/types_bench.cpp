// CompareValues on equal types, and the ICU collator call that text comparison stands on.
#include <benchmark/benchmark.h>
#include <unicode/ucol.h>

#include <string>

#include "engine/foundation/little_endian.h"
#include "engine/foundation/platform/locale.h"
#include "engine/foundation/types/compare.h"
#include "engine/foundation/types/encoding.h"

namespace {

using qdx::TQDXDataType;

// Two values of a type, in their encodings, differing only at the end (the costly case).
struct Pair {
  std::string a, b;
  const uint8_t* A() const { return reinterpret_cast<const uint8_t*>(a.data()); }
  const uint8_t* B() const { return reinterpret_cast<const uint8_t*>(b.data()); }
};

template <typename V>
Pair Fixed(V a, V b) {
  Pair p{std::string(sizeof(V), '\0'), std::string(sizeof(V), '\0')};
  qdx::le::Store<V>(reinterpret_cast<uint8_t*>(p.a.data()), a);
  qdx::le::Store<V>(reinterpret_cast<uint8_t*>(p.b.data()), b);
  return p;
}

constexpr const char* kText20A = "Tankstation Amstelve";
constexpr const char* kText20B = "Tankstation AmstelvE";

void Run(benchmark::State& state, const Pair& pair, TQDXDataType type, bool caseInsensitive) {
  const qdx::platform::Locale& locale = qdx::platform::Locale::Get("nl_NL");
  qdx::platform::SetUserDefaultLocale(locale);
  for (auto _ : state) {
    benchmark::DoNotOptimize(qdx::CompareValues(pair.A(), pair.B(), type, type, false, false, -1,
                                                caseInsensitive, locale));
  }
}

void BM_CompareInteger(benchmark::State& state) {
  Run(state, Fixed<int32_t>(123456, 123457), TQDXDataType::Integer, false);
}
BENCHMARK(BM_CompareInteger);

// The floor for a fixed-size type: loading two int32 and ordering them, inline.
void BM_DirectInteger(benchmark::State& state) {
  const Pair pair = Fixed<int32_t>(123456, 123457);
  for (auto _ : state) {
    const uint8_t* a = pair.A();
    const uint8_t* b = pair.B();
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
    const int32_t x = qdx::le::Load<int32_t>(a), y = qdx::le::Load<int32_t>(b);
    benchmark::DoNotOptimize(x < y ? 1 : (y < x ? 2 : 0));
  }
}
BENCHMARK(BM_DirectInteger);

void BM_CompareFloat(benchmark::State& state) {
  Run(state, Fixed<double>(1.5, 1.25), TQDXDataType::Float, false);
}
BENCHMARK(BM_CompareFloat);

void BM_CompareDate(benchmark::State& state) {
  Run(state, Fixed<int32_t>(738594, 738595), TQDXDataType::Date, false);
}
BENCHMARK(BM_CompareDate);

void BM_CompareString20(benchmark::State& state) {
  Run(state, {std::string(kText20A) + '\0', std::string(kText20B) + '\0'}, TQDXDataType::String,
      false);
}
BENCHMARK(BM_CompareString20);

void BM_CompareString20IgnoreCase(benchmark::State& state) {
  Run(state, {std::string(kText20A) + '\0', std::string(kText20B) + '\0'}, TQDXDataType::String,
      true);
}
BENCHMARK(BM_CompareString20IgnoreCase);

void BM_CompareWideString20(benchmark::State& state) {
  const std::u16string a = u"Tankstation Amstelve", b = u"Tankstation AmstelvE";
  Pair pair{std::string(42, '\0'), std::string(42, '\0')};
  qdx::StoreWideText(reinterpret_cast<uint8_t*>(pair.a.data()), a);
  qdx::StoreWideText(reinterpret_cast<uint8_t*>(pair.b.data()), b);
  Run(state, pair, TQDXDataType::WideString, false);
}
BENCHMARK(BM_CompareWideString20);

// The floor: ICU's collator on the same texts already in UTF-16.
void BM_IcuCollator20(benchmark::State& state) {
  const bool ignoreCase = state.range(0) != 0;
  UErrorCode status = U_ZERO_ERROR;
  UCollator* collator = ucol_open("nl_NL", &status);
  ucol_setStrength(collator, ignoreCase ? UCOL_SECONDARY : UCOL_TERTIARY);
  // Configured as the engine's collators are.
  ucol_setAttribute(collator, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
  const std::u16string a = u"Tankstation Amstelve", b = u"Tankstation AmstelvE";
  for (auto _ : state) {
    benchmark::DoNotOptimize(ucol_strcoll(collator, reinterpret_cast<const UChar*>(a.data()), -1,
                                          reinterpret_cast<const UChar*>(b.data()), -1));
  }
  ucol_close(collator);
}
BENCHMARK(BM_IcuCollator20)->Arg(0)->Arg(1);

}  // namespace

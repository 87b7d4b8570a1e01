// Parsing and sorting generated UNIX listings of 10,000 to 1,000,000 lines:
// the time of one parse + sort (column 0, as after every listing) and the
// memory the rows and tree nodes cost.
//
// Counters:
//   time_per_row   time of parse + sort per row (flat when growth is linear)
//   model_B_row    bytes held per row afterwards: rows, texts, type table
//                  and tree nodes, as the allocator counts them
//   peak_B_row     the most held at once while parsing and sorting
//   text_B_row     the listing text itself, for comparison (owned by the
//                  caller, not counted above)

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "client/engine/ftp_conn.h"
#include "client/listing/generic_parser.h"
#include "client/listing/host_tree.h"
#include "client/listing/row_sort.h"

// ---------------------------------------------------------------------------
// Counting every allocation of the process (operator new and delete).
// ---------------------------------------------------------------------------

namespace {
std::atomic<int64_t> gLive{0};
std::atomic<int64_t> gPeak{0};

void Note(int64_t delta) {
  const int64_t now = gLive.fetch_add(delta, std::memory_order_relaxed) + delta;
  int64_t peak = gPeak.load(std::memory_order_relaxed);
  while (now > peak && !gPeak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
}

void* Allocate(size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  Note(static_cast<int64_t>(malloc_usable_size(p)));
  return p;
}

void Release(void* p) {
  if (!p) return;
  Note(-static_cast<int64_t>(malloc_usable_size(p)));
  std::free(p);
}
}  // namespace

void* operator new(size_t n) { return Allocate(n); }
void* operator new[](size_t n) { return Allocate(n); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }

namespace {

using namespace tarn::listing;

// A UNIX listing of `lines` entries in no particular order: one directory
// in ten, one link in a hundred, a few names with blanks, sizes from bytes
// to gigabytes, recent times and older years.
std::string MakeListing(size_t lines) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  static const char* const kWords[] = {"report", "data", "image", "backup", "notes",
                                       "Archive", "build", "README", "photo", "log"};
  std::string text;
  text.reserve(lines * 72);
  text += "total " + std::to_string(lines * 4) + "\r\n";
  uint64_t seed = 0x9E3779B97F4A7C15ull;
  char line[256];
  for (size_t i = 0; i < lines; ++i) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    const uint32_t r = static_cast<uint32_t>(seed >> 33);
    const char* word = kWords[r % 10];
    const char* month = kMonths[(r >> 4) % 12];
    const int day = 1 + (r >> 8) % 28;
    char when[16];
    if (r & 0x100000)
      std::snprintf(when, sizeof when, "%02u:%02u", (r >> 12) % 24, (r >> 17) % 60);
    else
      std::snprintf(when, sizeof when, " %4u", 1995 + (r >> 12) % 30);
    const uint64_t size = (uint64_t{r} * 2654435761u) >> (r % 40);
    int n;
    if (i % 10 == 3) {
      n = std::snprintf(line, sizeof line,
                        "drwxr-xr-x    2 1001     1001         4096 %s %2d %5s %s_dir_%07u\r\n",
                        month, day, when, word, static_cast<unsigned>(r % 10000000));
    } else if (i % 100 == 7) {
      n = std::snprintf(line, sizeof line,
                        "lrwxrwxrwx    1 0        0              11 %s %2d %5s %s_%zu -> ../%s\r\n",
                        month, day, when, word, i, word);
    } else {
      n = std::snprintf(line, sizeof line,
                        "-rw-r--r--    1 1001     1001 %12llu %s %2d %5s %s%s%07u.dat\r\n",
                        static_cast<unsigned long long>(size), month, day, when, word,
                        i % 50 == 1 ? " copy " : "_", static_cast<unsigned>(r % 10000000) * 10 +
                                                           static_cast<unsigned>(i % 10));
    }
    text.append(line, static_cast<size_t>(n));
  }
  return text;
}

void BM_ParseAndSortUnix(benchmark::State& state) {
  const size_t lines = static_cast<size_t>(state.range(0));
  const std::string text = MakeListing(lines);
  int64_t modelBytes = 0, peakBytes = 0;
  size_t rows = 0;
  for (auto _ : state) {
    const int64_t base = gLive.load();
    gPeak.store(base);
    HostTree tree;
    const NodeId root = tree.Insert(kNoNode, kInsertRoot, TreeNode{"/"}, "/ (Root)", kIconFolder);
    HostListing listing;
    GenericParseRequest req;
    req.serverType = tarn::SERVER_UNIX;
    req.directory = "/home/user/pub";
    req.now = DateParts{2026, 12, 7, 21, 50, 0};
    req.tree = &tree;
    req.node = root;
    req.addToTree = true;
    ParseGenericListing(text, req, &listing);
    SortRows(&listing, 0, 1, false);
    tree.SortChildren(root);
    benchmark::DoNotOptimize(listing.rows().data());
    state.PauseTiming();
    rows = listing.size();
    modelBytes = gLive.load() - base;
    peakBytes = gPeak.load() - base;
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lines));
  state.SetComplexityN(static_cast<int64_t>(lines));
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["time_per_row"] = benchmark::Counter(
      static_cast<double>(lines), benchmark::Counter::kIsIterationInvariantRate |
                                      benchmark::Counter::kInvert);
  state.counters["model_B_row"] = static_cast<double>(modelBytes) / static_cast<double>(lines);
  state.counters["peak_B_row"] = static_cast<double>(peakBytes) / static_cast<double>(lines);
  state.counters["text_B_row"] = static_cast<double>(text.size()) / static_cast<double>(lines);
}

// The two halves apart: the parse alone, and the sort of parsed rows.
void BM_ParseUnix(benchmark::State& state) {
  const size_t lines = static_cast<size_t>(state.range(0));
  const std::string text = MakeListing(lines);
  for (auto _ : state) {
    HostListing listing;
    GenericParseRequest req;
    req.directory = "/home/user/pub";
    req.now = DateParts{2026, 12, 7, 21, 50, 0};
    ParseGenericListing(text, req, &listing);
    benchmark::DoNotOptimize(listing.rows().data());
  }
  state.counters["time_per_row"] = benchmark::Counter(
      static_cast<double>(lines), benchmark::Counter::kIsIterationInvariantRate |
                                      benchmark::Counter::kInvert);
}

void BM_SortByName(benchmark::State& state) {
  const size_t lines = static_cast<size_t>(state.range(0));
  const std::string text = MakeListing(lines);
  HostListing parsed;
  GenericParseRequest req;
  req.directory = "/home/user/pub";
  ParseGenericListing(text, req, &parsed);
  const std::vector<RemoteEntry> unsorted = parsed.rows();
  for (auto _ : state) {
    state.PauseTiming();
    parsed.mutable_rows() = unsorted;
    state.ResumeTiming();
    SortRows(&parsed, 0, 1, false);
    benchmark::DoNotOptimize(parsed.rows().data());
  }
  state.counters["time_per_row"] = benchmark::Counter(
      static_cast<double>(lines), benchmark::Counter::kIsIterationInvariantRate |
                                      benchmark::Counter::kInvert);
}

BENCHMARK(BM_ParseUnix)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortByName)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_ParseAndSortUnix)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();

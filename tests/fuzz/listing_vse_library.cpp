// The vse library listing parser under fuzz (listing_harness.h).
#include "tests/fuzz/fuzz_target.h"
#include "tests/fuzz/listing_harness.h"

TARN_FUZZ_TARGET(listing_vse_library) {
  return tarn::fuzz::RunListingHarness(tarn::fuzz::ListingDialect::kVseLibrary, data, size);
}

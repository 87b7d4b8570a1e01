// The mvs datasets listing parser under fuzz (listing_harness.h).
#include "tests/fuzz/fuzz_target.h"
#include "tests/fuzz/listing_harness.h"

TARN_FUZZ_TARGET(listing_mvs_datasets) {
  return tarn::fuzz::RunListingHarness(tarn::fuzz::ListingDialect::kMvsDatasets, data, size);
}

#pragma once
// The whole refresh of one feed URL (download, character-set step, parse,
// cleanup) next to what the same document costs at the least: curl of the
// same URL to /dev/null, a process of its own, plus a bare TinyXML parse of
// the body. Iterations alternate which of the two runs first; the reported
// time is the refresh's.
#include <benchmark/benchmark.h>

#include <string>

namespace korvo::bench {

// Runs the benchmark's iterations: a new feed of url each time, refreshed
// with the default settings. Sets the counters "ms" (the refresh),
// "curl_ms", "parse_ms", "ref_ms" (the two together), "x_ref" (the refresh
// over the reference), "items" and "doc_bytes"; skips with the reason when
// a refresh or curl fails. compressed asks curl for gzip, as the plug-in
// does over https.
void refreshBesideCurl(benchmark::State& state, const std::string& url, const std::string& body,
                       bool compressed);

}  // namespace korvo::bench

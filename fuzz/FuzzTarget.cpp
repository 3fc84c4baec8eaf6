// One libFuzzer target; PELLORA_FUZZ_ENTRY names the entry of FuzzEntries.h it runs.

#include "FuzzEntries.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString failure = pellora::fuzzing::PELLORA_FUZZ_ENTRY(data, size);
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "FUZZ FAILURE: %s\n", failure.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}

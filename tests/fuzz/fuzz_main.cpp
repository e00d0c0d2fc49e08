// The libFuzzer entry of one target, chosen when the program is built.
#include "FuzzTargets.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const Fuzz::Function run = [] {
        const Fuzz::Function f = Fuzz::byName(SMS_FUZZ_TARGET);
        if (!f) {
            std::fprintf(stderr, "unknown fuzz target %s\n", SMS_FUZZ_TARGET);
            std::abort();
        }
        return f;
    }();
    run(data, size);
    return 0;
}

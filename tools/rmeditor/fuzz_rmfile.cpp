// Feeds arbitrary bytes to the header and packet parser and to a join of
// the data with itself; any crash, hang or sanitizer report is a fault.
#include "join.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    try {
        auto open = [&](bool) { return rm::memoryInput(data, size); };
        auto out = rm::nullOutput();
        rm::join({{"first", open}, {"second", open}}, *out);
    } catch (const rm::Error &) {
    }
    return 0;
}

// Feeds arbitrary bytes to the header and packet parser and to a join of
// the data with itself; any crash, hang or sanitizer report is a fault.
#include "rmfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    try {
        auto first = rm::memoryInput(data, size);
        auto second = rm::memoryInput(data, size);
        auto out = rm::nullOutput();
        rm::join({{"first", first.get()}, {"second", second.get()}}, *out);
    } catch (const rm::Error &) {
    }
    return 0;
}

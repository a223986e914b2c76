// Joining RealMedia files: one fresh header, every packet in order with all
// its times moved on to where the clips before it end, and a fresh index.
#pragma once

#include "rmfile.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace rm {

struct Source {
    std::string name;  // as the user gave it, for messages
    // Opens the source anew (it is read twice: headers first, then packets);
    // `forPackets` asks for the large buffer. Only one source is open at a time.
    std::function<std::unique_ptr<Input>(bool forPackets)> open;
};

// Called now and then with the bytes of the sources read so far and in all.
using Progress = std::function<void(uint64_t done, uint64_t total)>;

// Why `other`'s streams cannot follow `first`'s in one file, in a few words
// ("stream 1 (video/x-pn-realvideo): RV20 instead of RV30"); empty when they can.
std::string streamDifference(const Header &first, const Header &other);

// Joins the sources into `out`. Throws Error naming the source at fault.
void join(const std::vector<Source> &sources, Output &out, const Progress &progress = {});

} // namespace rm

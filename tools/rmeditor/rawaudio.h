// The old RealAudio file (".ra" + 0xFD, versions 3 and 4): one header, then
// the coded audio as a plain run of bytes. Files made with the same settings
// join by keeping the first header, with its data size grown by the others,
// and putting their data one after the other (whole codec blocks where
// another clip follows).
#pragma once

#include "join.h"

namespace rm {

// Whether the input starts like an old RealAudio file.
bool isOldRealAudio(Input &in);

// Why the joiner would refuse this old RealAudio file even alone (another
// version, a cut-off header or data), in its own words; empty when it takes it.
std::string oldRealAudioRefusal(Input &in, const std::string &name);

// Joins old RealAudio sources into `out`; throws Error naming the source at
// fault (another version, other settings, a cut-off file, a RealMedia file).
void joinOldRealAudio(const std::vector<Source> &sources, Output &out, const Progress &progress);

} // namespace rm

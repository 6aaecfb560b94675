// The serving side's log: one line to stderr per call.
#pragma once

#include <string>

namespace korvalux::service
{

// One write per line keeps lines from several threads whole.
void writeLogLine(std::string line);

} // namespace korvalux::service

// stderr is unbuffered: the line goes out in one write, under the stream's lock.
#include "service/log_line.h"

#include <cstdio>

namespace korvalux::service
{

void writeLogLine(std::string line)
{
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

} // namespace korvalux::service

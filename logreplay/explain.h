// A run of a user's log told in plain words, for support and for the user.
#pragma once

#include "logreplay/log_reader.h"
#include "logreplay/log_to_scenario.h"

#include <string>

namespace logreplay {

std::string Explain(const LogFile& log, const LogRun& run, const Replay& replay,
                    const std::string& source);

} // namespace logreplay

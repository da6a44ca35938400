#pragma once
// "The whole program ends": a port that cannot be used is fatal for the station. Tests
// replace the hook to observe it; callers return right after calling endProgram().

#include <functional>

namespace platform {

void endProgram(int exitCode);
void setEndProgramHook(std::function<void(int)> hook);   // empty restores the real exit

} // namespace platform

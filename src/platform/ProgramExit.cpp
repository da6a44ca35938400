#include "platform/ProgramExit.h"

#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {
std::function<void(int)> &hook()
{
    static std::function<void(int)> h;
    return h;
}
} // namespace

void endProgram(int exitCode)
{
    if (hook()) {
        hook()(exitCode);
        return;
    }
    std::fflush(nullptr);
    std::exit(exitCode);
}

void setEndProgramHook(std::function<void(int)> h)
{
    hook() = std::move(h);
}

} // namespace platform

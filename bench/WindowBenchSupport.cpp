#include "WindowBenchSupport.h"

#include <fstream>

namespace windowbench
{

double nowMs()
{
    return juce::Time::getMillisecondCounterHiRes();
}

long statusKiB (const std::string& field)
{
    std::ifstream status ("/proc/self/status");

    for (std::string line; std::getline (status, line);)
        if (line.rfind (field, 0) == 0)
            return std::stol (line.substr (field.size()));

    return -1;
}

bool pumpUntil (const std::function<bool()>& condition, double timeoutMs, int sliceMs)
{
    const auto deadline = nowMs() + timeoutMs;

    while (! condition())
    {
        if (nowMs() > deadline)
            return condition();

        juce::MessageManager::getInstance()->runDispatchLoopUntil (sliceMs);
    }

    return true;
}

} // namespace windowbench

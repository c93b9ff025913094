#include "session/KORVELSession.h"

#include <mutex>

namespace korvel
{

namespace
{

std::mutex promptLock;
SshPromptFunction promptFunction;

} // namespace

void SetSshPrompt(SshPromptFunction prompt)
{
    std::lock_guard guard(promptLock);
    promptFunction = std::move(prompt);
}

SshPromptFunction CurrentSshPrompt()
{
    std::lock_guard guard(promptLock);
    return promptFunction;
}

} // namespace korvel

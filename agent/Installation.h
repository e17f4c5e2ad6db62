#pragma once

#include <string>

namespace tollbook::agent {

// The installation folder of an agent at `executable`: the agent lives in bin/x64 (or bin/x86) under it.
std::string installationFolderOf(const std::string& executable);

// The path of the running executable, or empty when the system does not tell.
std::string runningExecutable();

// This computer's name.
std::string localHostName();

} // namespace tollbook::agent

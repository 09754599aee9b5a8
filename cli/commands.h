// Subcommands of talmiro-cli. Each cmd_*.cpp file defines one and registers it with a static
// CommandRegistration, so that adding a subcommand touches no other file.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <vector>

namespace talmiro::cli {

// Exit codes shared by all subcommands.
constexpr int ExitOk = 0;
constexpr int ExitInvalid = 1; // some input was invalid
constexpr int ExitUsage = 2;   // usage error, or an input that cannot be opened

// A subcommand adds itself to the application; the returned function runs it and gives the exit code.
using CommandSetup = std::function<void(CLI::App& app, std::function<int()>& run)>;

struct CommandRegistration {
    explicit CommandRegistration(CommandSetup setup);
};

std::vector<CommandSetup>& Commands();

} // namespace talmiro::cli

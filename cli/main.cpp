#include "commands.h"

#include <exception>
#include <iostream>

namespace talmiro::cli {

std::vector<CommandSetup>& Commands() {
    static std::vector<CommandSetup> commands;
    return commands;
}

CommandRegistration::CommandRegistration(CommandSetup setup) {
    Commands().push_back(std::move(setup));
}

} // namespace talmiro::cli

int main(int argc, char** argv) {
    using namespace talmiro::cli;
    CLI::App app{"talmiro-cli: check, inspect and compile UN/EDIFACT interchanges and definitions"};
    app.set_version_flag("--version", std::string("talmiro-cli ") + TALMIRO_VERSION);
    app.require_subcommand(1);
    std::function<int()> run;
    for (auto& setup : Commands())
        setup(app, run);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        return code == 0 ? ExitOk : ExitUsage;
    }
    try {
        return run ? run() : ExitUsage;
    } catch (const std::exception& e) {
        std::cerr << "talmiro-cli: " << e.what() << '\n';
        return ExitInvalid;
    }
}

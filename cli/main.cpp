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
    // The top-level help lists every subcommand with all its options; each subcommand keeps its own --help.
    app.set_help_flag();
    app.set_help_all_flag("-h,--help", "Print this help message and exit");
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

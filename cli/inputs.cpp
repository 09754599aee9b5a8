#include "inputs.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>

namespace talmiro::cli {

void AddReadOptions(CLI::App& command, TReadOptions& options) {
    command
        .add_option(
            "--standards", options.Standards,
            "Base directory of the standards (default: BASEDIR of the first TALMIRO.INI found beside the "
            "executable, in ~/.config/talmiro or in /etc/talmiro)")
        ->check(CLI::ExistingDirectory);
    command.add_option("--format", options.Format, "Output format")
        ->check(CLI::IsMember({"text", "json"}))
        ->default_str("text");
    auto* guideline = command.add_option(
        "--guideline", options.Guideline,
        "Check the messages it fits against this implementation guideline: an installed one by name, a .GDT "
        "table or a .gdf source; its checks run without --strict too");
    command
        .add_flag("--no-guideline", options.NoGuideline,
                  "Choose no guideline by association code or partner file")
        ->excludes(guideline);
}

void TGuidelineSetup::Apply(TValidationOptions& validation) const {
    validation.Guideline = Named;
    validation.Guidelines = Catalogue.get();
}

bool LoadGuidelines(const TReadOptions& options, TGuidelineSetup& setup) {
    const std::string baseDir = MakeCatalogue(options)->BaseDir;
    if (!options.NoGuideline) {
        setup.Catalogue = std::make_unique<TGuidelineCatalogue>(baseDir);
        for (const auto& problem : setup.Catalogue->Problems)
            std::cerr << "talmiro-cli: warning: " << problem << '\n';
    }
    if (options.Guideline.empty()) return true;
    try {
        setup.Named = ResolveGuideline(options.Guideline, baseDir, setup.Catalogue.get());
        return true;
    } catch (const EGuidelineError& e) {
        if (e.Line > 0)
            std::cerr << options.Guideline << ':' << e.Line << ':' << e.Column << ": error: " << e.what()
                      << '\n';
        else
            std::cerr << "talmiro-cli: " << options.Guideline << ": " << e.what() << '\n';
    } catch (const std::exception& e) {
        std::cerr << "talmiro-cli: " << options.Guideline << ": " << e.what() << '\n';
    }
    return false;
}

std::unique_ptr<TStandardsCatalogue> MakeCatalogue(const TReadOptions& options) {
    auto catalogue = std::make_unique<TStandardsCatalogue>();
    if (options.Standards.empty()) {
        catalogue->LoadSettings(FindIniFile(DefaultConfigLocations()));
    } else {
        catalogue->BaseDir = options.Standards;
        catalogue->ScanStandards();
    }
    return catalogue;
}

TInput OpenInput(const std::string& argument, std::string& error) {
    TInput input;
    if (argument == "-") {
        input.Name = "<stdin>";
        // Standard input cannot seek, and the details are read again from their positions.
        auto memory = std::make_unique<TMemoryStream>();
        std::vector<char> buffer(1 << 16);
        size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), stdin)) > 0)
            memory->Write(buffer.data(), n);
        if (std::ferror(stdin)) {
            error = "cannot read standard input";
            return input;
        }
        memory->Seek(0);
        input.Stream = std::move(memory);
        return input;
    }
    input.Name = argument;
    std::error_code ec;
    if (std::filesystem::is_directory(argument, ec)) {
        error = argument + " is a directory";
        return input;
    }
    try {
        input.Stream = std::make_unique<TFileStream>(argument);
    } catch (const std::exception& e) {
        error = e.what();
    }
    return input;
}

TProgress::TProgress(TValidator& validator, TInput& input) : input_(input) {
    constexpr int64_t Threshold = 50 * 1024 * 1024;
    size_ = input.Stream->Size();
    if (size_ <= Threshold || !::isatty(STDERR_FILENO)) return;
    shown_ = true;
    validator.OnProgress = [this](int64_t endPos) {
        if (endPos < next_) return;
        std::fprintf(stderr, "\r%s: %3d%%", input_.Name.c_str(),
                     static_cast<int>(size_ > 0 ? endPos * 100 / size_ : 100));
        next_ = endPos + std::max<int64_t>(size_ / 100, 1);
    };
}

TProgress::~TProgress() {
    if (shown_) std::fprintf(stderr, "\r%*s\r", static_cast<int>(input_.Name.size()) + 8, "");
}

} // namespace talmiro::cli

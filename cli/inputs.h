// What check, dump and show share on the way in: their options, the standards, and the inputs to read.
#pragma once

#include "commands.h"

#include "talmiro/standards.h"
#include "talmiro/streams.h"
#include "talmiro/validation.h"

#include <memory>
#include <string>

namespace talmiro::cli {

// Options of all three subcommands.
struct TReadOptions {
    std::string Standards; // base directory; empty: the one of the TALMIRO.INI found first
    std::string Format = "text";
    std::string Guideline; // --guideline NAME|FILE
    bool NoGuideline = false;
    bool Json() const { return Format == "json"; }
};
void AddReadOptions(CLI::App& command, TReadOptions& options);
std::unique_ptr<TStandardsCatalogue> MakeCatalogue(const TReadOptions& options);

// An opened input: a file, or standard input copied into memory for "-".
struct TInput {
    std::string Name; // as shown in diagnostics
    std::unique_ptr<TStream> Stream;
};
// Empty Stream and the reason in error when the input cannot be opened.
// The guidelines of a reading: the installed ones (for the choice by association code and partner) and the
// one named by --guideline. Loaded once, before any worker starts; read-only afterwards.
struct TGuidelineSetup {
    std::unique_ptr<TGuidelineCatalogue> Catalogue;
    std::shared_ptr<const TGuideline> Named;
    // Fills the validation options: the named guideline, or the installed ones unless --no-guideline.
    void Apply(TValidationOptions& validation) const;
};
// False, with the reason on standard error, when the named guideline cannot be had.
bool LoadGuidelines(const TReadOptions& options, TGuidelineSetup& setup);

TInput OpenInput(const std::string& argument, std::string& error);

// Shows the validation's progress as a percentage on standard error, for inputs above 50 MB when standard
// error is a terminal; the line is cleared again when the object goes.
class TProgress {
public:
    TProgress(TValidator& validator, TInput& input);
    ~TProgress();
    TProgress(const TProgress&) = delete;
    TProgress& operator=(const TProgress&) = delete;

private:
    TInput& input_;
    bool shown_ = false;
    int64_t size_ = 0;
    int64_t next_ = 0;
};

} // namespace talmiro::cli

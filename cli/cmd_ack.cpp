// talmiro-cli ack FILE...: writes the CONTRL acknowledgement of every interchange of each input.
#include "batch.h"
#include "inputs.h"

#include "talmiro/acknowledgement.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <set>
#include <thread>

namespace talmiro::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* Extension = ".contrl";

struct TAckCommandOptions : TReadOptions {
    std::vector<std::string> Files;
    int Syntax = 0;
    std::string Reference;
    std::string DateTime; // YYMMDD:HHMM
    bool Strict = false;
    std::string Output; // -o: one input's acknowledgement, "-" for standard output
    std::string OutDir;
    unsigned Jobs = 0;
};

// One input and where its acknowledgement goes ("-": standard output).
struct TJob {
    std::string Input;
    std::string Output;
};

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string Canonical(const std::string& path) {
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(path, ec);
    return ec ? path : canonical.string();
}

// The inputs with their outputs: a folder stands for its files (acknowledgements written by an earlier run
// left out), each answered by NAME.contrl beside it or, with --out-dir, at the same place below that folder.
std::vector<TJob> PlanJobs(const TAckCommandOptions& options) {
    std::vector<TJob> jobs;
    for (const std::string& argument : options.Files) {
        std::error_code ec;
        const bool folder = argument != "-" && fs::is_directory(argument, ec);
        for (const std::string& file : ExpandInputs({argument})) {
            if (folder && file != argument && EndsWith(file, Extension)) continue;
            TJob job{file, "-"};
            if (!options.Output.empty()) {
                job.Output = options.Output;
            } else if (file != "-") {
                if (options.OutDir.empty()) {
                    job.Output = file + Extension;
                } else {
                    const fs::path relative = folder && file != argument ? fs::relative(file, argument, ec)
                                                                         : fs::path(file).filename();
                    job.Output = (fs::path(options.OutDir) / relative).string() + Extension;
                }
            }
            jobs.push_back(std::move(job));
        }
    }
    return jobs;
}

int AckFile(const TJob& job, const TAckCommandOptions& options, const TAckOptions& ackOptions,
            const std::set<std::string>& inputs, TStandardsCatalogue& catalogue, std::ostream& out,
            std::ostream& err) {
    std::string error;
    TInput input = OpenInput(job.Input, error);
    if (!input.Stream) {
        err << "talmiro-cli: " << error << '\n';
        return ExitUsage;
    }
    std::vector<TAckInterchange> subjects;
    try {
        subjects = ReadForAcknowledgement(*input.Stream, &catalogue, options.Strict);
    } catch (const ENotAnInterchange& e) {
        err << "talmiro-cli: " << input.Name
            << ": not an interchange, no acknowledgement written: " << e.what() << '\n';
        return ExitUsage;
    }
    std::string text;
    size_t rejected = 0, interchangesRejected = 0, messages = 0, messagesRejected = 0;
    for (size_t i = 0; i < subjects.size(); ++i) {
        const TAckInterchange& subject = subjects[i];
        text += AcknowledgementText(subject, ackOptions, i);
        if (!subject.Accepted()) ++rejected;
        if (subject.Rejected) ++interchangesRejected;
        for (const TAckGroup& g : subject.Groups)
            for (const TAckMessage& m : g.Messages) {
                ++messages;
                if (m.Rejected) ++messagesRejected;
            }
    }
    // "acknowledged", "interchange rejected", "1 of 2 messages rejected" or "functional group rejected".
    std::string verdict = "acknowledged";
    if (interchangesRejected > 0)
        verdict = subjects.size() == 1 ? "interchange rejected"
                                       : std::to_string(interchangesRejected) + " of " +
                                             std::to_string(subjects.size()) + " interchanges rejected";
    else if (messagesRejected > 0)
        verdict = std::to_string(messagesRejected) + " of " + std::to_string(messages) + " messages rejected";
    else if (rejected > 0)
        verdict = "functional group rejected";

    std::string shownOutput = "standard output";
    if (job.Output == "-") {
        out << text;
    } else {
        if (inputs.count(Canonical(job.Output)) || SameFile(job.Output, job.Input)) {
            err << "talmiro-cli: " << input.Name << ": " << job.Output
                << " is an input; an acknowledgement never replaces one\n";
            return ExitUsage;
        }
        const fs::path parent = fs::path(job.Output).parent_path();
        std::error_code ec;
        if (!parent.empty()) fs::create_directories(parent, ec);
        TReplacingFile file(job.Output);
        file.Write(text);
        file.Commit();
        shownOutput = job.Output;
    }
    err << input.Name << ": " << verdict << ", CONTRL written to " << shownOutput << '\n';
    return rejected == 0 ? ExitOk : ExitInvalid;
}

int RunAck(const TAckCommandOptions& options) {
    TAckOptions ackOptions;
    ackOptions.SyntaxVersion = options.Syntax;
    ackOptions.Reference = options.Reference;
    if (!options.DateTime.empty()) {
        const size_t colon = options.DateTime.find(':');
        ackOptions.Date = options.DateTime.substr(0, colon);
        ackOptions.Time = colon == std::string::npos ? std::string() : options.DateTime.substr(colon + 1);
        std::string problem = AckDateProblem(ackOptions.Date, ackOptions.Time);
        if (problem.empty() && (ackOptions.Date.empty() || ackOptions.Time.empty()))
            problem = "give both date and time as YYMMDD:HHMM";
        if (!problem.empty()) {
            std::cerr << "talmiro-cli: --date: " << problem << '\n';
            return ExitUsage;
        }
    }
    const std::vector<TJob> jobs = PlanJobs(options);
    if (!options.Output.empty() && jobs.size() != 1) {
        std::cerr << "talmiro-cli: -o takes one input file; use --out-dir for several\n";
        return ExitUsage;
    }
    std::set<std::string> inputs;
    for (const TJob& job : jobs)
        if (job.Input != "-") inputs.insert(Canonical(job.Input));

    std::vector<std::string> keys; // RunInOrder hands out names: each job by its index
    for (size_t i = 0; i < jobs.size(); ++i)
        keys.push_back(std::to_string(i));
    unsigned threads = options.Jobs > 0 ? options.Jobs : std::max(1u, std::thread::hardware_concurrency());
    threads = static_cast<unsigned>(std::min<size_t>(threads, std::max<size_t>(jobs.size(), 1)));
    TBatchCounts counts;
    int exitCode = ExitOk;
    if (threads <= 1) {
        auto catalogue = MakeCatalogue(options);
        for (const TJob& job : jobs) {
            int code;
            try {
                code = AckFile(job, options, ackOptions, inputs, *catalogue, std::cout, std::cerr);
            } catch (const std::exception& e) {
                std::cerr << "talmiro-cli: " << job.Input << ": " << e.what() << '\n';
                code = ExitUsage;
            }
            counts.Add(code);
            exitCode = std::max(exitCode, code);
        }
    } else {
        exitCode = RunInOrder(
            keys, threads,
            [&](const std::string& key, std::ostream& out, std::ostream& err) {
                thread_local std::unique_ptr<TStandardsCatalogue> catalogue;
                if (!catalogue) catalogue = MakeCatalogue(options);
                return AckFile(jobs[std::stoul(key)], options, ackOptions, inputs, *catalogue, out, err);
            },
            counts);
    }
    if (jobs.size() > 1) std::cerr << counts.Summary() << '\n';
    return exitCode;
}

const CommandRegistration registration([](CLI::App& app, std::function<int()>& run) {
    auto options = std::make_shared<TAckCommandOptions>();
    CLI::App* command = app.add_subcommand(
        "ack", "Write the CONTRL acknowledgement (syntax and service report) of interchanges");
    command
        ->add_option("FILE", options->Files,
                     "Interchange files or folders (read recursively, hidden files and earlier *.contrl "
                     "skipped); - reads standard input")
        ->required();
    command
        ->add_option("--syntax", options->Syntax,
                     "Syntax version of the acknowledgement (default: the subject's)")
        ->check(CLI::IsMember({3, 4}));
    command
        ->add_option(
            "--reference", options->Reference,
            "Interchange control reference of the acknowledgement (default: made from date and time)")
        ->check([](const std::string& value) {
            if (value.empty() || value.size() > 14) return std::string("a reference has 1 to 14 characters");
            for (unsigned char c : value)
                if (c < 32) return std::string("a reference has no control characters");
            return std::string();
        });
    command->add_option("--date", options->DateTime,
                        "Date and time of the acknowledgement, YYMMDD:HHMM (default: now, UTC)");
    command->add_flag("--strict", options->Strict, "Reject what the strict checks warn about too");
    command->add_option("-o,--output", options->Output,
                        "The acknowledgement of the one input goes here (- for standard output); default: "
                        "NAME.contrl beside the input");
    command->add_option("--out-dir", options->OutDir,
                        "Write NAME.contrl into this folder (below it as below the input folder)");
    command
        ->add_option("-j,--jobs", options->Jobs,
                     "Files read at the same time (default: the number of cores); the messages keep the "
                     "order of the files")
        ->check(CLI::Range(1u, 1024u));
    command
        ->add_option("--standards", options->Standards,
                     "Base directory of the standards (default: BASEDIR of the first TALMIRO.INI found)")
        ->check(CLI::ExistingDirectory);
    command->callback([options, &run] { run = [options] { return RunAck(*options); }; });
});

} // namespace
} // namespace talmiro::cli

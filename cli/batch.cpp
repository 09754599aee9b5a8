#include "batch.h"

#include "commands.h"

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

namespace talmiro::cli {

namespace fs = std::filesystem;

namespace {

bool Hidden(const fs::path& path) {
    const std::string name = path.filename().string();
    return !name.empty() && name[0] == '.';
}

void AddFolder(const fs::path& folder, std::vector<std::string>& out) {
    std::vector<std::string> files;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    // An unreadable folder stays on the list, so that the check reports it instead of passing over it.
    if (ec) {
        out.push_back(folder.string());
        return;
    }
    for (const fs::recursive_directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        if (Hidden(it->path())) {
            if (it->is_directory(ec)) it.disable_recursion_pending();
            continue;
        }
        if (it->is_regular_file(ec)) files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    // A folder without files stays too: the check then says that it is a folder.
    if (files.empty()) files.push_back(folder.string());
    out.insert(out.end(), files.begin(), files.end());
}

} // namespace

std::vector<std::string> ExpandInputs(const std::vector<std::string>& arguments) {
    std::vector<std::string> files;
    for (const std::string& argument : arguments) {
        std::error_code ec;
        if (argument != "-" && fs::is_directory(argument, ec))
            AddFolder(argument, files);
        else
            files.push_back(argument);
    }
    return files;
}

void TBatchCounts::Add(int exitCode) {
    ++Checked;
    if (exitCode == ExitOk)
        ++Valid;
    else if (exitCode == ExitInvalid)
        ++Invalid;
    else
        ++Unreadable;
}

std::string TBatchCounts::Summary() const {
    return std::to_string(Checked) + " files checked: " + std::to_string(Valid) + " valid, " +
           std::to_string(Invalid) + " invalid, " + std::to_string(Unreadable) + " unreadable";
}

int RunInOrder(const std::vector<std::string>& files, unsigned jobs,
               const std::function<int(const std::string& file, std::ostream& out, std::ostream& err)>& check,
               TBatchCounts& counts) {
    struct TResult {
        int ExitCode = 0;
        std::string Out, Err;
    };
    // Files are handed out in order; a worker waits while it would run too far ahead of the writer.
    const size_t window = static_cast<size_t>(jobs) * 4;
    std::vector<std::optional<TResult>> results(files.size());
    std::mutex mutex;
    std::condition_variable changed;
    size_t next = 0;    // the next file to hand out
    size_t written = 0; // files whose output has been written

    auto worker = [&] {
        for (;;) {
            size_t index;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return next >= files.size() || next < written + window; });
                if (next >= files.size()) return;
                index = next++;
            }
            std::ostringstream out, err;
            TResult result;
            try {
                result.ExitCode = check(files[index], out, err);
            } catch (const std::exception& e) {
                err << "talmiro-cli: " << files[index] << ": " << e.what() << '\n';
                result.ExitCode = ExitInvalid;
            }
            result.Out = out.str();
            result.Err = err.str();
            {
                std::lock_guard lock(mutex);
                results[index] = std::move(result);
            }
            changed.notify_all();
        }
    };
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < jobs; ++i)
        threads.emplace_back(worker);

    int exitCode = ExitOk;
    while (written < files.size()) {
        TResult result;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return results[written].has_value(); });
            result = std::move(*results[written]);
            results[written].reset();
        }
        // As a one-by-one run writes them: a file's diagnostics before its result line.
        std::cerr << result.Err;
        std::cerr.flush();
        std::cout << result.Out;
        std::cout.flush();
        counts.Add(result.ExitCode);
        exitCode = std::max(exitCode, result.ExitCode);
        {
            std::lock_guard lock(mutex);
            ++written;
        }
        changed.notify_all();
    }
    for (std::thread& t : threads)
        t.join();
    return exitCode;
}

} // namespace talmiro::cli

// Checking many files: folders expanded into their files, and files checked on several threads with the
// output of each file kept together and in the order a one-by-one run gives.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace talmiro::cli {

// The inputs named on the command line with every folder replaced by the files below it, recursively and
// in sorted order, hidden files and folders (a name beginning with ".") skipped. Anything else ("-", a
// file, a name that does not exist) stays as it is, for the check to report.
std::vector<std::string> ExpandInputs(const std::vector<std::string>& arguments);

// Files checked, and how each ended (by exit code).
struct TBatchCounts {
    size_t Checked = 0, Valid = 0, Invalid = 0, Unreadable = 0;
    void Add(int exitCode);
    // "N files checked: V valid, I invalid, U unreadable"
    std::string Summary() const;
};

// Runs check(file, out, err) for every file on `jobs` threads. Each file's output is collected and
// written to standard output and standard error when all files before it are written; at most a few
// files per thread are ahead of the one being written, so memory stays bounded by the jobs. Returns
// the largest exit code.
int RunInOrder(const std::vector<std::string>& files, unsigned jobs,
               const std::function<int(const std::string& file, std::ostream& out, std::ostream& err)>& check,
               TBatchCounts& counts);

} // namespace talmiro::cli

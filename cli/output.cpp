#include "output.h"

#include "talmiro/exceptions.h"

#include <cstdio>

namespace talmiro::cli {

TOutput::TOutput(const std::string& target) {
    if (!target.empty() && target != "-") file_ = std::make_unique<TReplacingFile>(target);
}

void TOutput::Write(std::string_view bytes) {
    if (file_) {
        file_->Write(bytes);
        return;
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
        throw EInOutError("Cannot write standard output", 0);
}

void TOutput::Commit() {
    if (file_) {
        file_->Commit();
        return;
    }
    if (std::fflush(stdout) != 0) throw EInOutError("Cannot write standard output", 0);
}

bool CheckNotInput(const std::string& input, const std::string& output, const std::string& advice,
                   std::string& error) {
    if (input == "-" || output.empty() || output == "-" || !SameFile(input, output)) return true;
    error = output + " is the input file" + advice;
    return false;
}

} // namespace talmiro::cli

// Where format, export and import write: standard output, or a file that is replaced only once it is
// complete, so that a failure leaves what was there before.
#pragma once

#include "talmiro/edi_writer.h"

#include <memory>
#include <string>
#include <string_view>

namespace talmiro::cli {

class TOutput {
public:
    // target empty or "-": standard output.
    explicit TOutput(const std::string& target);
    void Write(std::string_view bytes);
    // Completes the file (or flushes standard output); raises when that fails.
    void Commit();

private:
    std::unique_ptr<TReplacingFile> file_;
};

// Refuses an output that is the input file: "OUT is the input; ..." in error, false.
bool CheckNotInput(const std::string& input, const std::string& output, const std::string& advice,
                   std::string& error);

} // namespace talmiro::cli

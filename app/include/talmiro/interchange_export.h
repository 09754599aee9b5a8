// Exporting an interchange as CSV, JSON or XML, and importing it back from JSON or XML. Both front ends
// (talmiro-cli export/import, the viewer's Messages › Export…) call these.
//
// JSON and XML hold the message structure as the tree shows it: envelope segments and messages at the top,
// group repetitions and segments below, each segment's elements by their identifiers with composites
// nesting their components, values as text. The envelope data (the delimiters, whether a service string
// advice was sent, the encoding of the values) come first, so that an import can write the interchange
// back with the same delimiters as it reads along. README describes both layouts.
#pragma once

#include "talmiro/exceptions.h"
#include "talmiro/streams.h"
#include "talmiro/syntax.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace talmiro {

class TStandardsCatalogue;

enum class TExportFormat { Csv, Json, Xml };

struct TExportOptions {
    TExportFormat Format = TExportFormat::Json;
    // JSON and XML: the code name of a coded value and the description of each element beside it. CSV
    // always has its columns for them.
    bool Names = false;
};

// Reads the interchange with the catalogue's tables (as check and the viewer read it) and streams the
// export to sink, with memory that does not grow with the file; progress(done, total) now and then with
// the input bytes read. Raises the reader's exception when the interchange cannot be read: what went to
// sink until then is incomplete and to be thrown away.
void ExportInterchange(TStream& input, TStandardsCatalogue* catalogue, const TExportOptions& options,
                       const std::function<void(std::string_view)>& sink,
                       const std::function<void(int64_t done, int64_t total)>& progress = {});

// An export that cannot be imported; the text says what and where.
class EImportError : public Exception {
public:
    using Exception::Exception;
};

// Writes the interchange of a JSON or XML export (told apart by the first character that is not white
// space) to sink, one segment per line unless oneLine. Reads the input as a stream: memory does not grow
// with the number of segments. Raises EImportError for input that is not an export of this layout.
void ImportInterchange(TStream& input, const std::function<void(std::string_view)>& sink,
                       bool oneLine = false);

} // namespace talmiro

// Interchanges of any content through the validation the viewer and talmiro-cli share: every sequence error
// reported, the strict checks of element values, repeats and envelope counts, the diagnostics located in the
// file and written as text and as JSON by the command-line tool, the tree's segments as JSON. Everything
// ends in a result; nothing raises out of the validation.
#include "fuzz_support.h"

#include "../cli/report.h"

#include "talmiro/validation.h"

#include "talmiro/exceptions.h"
#include "talmiro/message.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace talmiro;
    using namespace talmiro::cli;
    const std::string name = "fuzz.edi";
    TMemoryStream stream(std::string_view(reinterpret_cast<const char*>(data), size));

    TInterchangeReader reader(&fuzzsupport::Catalogue());
    reader.Message().OnReport = [](const std::string&) {};
    TValidationOptions options;
    options.AllErrors = true;
    options.Strict = true;
    TValidator session(reader, stream, options);
    std::string out;
    session.OnMessage = [&](const TMessageInfo& m) {
        out += JsonText(ViewerText(MessageJson(m), session.Utf8));
    };
    session.Run();
    session.Locate();
    for (const TDiagnostic& d : session.Diagnostics) {
        if (d.Location.Offset < 0 || d.Location.Offset > static_cast<int64_t>(size) || d.Location.Line < 1 ||
            d.Location.Column < 1) {
            std::fprintf(stderr, "%s\n", FormatDiagnostic(name, d).c_str());
            std::abort();
        }
        out += FormatDiagnostic(name, d);
        out += JsonText(DiagnosticJson(d));
    }

    const TInterchangeTree& tree = reader.Tree();
    for (size_t i = 0; i < tree.NodeCount(); ++i) {
        try {
            if (auto segment = tree.ReadSegment(static_cast<int32_t>(i), stream))
                out += JsonText(ViewerText(SegmentElementsJson(*segment), session.Utf8));
        } catch (const Exception&) {
            std::abort(); // read once, it reads again
        }
    }
    return 0;
}

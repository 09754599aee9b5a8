// Acknowledgements of interchanges of any content: whatever a file holds, the CONTRL answering each of its
// interchanges reads clean, with the strict checks, against the CONTRL tables we ship, in both syntax
// versions. A file that is no interchange gets no answer; nothing else raises.
#include "fuzz_support.h"

#include "talmiro/acknowledgement.h"
#include "talmiro/compiler.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The service messages' tables, compiled once from their sources into the scratch directory.
talmiro::TStandardsCatalogue& ContrlCatalogue() {
    static talmiro::TStandardsCatalogue catalogue = [] {
        namespace fs = std::filesystem;
        const fs::path base = fuzzsupport::ScratchDir() + "/contrl-standards";
        for (const char* name : {"SERVICE3", "SERVICE4"}) {
            const fs::path from = fs::path(TALMIRO_SERVICE_DIR) / name, to = base / name;
            fs::create_directories(to);
            fs::copy_file(from / (std::string(name) + ".sdf"), to / (std::string(name) + ".sdf"));
            fs::copy_file(from / "CONTRL.mdf", to / "CONTRL.mdf");
            talmiro::TCompilerSDF sdf;
            sdf.SetSourceFile((to / (std::string(name) + ".sdf")).string());
            sdf.Compile();
            talmiro::TCompilerMDF mdf;
            mdf.SetSourceFile((to / "CONTRL.mdf").string());
            mdf.Compile();
        }
        talmiro::TStandardsCatalogue c;
        c.BaseDir = base.string();
        c.ScanStandards();
        if (c.Standards().size() != 2) std::abort();
        return c;
    }();
    return catalogue;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace talmiro;
    fuzzsupport::TChunkedStream stream(data, size, fuzzsupport::WindowFor(size));
    std::vector<TAckInterchange> subjects;
    try {
        subjects = ReadForAcknowledgement(stream, &fuzzsupport::Catalogue(), size % 2 == 1);
    } catch (const ENotAnInterchange&) {
        return 0;
    }
    TAckOptions options;
    options.Date = "240301";
    options.Time = "0815";
    for (size_t i = 0; i < subjects.size(); ++i)
        for (int syntax : {3, 4}) {
            options.SyntaxVersion = syntax;
            const std::string contrl = AcknowledgementText(subjects[i], options, i);
            TInterchangeReader reader(&ContrlCatalogue());
            reader.BuildTree = false;
            TMemoryStream answer(contrl);
            TValidationOptions strict;
            strict.Strict = true;
            strict.AllErrors = true;
            TValidator validator(reader, answer, strict);
            if (!validator.Run() || !validator.Diagnostics.empty()) {
                std::fprintf(stderr, "%s\n", contrl.c_str());
                for (const TDiagnostic& d : validator.Diagnostics)
                    std::fprintf(stderr, "%s: %s\n", d.Code.c_str(), d.Text.c_str());
                std::abort();
            }
        }
    return 0;
}

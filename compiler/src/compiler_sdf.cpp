#include "talmiro/compiler.h"

#include "talmiro/def_stream.h"
#include "talmiro/streams.h"

namespace talmiro {

// Header, a raw four-byte place for the segment count, the segment records, then the count in its place.
void TCompilerSDF::CompileToStream(TStream& stream) {
    try {
        SetActive(true);
        const auto header = MakeTableHeader(SdtFileType, Modifiable);
        stream.Write(header.data(), header.size());
        const int64_t countPos = stream.Position();
        const uint8_t zero[4] = {0, 0, 0, 0};
        stream.Write(zero, sizeof zero);

        int32_t count = 0;
        {
            TDefWriter writer(stream, 1024);
            CompileSegments(writer, count);
            writer.Flush();
        }
        const auto raw = static_cast<uint32_t>(count);
        const uint8_t bytes[4] = {static_cast<uint8_t>(raw), static_cast<uint8_t>(raw >> 8),
                                  static_cast<uint8_t>(raw >> 16), static_cast<uint8_t>(raw >> 24)};
        stream.Seek(countPos);
        stream.Write(bytes, sizeof bytes);
        stream.Seek(stream.Size());
        SetActive(false);
    } catch (...) {
        SetActive(false);
        throw;
    }
}

void TCompilerSDF::Compile() {
    CompileToFile(MakeOutputName("SDT"));
}

} // namespace talmiro

// What check, dump and show share: opening an input, finding the standards, reading an interchange with
// the viewer's reader while collecting errors, warnings and their places in the file, and printing them.
#pragma once

#include "commands.h"

#include "talmiro/interchange_tree.h"
#include "talmiro/standards.h"
#include "talmiro/streams.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace talmiro {
struct TMessageDefRec;
}

namespace talmiro::cli {

// Options of all three subcommands.
struct TReadOptions {
    std::string Standards; // base directory; empty: the one of the TALMIRO.INI found first
    std::string Format = "text";
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
TInput OpenInput(const std::string& argument, std::string& error);

// Whether to show progress: for inputs above 50 MB when standard error is a terminal.
bool WantsProgress(TInput& input);

// A place in the file: the segment's number in file order (from 1, envelope included), its tag and the
// byte offset (from 0) and line and column (from 1) of its first character.
struct TLocation {
    int64_t Segment = 0;
    std::string Tag;
    int64_t Offset = 0;
    int64_t Line = 0;
    int64_t Column = 0;
};

struct TDiagnostic {
    bool Warning = false;
    std::string Code;
    std::string Text;
    std::string GroupPath;  // "SG2/SG3"; empty at the top level of a message or outside one
    int64_t SegmentPos = 0; // where the segment's text (or the control bytes before it) begins
    TLocation Location;
};

struct TMessageInfo {
    std::string Type, Version, Release, Reference;
    int64_t Segments = 0;
};

// Line and column of byte offsets, found by scanning the stream forward; offsets asked in increasing
// order cost one pass over the file.
class TLocator {
public:
    explicit TLocator(TStream& stream) : stream_(stream) {}
    // The location of the segment whose text begins at pos (control bytes before the tag are skipped).
    TLocation At(int64_t pos, int64_t segmentNumber);

private:
    TStream& stream_;
    int64_t scanned_ = 0;   // offsets below this have been counted
    int64_t line_ = 1;      // line of offset scanned_
    int64_t lineStart_ = 0; // offset where that line begins
    bool lastCr_ = false;   // the byte before scanned_ is a carriage return
};

struct TSessionOptions {
    bool AllErrors = false; // report every sequence error of a message through the reader's event
    bool Strict = false;    // element sizes, numeric values, envelope counts and references
    bool Progress = false;  // percentage on standard error
};

// One reading of one input with the reader, collecting what check, dump and show report.
class TReadSession {
public:
    TReadSession(TInterchangeReader& reader, TInput& input, TSessionOptions options);
    ~TReadSession();

    // Reads the interchange; an error of the engine is recorded, not raised. True when it read to UNZ.
    bool Run();
    // Fills the locations of all diagnostics (one more scan of the file up to the last of them).
    void Locate();

    bool Completed = false;
    bool Utf8 = false; // UNB names syntax UNOY: the viewer shows the interchange's texts as UTF-8
    int64_t SegmentCount = 0;
    int64_t MessageCount = 0;
    // Called when a message has been read (or reading stopped inside it); nothing per message is kept,
    // so that memory does not grow with the file.
    std::function<void(const TMessageInfo& Message)> OnMessage;
    std::vector<TDiagnostic> Diagnostics; // in file order once located
    size_t ErrorCount() const;
    size_t WarningCount() const;

private:
    void OnSegment(TEdiSegment& segment);
    void StrictElements(const TEdiComposit& container, const std::string& path, const TEdiSegment& segment);
    void StrictEnvelope(const TEdiSegment& segment);
    void Warn(const std::string& code, const std::string& text, const TEdiSegment& segment);
    void OnSequenceError(const std::string& expect, const std::string& found);
    void MapGroups();
    std::string GroupPath() const;
    int64_t NextSegmentPos() const;

    TInterchangeReader& reader_;
    TInput& input_;
    TSessionOptions options_;
    int64_t lastEnd_ = -1; // terminator of the segment reported last
    int64_t size_ = 0;
    int64_t nextProgress_ = 0;
    bool inMessage_ = false;
    TMessageInfo message_; // the message being read
    // Group nesting, followed through the group events; after a reported sequence error a message sends
    // no further OnDoneGroup, so the table's structure fills in.
    std::vector<int> groups_;
    bool seqErrorInMessage_ = false;
    struct TGroupInfo {
        int Parent = 0;
        const TMessageDefRec* Members = nullptr; // the group's member list in the loaded structure
    };
    std::unordered_map<int, TGroupInfo> groupInfo_;
    // Envelope values kept for the strict checks.
    std::string unbReference_, ungReference_;
    int64_t interchangeMessages_ = 0, fncGroups_ = 0, groupMessages_ = 0;
};

// "FILE:LINE:COLUMN: error: TEXT [segment N, TAG, byte OFFSET]", with the group path when there is one.
std::string FormatDiagnostic(const std::string& fileName, const TDiagnostic& d);
nlohmann::json DiagnosticJson(const TDiagnostic& d);
nlohmann::json LocationJson(const TLocation& l);
nlohmann::json MessageJson(const TMessageInfo& m);
// A segment's elements with their values as read: simple {id, value, description}, composite {id,
// description, elements}; value is null for an element without one.
nlohmann::json ElementsJson(const std::vector<std::unique_ptr<TEdiElement>>& elements);
// One JSON document, on a line of its own.
void PrintJson(nlohmann::json document);
// The JSON text of a value; bytes that are not UTF-8 are taken as Latin-1.
std::string JsonText(nlohmann::json value);
// Texts of an interchange decoded as the viewer shows them: UTF-8 under syntax UNOY (bytes that are not
// UTF-8 taken as Latin-1, so nothing is lost), Latin-1 otherwise.
nlohmann::json ViewerText(nlohmann::json value, bool utf8);

// Reports an input that cannot be opened: a JSON document {file, valid: false, errors: [{code "open"}]} or
// "talmiro-cli: TEXT" on standard error.
void PrintOpenError(const std::string& name, const std::string& error, bool json);

// Prints the diagnostics to standard error (text mode).
void PrintDiagnostics(const std::string& fileName, const std::vector<TDiagnostic>& diagnostics);

} // namespace talmiro::cli

// What check, dump and show share on the way out: diagnostics as text and the JSON documents.
#pragma once

#include "talmiro/edi_element.h"
#include "talmiro/validation.h"

#include <nlohmann/json.hpp>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace talmiro::cli {

// "FILE:LINE:COLUMN: error: TEXT [segment N, TAG, byte OFFSET]", with the group path when there is one.
std::string FormatDiagnostic(const std::string& fileName, const TDiagnostic& d);
nlohmann::json DiagnosticJson(const TDiagnostic& d);
nlohmann::json LocationJson(const TLocation& l);
nlohmann::json MessageJson(const TMessageInfo& m);
// A composite's or segment's elements with their values as read: simple {id, value, description},
// composite {id, description, elements}; value is null for an element without one. With code lists, a
// coded value whose UN list applies also has its name in "code_name".
nlohmann::json ElementsJson(const TEdiComposit& container, const TCodeLists* codes = nullptr);
// ElementsJson of a segment as last read, every occurrence of a repeating element listed after the first,
// each with its number in "occurrence".
nlohmann::json SegmentElementsJson(const TEdiSegment& segment, const TCodeLists* codes = nullptr);
// One JSON document, on a line of its own.
void PrintJson(nlohmann::json document, std::ostream& out = std::cout);
// The JSON text of a value; bytes that are not UTF-8 are taken as Latin-1.
std::string JsonText(nlohmann::json value);
// Texts of an interchange decoded as the viewer shows them: UTF-8 under syntax UNOY (bytes that are not
// UTF-8 taken as Latin-1, so nothing is lost), Latin-1 otherwise.
nlohmann::json ViewerText(nlohmann::json value, bool utf8);

// Reports an input that cannot be opened: a JSON document {file, valid: false, errors: [{code "open"}]} or
// "talmiro-cli: TEXT" on standard error.
void PrintOpenError(const std::string& name, const std::string& error, bool json,
                    std::ostream& out = std::cout, std::ostream& err = std::cerr);

// Prints the diagnostics to standard error (text mode).
void PrintDiagnostics(const std::string& fileName, const std::vector<TDiagnostic>& diagnostics,
                      std::ostream& err = std::cerr);

} // namespace talmiro::cli

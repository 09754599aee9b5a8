// Texts of exports: values decoded to UTF-8, and strings quoted for JSON, XML and CSV.
#pragma once

#include <string>
#include <string_view>

namespace talmiro::exporttext {

// Values of an interchange in UTF-8: as they are under syntax UNOY (a byte that starts no UTF-8 sequence
// taken as Latin-1, so that nothing is lost), Latin-1 otherwise.
void AppendUtf8(std::string& out, std::string_view value, bool utf8);

// A JSON string literal of UTF-8 text, quotes included.
void AppendJsonString(std::string& out, std::string_view text);

// UTF-8 text escaped for XML character data and attribute values in double quotes.
void AppendXmlText(std::string& out, std::string_view text);

// A CSV field (RFC 4180): quoted when it holds a comma, a quote or a line end.
void AppendCsvField(std::string& out, std::string_view text);

} // namespace talmiro::exporttext

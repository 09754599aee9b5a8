// The code lists of the installed releases and the names of coded values, for the checks and for
// everything that shows a value.
#pragma once

#include "talmiro/code_lists.h"
#include "talmiro/edi_element.h"

#include <memory>
#include <string>

namespace talmiro {

// The code lists beside a table file (CODES.CLT in the table's folder), read once per process and shared
// between threads; nullptr when the folder has none or the table file names no folder. A damaged file
// raises ECodeListError, each time it is asked for.
std::shared_ptr<const TCodeLists> CodeListsForTable(const std::string& tableFile);

// CodeListsForTable for showing values: a damaged file gives no names rather than an error (the strict
// checks report it). A service message (CONTRL) read with a table whose folder has no code lists gets the
// service code lists of the newest release beside that folder that has them.
std::shared_ptr<const TCodeLists> CodeListsToShow(const std::string& tableFile);

// The release a table file belongs to, as its folder is named ("D96A").
std::string ReleaseOfTable(const std::string& tableFile);

// Whether the UN code list is the one a field's value comes from. It is not for a code-list
// identification (1131), nor where a sibling in the same composite or segment names a code list (1131)
// or a responsible agency other than UN/ECE (3055 other than 6): GS1's codes with 3055 = 9, say.
bool UnListApplies(const TEdiComposit& container, const TEDIField& field);

// The name of a field's value in the UN code list of its release; nullptr when the field has no value,
// no UN list applies or the value is not in it.
const std::string* CodeName(const TCodeLists* codes, const TEdiComposit& container, const TEDIField& field);

} // namespace talmiro

// Warnings: what a run noticed that is likely not what the user meant, such
// as settings that do not fit the data or heights that will not come back.
//
// A warning changes nothing the program does: the console text, the files and
// the exit status stay exactly as they are. Warnings are kept while the
// program runs and written at its end, after all console text, or after the
// plain-words line of a failure, one line each on the standard error
// ("dempaint: warning: ..."), and only when diagnostics are wanted
// (diagnostic.hpp), so that they never split the progress text.
#pragma once

#include <string>
#include <vector>

namespace heightio {

void add_warning(std::string text);

// A check that watches the data as they pass and puts its finding into words
// only when the warnings are written, at the end of the run or at a failure,
// however far the data got. It returns nothing to say as an empty text.
using WarningSource = std::string (*)();
void add_warning_source(WarningSource source);

// The texts of the warnings so far, in the order they were added; the
// collection is left as it is.
std::vector<std::string> warning_texts();

// Writes every warning and empties the collection.
void write_warnings();

}  // namespace heightio

// Reader of the MP file, the result file of a population model run.
#pragma once

#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "Common.h"
#include "TPatch.h"
#include "TPatches.h"

namespace varrowin::TMPParser {

// Cuts the line into words at every character of delimiters and appends the words to tokens
// (which is never cleared). Leading, trailing and repeated delimiters yield no empty words.
void Tokenize(const std::string& line, std::vector<std::string>& tokens,
              const std::string& delimiters);

// Makes a patch from a patch line "name,x,y[,...]": fields cut at commas, x and y converted as
// atof converts them, fields after the third not read. Returns no patch when the line has fewer
// than three fields.
std::optional<TPatch> ParsePatchLine(std::string line);

// Reads an MP file from the stream into a new collection: the resolution, one patch per patch
// line and each patch's population per year, the first year being startYear.
// Throws TError with "Patch does not exist" for a block header naming no patch line,
// "Unexpected end of file in population section" for a population section cut short, and
// "Year out of range" when a year does not fit 32 bits.
TPatches LoadMP(std::istream& in, TYear startYear);

// Opens the named file and reads it as LoadMP(stream, startYear) does.
// Throws TError("Cannot open file: " + fileName) when the file cannot be opened or read, and
// the errors of the stream form.
TPatches LoadMP(std::string fileName, TYear startYear);

}  // namespace varrowin::TMPParser

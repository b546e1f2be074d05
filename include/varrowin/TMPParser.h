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
// line and each patch's population per year, the first year being startYear. Input that begins
// with the gzip magic bytes 1f 8b is decoded first (one or more gzip members).
// Throws TError with "Duplicate patch name: <name>" for a name on a second patch line,
// "Patch does not exist" for a block header naming no patch line, "Unexpected end of file in
// population section" for a population section cut short, "Year out of range" when a year does
// not fit 32 bits, and "Cannot read file: input stream: <reason>" for gzip data that is corrupt,
// cut short or followed by other data. The first fault met while reading is the one thrown.
TPatches LoadMP(std::istream& in, TYear startYear);

// Opens the named file ("-" is standard input) and reads it as LoadMP(stream, startYear) does.
// A large regular file that is not compressed has its population section parsed by several
// threads, with the same result: VARROWIN_THREADS in the environment sets their number (1 to
// 256; 1 reads on the calling thread only), by default the number of CPUs the process may run
// on.
// Throws TError("Cannot open file: <name>: <reason>") when the file cannot be opened or read,
// the reason being the system's text for the error; "Cannot read file: <name>: <reason>" for bad
// gzip data ("standard input" names standard input); "VARROWIN_THREADS must be a whole number
// from 1 to 256" for another value of that variable; and the errors of the stream form.
TPatches LoadMP(std::string fileName, TYear startYear);

}  // namespace varrowin::TMPParser

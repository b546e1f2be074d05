// FloorCopy: a copy of a file that the parse floor can read whole.
//
//   FloorCopy <input> <output>
//
// The parse floor reads into a 1 MiB buffer and stops at the first line longer than that. The copy
// holds the same bytes, except that in a line longer than kMaxLine a comma becomes a line feed
// where the line has grown past kMaxLine: the same size, the same characters to scan, a few more
// line ends. When a stretch without a comma leaves a line of 1 MiB or more, FloorCopy writes the
// copy but exits 1: the floor cannot read it whole either.
// Exits 0 on success, 1 when a file cannot be read or written or a line cannot be cut, 2 on a
// usage error.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <vector>

namespace {

constexpr std::size_t kMaxLine = std::size_t{256} << 10;
constexpr std::size_t kFloorBuffer = std::size_t{1} << 20;
constexpr std::size_t kBlock = std::size_t{1} << 20;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("Usage: FloorCopy <input> <output>\n", stderr);
    return 2;
  }
  std::FILE* in = std::fopen(argv[1], "rb");
  if (in == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) {
    std::perror(argv[2]);
    std::fclose(in);
    return 1;
  }
  std::vector<char> block(kBlock);
  // The current line's bytes from its last comma on (or from its start, before its first comma):
  // they are written when the next comma or line feed shows whether that comma must end the line.
  std::vector<char> pending;
  bool hasComma = false;       // pending starts with a comma
  std::size_t lineLength = 0;  // bytes of the current line in the copy, pending included
  std::size_t longest = 0;     // the longest line of the copy
  bool failed = false;
  for (;;) {
    const std::size_t got = std::fread(block.data(), 1, block.size(), in);
    if (got == 0) {
      break;
    }
    for (std::size_t i = 0; i < got; ++i) {
      const char c = block[i];
      if (c == ',' || c == '\n') {
        if (lineLength > kMaxLine && hasComma) {
          pending.front() = '\n';  // the line ends at its last comma
          longest = std::max(longest, lineLength - pending.size());
          lineLength = pending.size() - 1;
        }
        failed = failed || std::fwrite(pending.data(), 1, pending.size(), out) != pending.size();
        pending.clear();
        if (c == '\n') {
          failed = failed || std::fputc('\n', out) == EOF;
          longest = std::max(longest, lineLength);
          lineLength = 0;
          hasComma = false;
          continue;
        }
        hasComma = true;
      }
      pending.push_back(c);
      ++lineLength;
    }
  }
  longest = std::max(longest, lineLength);
  failed = failed || std::ferror(in) != 0;
  failed = failed || std::fwrite(pending.data(), 1, pending.size(), out) != pending.size();
  failed = std::fclose(out) != 0 || failed;
  std::fclose(in);
  if (failed) {
    std::fputs("FloorCopy: cannot copy the file\n", stderr);
    return 1;
  }
  if (longest >= kFloorBuffer) {
    std::fputs("FloorCopy: a long line has no comma to cut it at\n", stderr);
    return 1;
  }
  return 0;
}

// Entry of the Varrowin program.
#include <iostream>
#include <string>
#include <vector>

#include <varrowin/Varrowin.h>

int main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.emplace_back(argv[i]);
  }
  return varrowin::RunVarrowin(args, std::cout, std::cerr);
}

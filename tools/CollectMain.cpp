// Entry of varrowin-collect.
#include <iostream>
#include <string>
#include <vector>

#include "Collect.h"

int main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.emplace_back(argv[i]);
  }
  return varrowin::RunCollect(args, std::cout, std::cerr);
}

// Writes the generated seed corpus: ravelin_fuzz_seeds DIR (DIR/<target>/seed-NNNN).
#include <cstdio>

#include "fuzz/seed_corpus.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ravelin_fuzz_seeds DIR\n");
    return 2;
  }
  const std::size_t count = ravelin::fuzz::write_seed_corpus(argv[1]);
  std::fprintf(stderr, "%zu seeds written to %s\n", count, argv[1]);
  return count == 0 ? 1 : 0;
}

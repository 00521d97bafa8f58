# Toolchain file for clang++ 16 with Debian's libstdc++, the second compiler of
# the parity check and the fuzzers: cmake --toolchain cmake/clang-16.cmake ...
# (the std::expected workaround it needs comes with the ravelin_common target).
set(CMAKE_CXX_COMPILER clang++-16)

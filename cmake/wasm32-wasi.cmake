# Toolchain file for WebAssembly (wasm32-wasi) with Debian's clang 19 and its
# wasm32 C++ library: cmake --toolchain cmake/wasm32-wasi.cmake ... (what
# scripts/web.sh does). The packages: clang-19, lld-19 (wasm-ld),
# libc++-19-dev-wasm32, libc++abi-19-dev-wasm32, libclang-rt-19-dev-wasm32 and
# wasi-libc, which `scripts/deps.sh web` installs.
#
# This target's C++ library has no <filesystem>, no threads and no exceptions;
# the libraries take their paths, locks and threads from the platform layer
# (common/) and throw nothing, so they build here unchanged. The developer parts
# (tests, tools, benchmarks) stay native.
set(CMAKE_SYSTEM_NAME WASI)
set(CMAKE_SYSTEM_VERSION 1)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
# The platform's few settings: cmake/Platform/WASI.cmake.
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})

set(CMAKE_C_COMPILER clang-19)
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_C_COMPILER_TARGET wasm32-wasi)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
# CMake's compiler checks link a program; a static library needs no runtime yet.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# No exceptions in this C++ library: nothing is thrown, so nothing is unwound.
set(CMAKE_CXX_FLAGS_INIT "-fno-exceptions")

# Header-only packages (nlohmann-json) are found on the machine; libraries and
# programs never are.
set(CMAKE_FIND_ROOT_PATH /usr/lib/wasm32-wasi)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

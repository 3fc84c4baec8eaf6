# libFuzzer targets in fuzz/ (PELLORA_FUZZ=ON, clang only). The whole program core is built
# with the fuzzer's coverage instrumentation and with ASan and UBSan, so that the fuzzers see
# into it; libstdc++'s assertions catch an empty std::optional being read.
option(PELLORA_FUZZ "Build the libFuzzer targets in fuzz/ (needs clang)" OFF)

if(PELLORA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "PELLORA_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++); this is ${CMAKE_CXX_COMPILER_ID}")
  endif()
  target_compile_options(pellora_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g
    -D_GLIBCXX_ASSERTIONS)
  target_link_options(pellora_options INTERFACE -fsanitize=address,undefined)
endif()

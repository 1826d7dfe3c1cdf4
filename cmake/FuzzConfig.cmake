# The fuzz build: every library is instrumented for libFuzzer's coverage and runs under
# AddressSanitizer and UndefinedBehaviorSanitizer; only the targets in fuzz/ link libFuzzer
# itself. Clang only, in a build folder of its own (scripts/fuzz.sh).
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "TORVINEL_FUZZ needs clang++ (-DCMAKE_CXX_COMPILER=clang++)")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                    -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=address,undefined)

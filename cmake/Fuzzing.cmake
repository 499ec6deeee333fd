# libFuzzer targets (-DTVR_FUZZ=ON, clang only). tvr_add_fuzzer builds one target that drives
# `library`; tvr_fuzz_coverage gives a library the coverage the fuzzers steer by.
if(TVR_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "TVR_FUZZ needs clang: configure with CC=clang CXX=clang++")
endif()

function(tvr_add_fuzzer name source library)
  add_executable(${name} ${source})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${name} PRIVATE ${library} tvr_warnings)
endfunction()

function(tvr_fuzz_coverage library)
  target_compile_options(${library} PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
endfunction()

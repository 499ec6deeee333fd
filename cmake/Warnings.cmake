# Every target of the project gets the same warning set; tvr_warnings is linked PRIVATE.
add_library(tvr_warnings INTERFACE)
target_compile_options(tvr_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  -Wconversion -Wformat -Wformat-security -Wimplicit-fallthrough)
# g++ 12 reports false -Wrestrict findings inside std::string at -O2 (GCC bug 105329).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(tvr_warnings INTERFACE -Wno-restrict)
endif()
if(TVR_WERROR)
  target_compile_options(tvr_warnings INTERFACE -Werror)
endif()

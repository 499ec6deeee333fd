# Every target of the project gets the same warning set; tvr_warnings is linked PRIVATE.
add_library(tvr_warnings INTERFACE)
target_compile_options(tvr_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  -Wconversion -Wformat -Wformat-security -Wimplicit-fallthrough)
if(TVR_WERROR)
  target_compile_options(tvr_warnings INTERFACE -Werror)
endif()

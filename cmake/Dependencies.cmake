# Debian 12 packages only: qt6-base-dev, freetds-dev, libsqlite3-dev, googletest.
find_package(Threads REQUIRED)
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets)
find_package(SQLite3 REQUIRED)

find_path(FREETDS_INCLUDE_DIR ctpublic.h PATH_SUFFIXES freetds REQUIRED)
find_library(FREETDS_CT_LIBRARY ct REQUIRED)
add_library(FreeTDS::ct UNKNOWN IMPORTED)
set_target_properties(FreeTDS::ct PROPERTIES
  IMPORTED_LOCATION ${FREETDS_CT_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${FREETDS_INCLUDE_DIR})

if(TVR_TESTS)
  find_package(GTest REQUIRED)
  find_package(Qt6 REQUIRED COMPONENTS Test)  # QTest's mouse and key events, in qt6-base-dev
  include(GoogleTest)
endif()

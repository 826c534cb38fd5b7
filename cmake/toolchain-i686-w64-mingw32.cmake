# Cross-compiles for Windows (i686) with mingw-w64's posix thread model (GoogleTest needs
# std::mutex). scripts/build-windows passes SCCEVTMON_DEPS_PREFIX, the folder holding the
# libraries built for this target (pugixml, googletest).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
# The program ships as i686: large-address-aware, it may use 4 GB of address space on 64-bit
# Windows instead of 2 GB.
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,--large-address-aware")

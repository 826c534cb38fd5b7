# Cross-compiles for Windows (x86_64) with mingw-w64's posix thread model (GoogleTest needs
# std::mutex). scripts/build-windows passes SCCEVTMON_DEPS_PREFIX, the folder holding the
# libraries built for this target (pugixml, googletest).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

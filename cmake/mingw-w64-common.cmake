# What both Windows toolchains share; CMAKE_SYSTEM_PROCESSOR names the target.
set(SCCEVTMON_TRIPLE ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${SCCEVTMON_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SCCEVTMON_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SCCEVTMON_TRIPLE}-windres)

# Libraries and headers only from the cross environment and our own prefix; programs from the
# build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${SCCEVTMON_TRIPLE} ${SCCEVTMON_DEPS_PREFIX})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SCCEVTMON_DEPS_PREFIX)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The executables need no DLL beside them: the C++ runtime, libgcc and winpthread are linked
# in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Shared part of the two mingw-w64 toolchain files; TOOLCHAIN_PREFIX is set
# by the includer. Posix-thread compilers, linked statically so every .exe
# and .dll runs without extra runtime DLLs.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${TOOLCHAIN_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# The Wine loader that runs this tree's programs (tests and try-runs): given
# by the build driver, which knows the machine's two Wines apart; else the
# one found here.
set(TAVRINE_WINE "" CACHE FILEPATH "Wine loader for this tree's programs")
if(NOT TAVRINE_WINE)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    find_program(TAVRINE_WINE_FOUND NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  else()
    find_program(TAVRINE_WINE_FOUND NAMES wine wine-stable)
  endif()
  if(TAVRINE_WINE_FOUND)
    set(TAVRINE_WINE ${TAVRINE_WINE_FOUND} CACHE FILEPATH "Wine loader for this tree's programs" FORCE)
  endif()
endif()
if(TAVRINE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVRINE_WINE})
endif()

# Cross toolchain: the same programs as 64-bit Windows programs, for the
# machines whose Wine can only run 64-bit code, and as a check that the
# code is right for both pointer sizes.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

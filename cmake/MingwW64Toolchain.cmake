# Cross-compiles for 64-bit Windows with Debian's mingw-w64 against the toolchain that
# scripts/setup-windows builds (Qt base, OpenSSL, libdeflate) and Debian's zlib for mingw-w64.
# The toolchain folder comes from LEDGORA_WINDOWS_TOOLCHAIN (cache variable or environment).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

if(NOT LEDGORA_WINDOWS_TOOLCHAIN)
    set(LEDGORA_WINDOWS_TOOLCHAIN "$ENV{LEDGORA_WINDOWS_TOOLCHAIN}")
endif()
if(NOT EXISTS "${LEDGORA_WINDOWS_TOOLCHAIN}/stamp")
    message(FATAL_ERROR "No Windows toolchain in '${LEDGORA_WINDOWS_TOOLCHAIN}': run scripts/setup-windows")
endif()
set(LEDGORA_WINDOWS_TOOLCHAIN "${LEDGORA_WINDOWS_TOOLCHAIN}" CACHE PATH
    "Folder of the Windows toolchain that scripts/setup-windows built")
# try_compile projects run this file again and need the folder too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LEDGORA_WINDOWS_TOOLCHAIN)

# The posix thread model: the win32 one has no std::mutex, which the toolkit was built with.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH "${LEDGORA_WINDOWS_TOOLCHAIN}/qt" "${LEDGORA_WINDOWS_TOOLCHAIN}/sysroot"
    /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Second compiler: Debian's clang for 64-bit Windows, on the MinGW-w64 headers, runtime and
# libstdc++ (posix thread model) that the GCC cross toolchain installs, linked by lld (GNU ld
# reports every type-info section that clang and libstdc++ lay out differently).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${ORVANE_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${ORVANE_MINGW_TRIPLE})
set(CMAKE_RC_COMPILER ${ORVANE_MINGW_TRIPLE}-windres)

# clang does not find Debian's versioned MinGW GCC folder (".../12-posix") by itself: ask that GCC
# where its libstdc++ lives.
execute_process(COMMAND ${ORVANE_MINGW_TRIPLE}-g++-posix -print-libgcc-file-name
                OUTPUT_VARIABLE ORVANE_MINGW_LIBGCC OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(ORVANE_MINGW_GCC_DIR "${ORVANE_MINGW_LIBGCC}" DIRECTORY)
set(ORVANE_MINGW_CXX_INCLUDE ${ORVANE_MINGW_GCC_DIR}/include/c++)
string(CONCAT ORVANE_MINGW_CXX_FLAGS
  "-isystem ${ORVANE_MINGW_CXX_INCLUDE} "
  "-isystem ${ORVANE_MINGW_CXX_INCLUDE}/${ORVANE_MINGW_TRIPLE} "
  "-isystem ${ORVANE_MINGW_CXX_INCLUDE}/backward")
set(CMAKE_CXX_FLAGS_INIT "${ORVANE_MINGW_CXX_FLAGS}")
# -pthread: winpthreads, which libstdc++'s posix thread model needs, after libgcc on static links.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${ORVANE_MINGW_GCC_DIR} -pthread")

set(CMAKE_FIND_ROOT_PATH /usr/${ORVANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)

# Cross-build for FreeBSD 14 amd64 with the clang of the ziglang package: the CMake branch that
# FreeBSD users get (no personality; libkvm, libutil and libdevstat linked).
#   LUMVIK_FREEBSD_STUBS  folder of the link stubs that tools/freebsd/freebsd.py builds with
#                         FreeBSD's sonames, for the libraries the toolchain does not ship
set(CMAKE_SYSTEM_NAME FreeBSD)
set(CMAKE_SYSTEM_VERSION 14.0)
set(CMAKE_SYSTEM_PROCESSOR amd64)

set(CMAKE_C_COMPILER "${CMAKE_CURRENT_LIST_DIR}/bin/cc")
set(CMAKE_CXX_COMPILER "${CMAKE_CURRENT_LIST_DIR}/bin/c++")

# The base-library headers the toolchain lacks (<kvm.h>, <devstat.h>), searched after the module's own.
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES "${CMAKE_CURRENT_LIST_DIR}/include")

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LUMVIK_FREEBSD_STUBS)
if(NOT LUMVIK_FREEBSD_STUBS)
  message(FATAL_ERROR "LUMVIK_FREEBSD_STUBS is not set: build through tools/freebsd/freebsd.py")
endif()
# FreeBSD's clang links C++ with the shared libc++, libcxxrt and libgcc_s; the stubs carry their sonames.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-nostdlib++ -L${LUMVIK_FREEBSD_STUBS}")
endforeach()
set(CMAKE_CXX_STANDARD_LIBRARIES
    "${LUMVIK_FREEBSD_STUBS}/libc++.so ${LUMVIK_FREEBSD_STUBS}/libcxxrt.so ${LUMVIK_FREEBSD_STUBS}/libgcc_s.so")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# Name the module as FreeBSD's interpreter would (".cpython-313t.so": no platform triplet).
set(CMAKE_PROJECT_INCLUDE "${CMAKE_CURRENT_LIST_DIR}/module_suffix.cmake")

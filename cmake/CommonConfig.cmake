# One interface target carries the language level and the warnings for every Torvinel target.
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

add_library(torvinel_common INTERFACE)
target_compile_features(torvinel_common INTERFACE cxx_std_20)
target_compile_options(torvinel_common INTERFACE -Wall -Wextra)
target_compile_definitions(torvinel_common INTERFACE _FILE_OFFSET_BITS=64 TORVINEL_VERSION="${PROJECT_VERSION}")

# Build type "Asan": AddressSanitizer and UndefinedBehaviorSanitizer; the tests pass under it too.
set(CMAKE_CXX_FLAGS_ASAN "-O1 -g -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
    CACHE STRING "" FORCE)
set(CMAKE_C_FLAGS_ASAN "${CMAKE_CXX_FLAGS_ASAN}" CACHE STRING "" FORCE)
set(CMAKE_EXE_LINKER_FLAGS_ASAN "-fsanitize=address,undefined" CACHE STRING "" FORCE)
set(CMAKE_SHARED_LINKER_FLAGS_ASAN "-fsanitize=address,undefined" CACHE STRING "" FORCE)

find_package(PkgConfig REQUIRED)
find_package(ZLIB REQUIRED)
pkg_check_modules(LIBDEFLATE REQUIRED IMPORTED_TARGET libdeflate)
pkg_check_modules(LIBISOFS REQUIRED IMPORTED_TARGET libisofs-1)
pkg_check_modules(LIBBURN REQUIRED IMPORTED_TARGET libburn-1)
pkg_check_modules(LIBISAL REQUIRED IMPORTED_TARGET libisal)
find_package(Threads REQUIRED)
if(TORVINEL_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets DBus Test)
else()
  find_package(Qt6 REQUIRED COMPONENTS Core DBus)
endif()

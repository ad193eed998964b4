# libdeflate (https://github.com/ebiggers/libdeflate): whole-buffer DEFLATE compression, several
# times faster than zlib at a comparable ratio. Its releases before 1.15 install no CMake
# package, so the header and the library are looked up directly, with pkg-config's hints
# where it is present. Defines the imported target Libdeflate::Libdeflate.
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
    pkg_check_modules(PC_LIBDEFLATE QUIET libdeflate)
endif()
find_path(LIBDEFLATE_INCLUDE_DIR libdeflate.h HINTS ${PC_LIBDEFLATE_INCLUDE_DIRS})
find_library(LIBDEFLATE_LIBRARY NAMES deflate libdeflate HINTS ${PC_LIBDEFLATE_LIBRARY_DIRS})

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Libdeflate REQUIRED_VARS LIBDEFLATE_LIBRARY
    LIBDEFLATE_INCLUDE_DIR)

if(Libdeflate_FOUND AND NOT TARGET Libdeflate::Libdeflate)
    add_library(Libdeflate::Libdeflate UNKNOWN IMPORTED)
    set_target_properties(Libdeflate::Libdeflate PROPERTIES
        IMPORTED_LOCATION "${LIBDEFLATE_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${LIBDEFLATE_INCLUDE_DIR}")
endif()
mark_as_advanced(LIBDEFLATE_INCLUDE_DIR LIBDEFLATE_LIBRARY)

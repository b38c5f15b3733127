# libjpeg: natively Debian's libjpeg62-turbo; for Windows, libjpeg-turbo
# cross-built (with its SIMD code) from Debian's source package, which
# scripts/setup.sh unpacks into .cache/ (never committed). Both trees also
# compile the djpeg front end of that source into the client (picture
# conversion) and know a djpeg program of the same version to compare with.
add_library(velmor_jpeg INTERFACE)
set(VELMOR_JPEG_SOURCE ${CMAKE_SOURCE_DIR}/.cache/libjpeg-turbo-src CACHE PATH "Unpacked libjpeg-turbo source")
if(NOT EXISTS ${VELMOR_JPEG_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "libjpeg-turbo source not found in ${VELMOR_JPEG_SOURCE}; run scripts/setup.sh")
endif()
file(STRINGS ${VELMOR_JPEG_SOURCE}/CMakeLists.txt jpeg_version_line REGEX "^set\\(VERSION ")
string(REGEX REPLACE "^set\\(VERSION ([0-9.]+)\\).*" "\\1" VELMOR_JPEG_VERSION "${jpeg_version_line}")
file(STRINGS ${VELMOR_JPEG_SOURCE}/CMakeLists.txt jpeg_year_line REGEX "^set\\(COPYRIGHT_YEAR ")
string(REGEX REPLACE "^set\\(COPYRIGHT_YEAR \"([0-9-]+)\"\\).*" "\\1" jpeg_copyright_year "${jpeg_year_line}")

# The djpeg front-end files, as the source's own djpeg program is built.
set(djpeg_files djpeg.c cdjpeg.c rdcolmap.c rdswitch.c wrgif.c wrppm.c wrbmp.c wrtarga.c)
list(TRANSFORM djpeg_files PREPEND ${VELMOR_JPEG_SOURCE}/ OUTPUT_VARIABLE djpeg_sources)
set(djpeg_definitions BMP_SUPPORTED GIF_SUPPORTED PPM_SUPPORTED TARGA_SUPPORTED)
if(WIN32)
  list(APPEND djpeg_definitions USE_SETMODE)
endif()

if(WIN32)
  include(ExternalProject)
  set(jpeg_prefix ${CMAKE_BINARY_DIR}/libjpeg-turbo)
  ExternalProject_Add(libjpeg_turbo_build
    SOURCE_DIR ${VELMOR_JPEG_SOURCE}
    BINARY_DIR ${jpeg_prefix}/build
    INSTALL_DIR ${jpeg_prefix}/install
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
      -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
      -DENABLE_SHARED=0 -DENABLE_STATIC=1 -DWITH_TURBOJPEG=0 -DWITH_SIMD=1
      -DREQUIRE_SIMD=1 -DWITH_JPEG8=0 -DWITH_ARITH_DEC=1 -DWITH_ARITH_ENC=1
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target jpeg-static djpeg-static
    INSTALL_COMMAND ${CMAKE_COMMAND} -E make_directory <INSTALL_DIR>/lib <INSTALL_DIR>/include <INSTALL_DIR>/bin
      COMMAND ${CMAKE_COMMAND} -E copy <BINARY_DIR>/libjpeg.a <INSTALL_DIR>/lib/libjpeg.a
      COMMAND ${CMAKE_COMMAND} -E copy <BINARY_DIR>/djpeg-static.exe <INSTALL_DIR>/bin/djpeg.exe
      COMMAND ${CMAKE_COMMAND} -E copy <BINARY_DIR>/jconfig.h <SOURCE_DIR>/jpeglib.h
              <SOURCE_DIR>/jmorecfg.h <SOURCE_DIR>/jerror.h <INSTALL_DIR>/include/
    BUILD_BYPRODUCTS ${jpeg_prefix}/install/lib/libjpeg.a ${jpeg_prefix}/install/bin/djpeg.exe
    LOG_CONFIGURE ON LOG_BUILD ON
  )
  file(MAKE_DIRECTORY ${jpeg_prefix}/install/include)
  add_library(velmor_jpeg_static STATIC IMPORTED GLOBAL)
  set_target_properties(velmor_jpeg_static PROPERTIES
    IMPORTED_LOCATION ${jpeg_prefix}/install/lib/libjpeg.a
    INTERFACE_INCLUDE_DIRECTORIES ${jpeg_prefix}/install/include)
  add_dependencies(velmor_jpeg_static libjpeg_turbo_build)
  target_link_libraries(velmor_jpeg INTERFACE velmor_jpeg_static)
  # The djpeg program of this very build, for the comparisons and benchmark.
  set(VELMOR_DJPEG_PROGRAM ${jpeg_prefix}/install/bin/djpeg.exe)
else()
  find_package(JPEG REQUIRED)
  target_link_libraries(velmor_jpeg INTERFACE JPEG::JPEG)
  # The front end is compiled from the source package against the system
  # library, so the two must be the same version.
  find_file(jpeg_jconfig jconfig.h PATHS ${JPEG_INCLUDE_DIRS} PATH_SUFFIXES ${CMAKE_LIBRARY_ARCHITECTURE} REQUIRED)
  file(STRINGS ${jpeg_jconfig} jpeg_system_line REGEX "define LIBJPEG_TURBO_VERSION ")
  string(REGEX REPLACE ".*LIBJPEG_TURBO_VERSION +([0-9.]+).*" "\\1" jpeg_system_version "${jpeg_system_line}")
  if(NOT jpeg_system_version STREQUAL VELMOR_JPEG_VERSION)
    message(FATAL_ERROR "system libjpeg-turbo ${jpeg_system_version} differs from the source ${VELMOR_JPEG_VERSION}")
  endif()
  # Debian's djpeg (libjpeg-turbo-progs) when it is the same version;
  # otherwise one built here from the source package.
  find_program(VELMOR_SYSTEM_DJPEG djpeg)
  set(system_djpeg_version "")
  if(VELMOR_SYSTEM_DJPEG)
    execute_process(COMMAND ${VELMOR_SYSTEM_DJPEG} -version ERROR_VARIABLE system_djpeg_banner OUTPUT_QUIET RESULT_VARIABLE ignored)
    string(REGEX MATCH "version ([0-9.]+)" ignored "${system_djpeg_banner}")
    set(system_djpeg_version "${CMAKE_MATCH_1}")
  endif()
  if(system_djpeg_version STREQUAL VELMOR_JPEG_VERSION)
    set(VELMOR_DJPEG_PROGRAM ${VELMOR_SYSTEM_DJPEG})
  else()
    message(STATUS "djpeg: building ${VELMOR_JPEG_VERSION} from source (system djpeg: '${system_djpeg_version}')")
    add_executable(velmor_reference_djpeg ${djpeg_sources})
    target_compile_definitions(velmor_reference_djpeg PRIVATE ${djpeg_definitions})
    target_compile_options(velmor_reference_djpeg PRIVATE -w)
    target_include_directories(velmor_reference_djpeg PRIVATE ${CMAKE_BINARY_DIR}/djpeg-config ${VELMOR_JPEG_SOURCE})
    target_link_libraries(velmor_reference_djpeg PRIVATE velmor_jpeg)
    set(VELMOR_DJPEG_PROGRAM $<TARGET_FILE:velmor_reference_djpeg>)
  endif()
endif()

# The front end's private configuration headers, filled in for this build.
set(CMAKE_PROJECT_NAME_SAVED ${CMAKE_PROJECT_NAME})
set(BUILD "velmor")
set(INLINE "inline __attribute__((always_inline))")
set(THREAD_LOCAL "__thread")
set(VERSION ${VELMOR_JPEG_VERSION})
set(SIZE_T ${CMAKE_SIZEOF_VOID_P})
set(HAVE_BUILTIN_CTZL 0)
set(HAVE_INTRIN_H 0)
set(COPYRIGHT_YEAR ${jpeg_copyright_year})
set(CMAKE_PROJECT_NAME libjpeg-turbo)
configure_file(${VELMOR_JPEG_SOURCE}/jconfigint.h.in ${CMAKE_BINARY_DIR}/djpeg-config/jconfigint.h)
configure_file(${VELMOR_JPEG_SOURCE}/jversion.h.in ${CMAKE_BINARY_DIR}/djpeg-config/jversion.h)
set(CMAKE_PROJECT_NAME ${CMAKE_PROJECT_NAME_SAVED})

# The djpeg front end as a library of the client: two-file command line, and
# a forced-in header that leads its process-ending calls, file opening and
# error manager to the recovery code of content/jpeg_to_bmp.cpp (the
# source files themselves stay untouched).
add_library(velmor_djpeg STATIC ${djpeg_sources})
target_compile_definitions(velmor_djpeg PRIVATE ${djpeg_definitions} TWO_FILE_COMMANDLINE)
target_compile_options(velmor_djpeg PRIVATE -w -include ${CMAKE_SOURCE_DIR}/content/jpeg_to_bmp_djpeg.h)
target_include_directories(velmor_djpeg PRIVATE ${CMAKE_BINARY_DIR}/djpeg-config ${VELMOR_JPEG_SOURCE})
target_link_libraries(velmor_djpeg PUBLIC velmor_jpeg)
if(WIN32)
  add_dependencies(velmor_djpeg libjpeg_turbo_build)
endif()

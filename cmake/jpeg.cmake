# libjpeg: natively Debian's libjpeg62-turbo; for Windows, libjpeg-turbo
# cross-built from Debian's source package, which scripts/setup.sh unpacks
# into .cache/ (never committed).
add_library(velmor_jpeg INTERFACE)
if(WIN32)
  include(ExternalProject)
  set(VELMOR_JPEG_SOURCE ${CMAKE_SOURCE_DIR}/.cache/libjpeg-turbo-src CACHE PATH "Unpacked libjpeg-turbo source")
  if(NOT EXISTS ${VELMOR_JPEG_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "libjpeg-turbo source not found in ${VELMOR_JPEG_SOURCE}; run scripts/setup.sh")
  endif()
  set(jpeg_prefix ${CMAKE_BINARY_DIR}/libjpeg-turbo)
  ExternalProject_Add(libjpeg_turbo_build
    SOURCE_DIR ${VELMOR_JPEG_SOURCE}
    BINARY_DIR ${jpeg_prefix}/build
    INSTALL_DIR ${jpeg_prefix}/install
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
      -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
      -DENABLE_SHARED=0 -DENABLE_STATIC=1 -DWITH_TURBOJPEG=0 -DWITH_SIMD=0
      -DWITH_JPEG8=0 -DWITH_ARITH_DEC=1 -DWITH_ARITH_ENC=1
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target jpeg-static
    INSTALL_COMMAND ${CMAKE_COMMAND} -E make_directory <INSTALL_DIR>/lib <INSTALL_DIR>/include
      COMMAND ${CMAKE_COMMAND} -E copy <BINARY_DIR>/libjpeg.a <INSTALL_DIR>/lib/libjpeg.a
      COMMAND ${CMAKE_COMMAND} -E copy <BINARY_DIR>/jconfig.h <SOURCE_DIR>/jpeglib.h
              <SOURCE_DIR>/jmorecfg.h <SOURCE_DIR>/jerror.h <INSTALL_DIR>/include/
    BUILD_BYPRODUCTS ${jpeg_prefix}/install/lib/libjpeg.a
    LOG_CONFIGURE ON LOG_BUILD ON
  )
  file(MAKE_DIRECTORY ${jpeg_prefix}/install/include)
  add_library(velmor_jpeg_static STATIC IMPORTED GLOBAL)
  set_target_properties(velmor_jpeg_static PROPERTIES
    IMPORTED_LOCATION ${jpeg_prefix}/install/lib/libjpeg.a
    INTERFACE_INCLUDE_DIRECTORIES ${jpeg_prefix}/install/include)
  add_dependencies(velmor_jpeg_static libjpeg_turbo_build)
  target_link_libraries(velmor_jpeg INTERFACE velmor_jpeg_static)
else()
  find_package(JPEG REQUIRED)
  target_link_libraries(velmor_jpeg INTERFACE JPEG::JPEG)
endif()

# The codecs the Windows tool links statically, cross-built from Debian's
# source packages into this build folder once (scripts/codec-sources.sh
# fetches them into QUADTURN_CODEC_SOURCES when this folder is first
# configured): libjpeg-turbo (its lossless transforms need no SIMD), libspng,
# and libtiff with only the codecs the tool writes back; zlib is Debian's own
# mingw-w64 build (libz-mingw-w64-dev). They give the targets the Linux
# build finds on the system, under the same names: TIFF::TIFF,
# PkgConfig::SPNG, PkgConfig::TURBOJPEG, JPEG::JPEG, ZLIB::ZLIB.
include(ExternalProject)

set(QUADTURN_CODEC_SOURCES ${PROJECT_SOURCE_DIR}/build/codec-sources CACHE PATH
  "where scripts/codec-sources.sh unpacks the codecs' Debian sources")
set(codecs ${CMAKE_BINARY_DIR}/codecs)
# libz.a, not the import library of a zlib1.dll the tool would then need.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED GLOBAL)

# Every codec's configure step runs with this build's cross toolchain, into
# the one prefix, static, optimized.
set(codec_args
  -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
  -DCMAKE_INSTALL_PREFIX=${codecs}
  -DCMAKE_INSTALL_LIBDIR=lib
  -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_C_FLAGS_RELEASE=-O2\ -DNDEBUG
  -DBUILD_SHARED_LIBS=OFF
  -DZLIB_USE_STATIC_LIBS=ON)
# The sources, fetched once (the first configure of any build folder).
execute_process(COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/codec-sources.sh
  ${QUADTURN_CODEC_SOURCES} RESULT_VARIABLE fetched ERROR_VARIABLE why)
if(NOT fetched EQUAL 0)
  message(FATAL_ERROR "the codecs' sources could not be fetched: ${why}")
endif()

# Only the TurboJPEG library is built and put in place (the project's own
# install would build its programs too).
ExternalProject_Add(codec_jpeg
  SOURCE_DIR ${QUADTURN_CODEC_SOURCES}/libjpeg-turbo
  CMAKE_ARGS ${codec_args} -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF
    -DWITH_TURBOJPEG=ON -DWITH_JAVA=OFF -DREQUIRE_SIMD=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target turbojpeg-static
  INSTALL_COMMAND ${CMAKE_COMMAND} -E copy <BINARY_DIR>/libturbojpeg.a ${codecs}/lib/
    COMMAND ${CMAKE_COMMAND} -E copy <SOURCE_DIR>/turbojpeg.h <SOURCE_DIR>/jpeglib.h
      <SOURCE_DIR>/jmorecfg.h <SOURCE_DIR>/jerror.h <BINARY_DIR>/jconfig.h ${codecs}/include/
  BUILD_BYPRODUCTS ${codecs}/lib/libturbojpeg.a)
ExternalProject_Add(codec_tiff
  SOURCE_DIR ${QUADTURN_CODEC_SOURCES}/tiff
  CMAKE_ARGS ${codec_args} -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF
    -Dtiff-docs=OFF -Dcxx=OFF -Dzlib=ON -Dlibdeflate=OFF -Djpeg=OFF -Dold-jpeg=OFF
    -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF -Dpixarlog=OFF
    -Dtiff-opengl=OFF -Dsphinx=OFF
  BUILD_BYPRODUCTS ${codecs}/lib/libtiff.a)
# libspng is one C file (its own build cannot make the static library alone).
add_library(quadturn_spng STATIC ${QUADTURN_CODEC_SOURCES}/libspng/spng/spng.c)
target_include_directories(quadturn_spng PUBLIC ${QUADTURN_CODEC_SOURCES}/libspng/spng)
target_compile_definitions(quadturn_spng PUBLIC SPNG_STATIC)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # Its SSE unfiltering includes headers GCC 12 cannot compile for a 32-bit
  # target without SSE2 enabled throughout; the plain C road decodes the same.
  target_compile_definitions(quadturn_spng PRIVATE SPNG_DISABLE_OPT)
endif()
target_link_libraries(quadturn_spng PUBLIC ZLIB::ZLIB)
add_library(PkgConfig::SPNG ALIAS quadturn_spng)

# The include folder exists before the codecs are built, so that the
# targets below can name it when CMake is run.
file(MAKE_DIRECTORY ${codecs}/include ${codecs}/lib)
function(codec_target name library project)
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES IMPORTED_LOCATION ${codecs}/lib/${library}
    INTERFACE_INCLUDE_DIRECTORIES ${codecs}/include)
  add_dependencies(${name} ${project})
endfunction()
codec_target(TIFF::TIFF libtiff.a codec_tiff)
codec_target(PkgConfig::TURBOJPEG libturbojpeg.a codec_jpeg)
# The static TurboJPEG library carries libjpeg's interface too.
add_library(JPEG::JPEG INTERFACE IMPORTED GLOBAL)
set_target_properties(JPEG::JPEG PROPERTIES INTERFACE_LINK_LIBRARIES PkgConfig::TURBOJPEG)
set_target_properties(TIFF::TIFF PROPERTIES INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)

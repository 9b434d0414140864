# nanopb for the fuzz build, compiled from source.
#
# Debian ships nanopb only as a prebuilt static library, so a fuzzer linked
# against it sees no coverage inside the decoder and cannot steer into it.
# The fuzz build compiles the same release from Debian's own source tarball
# (pinned by hash) with the fuzz preset's instrumentation, and offers it
# under the imported target name the normal build uses.
#
# Offline: pass -DFETCHCONTENT_SOURCE_DIR_NANOPB=/path/to/nanopb-0.4.7, or
# -DKORVEX_NANOPB_URL=file:///path/nanopb_0.4.7.orig.tar.gz.
include_guard(GLOBAL)
include(FetchContent)

set(KORVEX_NANOPB_URL
    "http://deb.debian.org/debian/pool/main/n/nanopb/nanopb_0.4.7.orig.tar.gz"
    CACHE STRING "Source tarball of nanopb for the fuzz build")
set(KORVEX_NANOPB_SHA256
    "e1d89b166367a3c42d42311bdc2ed57ff78f86aede9a66828516e45490d48c81")

FetchContent_Declare(nanopb
  URL "${KORVEX_NANOPB_URL}"
  URL_HASH "SHA256=${KORVEX_NANOPB_SHA256}"
  DOWNLOAD_EXTRACT_TIMESTAMP TRUE)
# Only the three C files are wanted; the project's own build is not used.
FetchContent_GetProperties(nanopb)
if(NOT nanopb_POPULATED)
  FetchContent_Populate(nanopb)
endif()

add_library(korvex_nanopb_source STATIC
  ${nanopb_SOURCE_DIR}/pb_common.c
  ${nanopb_SOURCE_DIR}/pb_decode.c
  ${nanopb_SOURCE_DIR}/pb_encode.c)
target_include_directories(korvex_nanopb_source BEFORE PUBLIC ${nanopb_SOURCE_DIR})
# Debian builds its library with dynamic allocation enabled; match it so the
# fuzzed decoder is the one the program links.
target_compile_definitions(korvex_nanopb_source PUBLIC PB_ENABLE_MALLOC)
add_library(nanopb::protobuf-nanopb-static ALIAS korvex_nanopb_source)

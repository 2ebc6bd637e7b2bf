# Bit-exact decoding needs identical IEEE double arithmetic on every machine:
# no contraction into fused multiply-add, no fast-math reassociation, and no
# x87 extended precision.
add_compile_options(-ffp-contract=off -fno-fast-math)
# 64-bit file positions everywhere: inputs may exceed 4 GiB.
add_compile_definitions(_FILE_OFFSET_BITS=64)

if(CMAKE_CXX_FLAGS MATCHES "-ffast-math|-Ofast" OR CMAKE_CXX_FLAGS_RELEASE MATCHES "-ffast-math|-Ofast")
  message(FATAL_ERROR "QOLA must not be built with -ffast-math or -Ofast: decoding would not be bit-exact")
endif()

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$" OR
   (CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$" AND CMAKE_SIZEOF_VOID_P EQUAL 4))
  include(CheckCXXSourceCompiles)
  set(CMAKE_REQUIRED_FLAGS "-msse2 -mfpmath=sse")
  check_cxx_source_compiles("
    #if !defined(__SSE2_MATH__)
    #error no SSE2 math
    #endif
    int main() { return 0; }" QOLA_HAVE_SSE2_MATH)
  unset(CMAKE_REQUIRED_FLAGS)
  if(NOT QOLA_HAVE_SSE2_MATH)
    message(FATAL_ERROR "32-bit x86 builds need SSE2 double arithmetic (-msse2 -mfpmath=sse); x87 extended precision would break bit-exact decoding")
  endif()
  add_compile_options(-msse2 -mfpmath=sse)
endif()
